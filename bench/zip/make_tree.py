#!/usr/bin/env python3
"""Writes the benchmark tree: about 300 MB of text-like files, incompressible files and many small files,
with Chinese names, as a user's folders hold them.  usage: make_tree.py FOLDER [MEGABYTES]"""
import os
import random
import sys

root = sys.argv[1]
total_mb = int(sys.argv[2]) if len(sys.argv) > 2 else 300
rng = random.Random(2015)
words = ("备份 文档 收藏夹 桌面 系统 用户 数据 报告 the of and report user data backup folder file "
         "2015 July value total 计划 会议 记录 项目 表格").split()


def text(size):
    lines = []
    length = 0
    while length < size:
        line = " ".join(rng.choice(words) for _ in range(rng.randint(4, 14))) + " %d\r\n" % rng.randint(0, 10**6)
        lines.append(line)
        length += len(line.encode())
    return "".join(lines).encode()[:size]


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


mb = 1 << 20
# 40 %: large text-like documents and logs
chunk = text(4 * mb)
for i in range(total_mb * 40 // 100 // 8):
    write(os.path.join(root, "我的文档", "日志", "记录%03d.log" % i), (chunk[i * 997:] + chunk[: i * 997]) * 2)
# 35 %: incompressible (photos, archives, video)
for i in range(total_mb * 35 // 100 // 5):
    write(os.path.join(root, "我的文档", "照片", "照片%03d.jpg" % i), os.urandom(5 * mb))
# 25 %: many small files in many folders
small_total = total_mb * 25 // 100 * mb
written = n = 0
while written < small_total:
    size = rng.choice([0, 200, 1500, 4000, 12000, 30000, 90000])
    data = text(size) if rng.random() < 0.8 else os.urandom(size)
    write(os.path.join(root, "桌面", "项目%02d" % (n % 40), "文件%05d.txt" % n), data)
    written += size
    n += 1
os.makedirs(os.path.join(root, "收藏夹", "空文件夹"), exist_ok=True)
