#include "boot/EfiBoot.h"

#include <cstdio>

#include "boot/EngineJob.h"
#include "text/Text.h"

namespace kx {
namespace {

void Put16(std::string& out, uint32_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
}
void Put32(std::string& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}
void Put64(std::string& out, uint64_t v) {
    Put32(out, static_cast<uint32_t>(v));
    Put32(out, static_cast<uint32_t>(v >> 32));
}
uint64_t Get(std::string_view b, size_t at, size_t n) {
    uint64_t v = 0;
    for (size_t i = 0; i < n; ++i) v |= uint64_t(static_cast<uint8_t>(b[at + i])) << (8 * i);
    return v;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// UTF-8 to UTF-16LE with a terminator; empty for text that is not UTF-8.
std::string Utf16Z(std::string_view utf8) {
    if (!IsUtf8(utf8)) return {};
    std::string out;
    for (size_t i = 0; i < utf8.size();) {
        auto c = static_cast<uint8_t>(utf8[i]);
        int extra = c < 0x80 ? 0 : c < 0xE0 ? 1 : c < 0xF0 ? 2 : 3;
        uint32_t cp = extra == 0 ? c : extra == 1 ? (c & 0x1F) : extra == 2 ? (c & 0x0F) : (c & 0x07);
        for (int k = 1; k <= extra; ++k) cp = (cp << 6) | (static_cast<uint8_t>(utf8[i + k]) & 0x3F);
        i += extra + 1;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            Put16(out, 0xD800 + (cp >> 10));
            Put16(out, 0xDC00 + (cp & 0x3FF));
        } else {
            Put16(out, cp);
        }
    }
    Put16(out, 0);
    return out;
}

// UTF-16LE up to (not including) the terminator at or before `end` to UTF-8; `used` is the bytes read with
// the terminator. Fails on a missing terminator or a lone surrogate.
bool FromUtf16Z(std::string_view b, size_t at, size_t end, std::string& text, size_t& used) {
    text.clear();
    for (size_t i = at; i + 2 <= end; i += 2) {
        uint32_t u = static_cast<uint32_t>(Get(b, i, 2));
        if (u == 0) {
            used = i + 2 - at;
            return true;
        }
        if (u >= 0xDC00 && u <= 0xDFFF) return false;
        if (u >= 0xD800 && u <= 0xDBFF) {
            if (i + 4 > end) return false;
            uint32_t low = static_cast<uint32_t>(Get(b, i + 2, 2));
            if (low < 0xDC00 || low > 0xDFFF) return false;
            u = 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
            i += 2;
        }
        AppendUtf8(text, u);
    }
    return false;
}

// Device path node types and subtypes, as the firmware reads them.
constexpr uint8_t kMediaPath = 0x04, kHardDrive = 0x01, kFilePath = 0x04;
constexpr uint8_t kEndPath = 0x7F, kEndEntire = 0xFF;
constexpr uint16_t kHardDriveLength = 42;
constexpr uint8_t kGptPartitionFormat = 0x02, kGuidSignature = 0x02;

}  // namespace

Result<std::string> EfiFilePathList(const EfiPartition& partition, std::string_view path) {
    if (partition.number == 0 || partition.sizeLba == 0 || partition.startLba == 0 || partition.partitionGuid.IsZero())
        return Outcome::Failed("EFI 系统分区的编号、位置或 GUID 不完整");
    bool usable = path.size() > 1 && path.front() == '\\';
    for (char c : path)
        if (c == '/' || static_cast<unsigned char>(c) < 0x20) usable = false;
    std::string name = usable ? Utf16Z(path) : std::string();
    if (name.empty() || name.size() + 4 > 0xFFFF) return Outcome::Failed("启动文件路径无法使用：" + std::string(path));
    std::string out;
    out += static_cast<char>(kMediaPath);
    out += static_cast<char>(kHardDrive);
    Put16(out, kHardDriveLength);
    Put32(out, partition.number);
    Put64(out, partition.startLba);
    Put64(out, partition.sizeLba);
    out.append(reinterpret_cast<const char*>(partition.partitionGuid.bytes.data()), 16);
    out += static_cast<char>(kGptPartitionFormat);
    out += static_cast<char>(kGuidSignature);
    out += static_cast<char>(kMediaPath);
    out += static_cast<char>(kFilePath);
    Put16(out, static_cast<uint32_t>(4 + name.size()));
    out += name;
    out += static_cast<char>(kEndPath);
    out += static_cast<char>(kEndEntire);
    Put16(out, 4);
    return out;
}

Result<std::string> EfiLoadOption(std::string_view description, const EfiPartition& partition, std::string_view path) {
    auto paths = EfiFilePathList(partition, path);
    if (!paths) return paths.outcome();
    std::string desc = Utf16Z(description);
    if (description.empty() || desc.empty()) return Outcome::Failed("启动项名称无法使用");
    std::string out;
    Put32(out, kLoadOptionActive);
    Put16(out, static_cast<uint32_t>(paths->size()));
    out += desc;
    out += paths.value();
    return out;
}

Result<EfiLoadOptionFields> ParseEfiLoadOption(std::string_view b) {
    auto bad = [](const char* why) { return Outcome::Failed(std::string("启动项格式错误：") + why); };
    if (b.size() < 6) return bad("过短");
    EfiLoadOptionFields f;
    f.attributes = static_cast<uint32_t>(Get(b, 0, 4));
    size_t listLength = Get(b, 4, 2), used = 0;
    if (!FromUtf16Z(b, 6, b.size(), f.description, used)) return bad("名称没有结尾");
    size_t at = 6 + used;
    if (listLength > b.size() - at) return bad("设备路径超出数据");
    size_t end = at + listLength;
    if (end - at < 4 + kHardDriveLength || Get(b, at, 1) != kMediaPath || Get(b, at + 1, 1) != kHardDrive ||
        Get(b, at + 2, 2) != kHardDriveLength)
        return bad("第一个节点不是硬盘分区");
    f.partition.number = static_cast<uint32_t>(Get(b, at + 4, 4));
    f.partition.startLba = Get(b, at + 8, 8);
    f.partition.sizeLba = Get(b, at + 16, 8);
    for (size_t i = 0; i < 16; ++i) f.partition.partitionGuid.bytes[i] = static_cast<uint8_t>(b[at + 24 + i]);
    if (Get(b, at + 40, 1) != kGptPartitionFormat || Get(b, at + 41, 1) != kGuidSignature) return bad("不是 GPT 分区");
    at += kHardDriveLength;
    if (end - at < 4 || Get(b, at, 1) != kMediaPath || Get(b, at + 1, 1) != kFilePath)
        return bad("第二个节点不是文件路径");
    size_t nodeLength = Get(b, at + 2, 2);
    if (nodeLength < 6 || nodeLength > end - at) return bad("文件路径节点长度错误");
    if (!FromUtf16Z(b, at + 4, at + nodeLength, f.path, used) || used != nodeLength - 4) return bad("文件路径没有结尾");
    at += nodeLength;
    if (end - at != 4 || Get(b, at, 1) != kEndPath || Get(b, at + 1, 1) != kEndEntire || Get(b, at + 2, 2) != 4)
        return bad("设备路径没有正确结束");
    return f;
}

Result<std::string> EfiGrubConfig(std::string_view jobSerial) {
    bool hex = jobSerial.size() == 16 || jobSerial.size() == 8;
    for (char c : jobSerial)
        if (HexDigit(c) < 0) hex = false;
    if (!hex) return Outcome::Failed("系统分区的序列号无法使用：" + std::string(jobSerial));
    std::string serial;
    for (char c : jobSerial) serial += static_cast<char>(c >= 'A' && c <= 'F' ? c - 'A' + 'a' : c);
    // $cmdpath is the folder GRUB was started from, on the partition it was started from: no search that
    // another disk could answer. When the engine cannot be started, exit hands the start back to the
    // firmware, which goes on with BootOrder (Windows).
    return std::string(
               "# Korvanix: the imaging engine, once; its job is KORVANIX.JOB on the system partition.\n"
               "set timeout=0\n"
               "echo \"Korvanix: starting the imaging engine\"\n"
               "linux $cmdpath/") +
           kEfiKernelFile + " kx.job=" + serial +
           " console=ttyS0,115200 console=tty0 quiet panic=10\n"
           "initrd $cmdpath/" +
           kEngineInitrdFile + " $cmdpath/" + kEfiModulesFile +
           "\n"
           "boot\n"
           "echo \"Korvanix: the imaging engine could not be started; Windows starts instead.\"\n"
           "sleep 5\n"
           "exit\n";
}

std::string EfiBootVariableName(uint16_t number) {
    char s[12];
    std::snprintf(s, sizeof s, "Boot%04X", static_cast<unsigned>(number));
    return s;
}

std::string EfiBootNextValue(uint16_t number) {
    std::string out;
    Put16(out, number);
    return out;
}

Result<std::vector<uint16_t>> ParseEfiBootOrder(std::string_view bytes) {
    if (bytes.size() % 2) return Outcome::Failed("BootOrder 的长度不是偶数");
    std::vector<uint16_t> order;
    for (size_t i = 0; i < bytes.size(); i += 2) order.push_back(static_cast<uint16_t>(Get(bytes, i, 2)));
    return order;
}

Result<uint16_t> FreeEfiBootNumber(const std::vector<uint16_t>& used) {
    std::vector<bool> taken(0x10000, false);
    for (auto n : used) taken[n] = true;
    for (uint32_t n = 0; n < 0x10000; ++n)
        if (!taken[n]) return static_cast<uint16_t>(n);
    return Outcome::Failed("固件中已没有空闲的启动项编号");
}

}  // namespace kx
