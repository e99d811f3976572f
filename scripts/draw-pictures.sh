#!/usr/bin/env bash
# Draws the window's pictures with ImageMagick. The results are committed as data under
# src/resources/pictures/; run this again only to change the artwork.
set -euo pipefail
out=$(cd "$(dirname "$0")/.." && pwd)/src/resources/pictures
mkdir -p "$out"
cd "$out"
font=$(fc-match -f '%{file}' 'WenQuanYi Micro Hei')
bold=$(fc-match -f '%{file}' 'WenQuanYi Micro Hei:bold')
body='#f2f6fb'
top='#0d47a1'
bottom='#1976d2'

# Background: the header band with logo and title, the steps band of the wizard, the body, a footer.
convert -size 788x88 gradient:"$top"-"$bottom" header.png
convert -size 788x588 xc:"$body" \
    header.png -geometry +0+0 -composite \
    -fill '#42a5f5' -draw 'rectangle 0,88 788,90' \
    -fill white -draw 'roundrectangle 16,16 72,72 12,12' \
    -fill "$top" -draw 'roundrectangle 24,28 64,60 4,4' \
    -fill '#90caf9' -draw 'rectangle 28,32 60,52' \
    -fill white -draw 'polygon 38,36 38,48 50,42' \
    -fill "$top" -draw 'rectangle 34,62 54,66' \
    -font "$bold" -pointsize 26 -fill white -annotate +86+46 '重装系统工具' \
    -font "$font" -pointsize 13 -fill '#bbdefb' -annotate +88+70 '一键重装 · 一键备份 · 一键还原' \
    -fill white -draw 'roundrectangle 8,100 780,150 6,6' \
    -fill '#90caf9' -draw 'circle 196,125 208,125' -draw 'circle 396,125 408,125' \
    -fill '#90caf9' -draw 'circle 596,125 608,125' \
    -font "$bold" -pointsize 14 -fill white -annotate +191+130 '1' -annotate +391+130 '2' -annotate +591+130 '3' \
    -font "$font" -pointsize 15 -fill '#263238' -annotate +216+131 '选择系统' -annotate +416+131 '下载系统' \
    -annotate +616+131 '安装系统' \
    -fill '#b0bec5' -draw 'line 290,125 380,125' -draw 'line 490,125 580,125' \
    -font "$font" -pointsize 11 -fill '#90a4ae' -annotate +16+575 'Korvanix 0.1' \
    -quality 92 background.jpg
rm header.png

# Outline: black is outside the window; the corners are rounded.
convert -size 788x588 xc:black -fill white -draw 'roundrectangle 0,0 787,587 10,10' \
    -colors 2 -type bilevel outline.gif

# Header buttons: the header's own colours behind a glyph.
convert -size 27x20 gradient:"$top"-'#0f4ca6' -stroke white -strokewidth 2 -draw 'line 8,13 19,13' \
    BMP3:minimise.bmp
convert -size 40x20 gradient:"$top"-'#0f4ca6' -stroke white -strokewidth 2 \
    -draw 'line 15,5 25,15' -draw 'line 25,5 15,15' BMP3:close.bmp
convert -size 26x25 xc:"$top" -fill white -draw 'roundrectangle 2,2 23,22 5,5' BMP3:icon.bmp

# The three systems.
system() {  # name, colour1, colour2, title, subtitle
    convert -size 158x95 gradient:"$2"-"$3" \
        -fill 'rgba(255,255,255,0.18)' -draw 'circle 130,20 175,40' -draw 'circle 20,95 60,120' \
        -font "$bold" -pointsize 22 -fill white -annotate +12+42 "$4" \
        -font "$font" -pointsize 14 -fill white -annotate +12+70 "$5" -quality 92 "$1.jpg"
}
system system_xp '#2e7d32' '#81c784' 'Windows XP' 'SP3 · 32位'
system system_win7_32 '#1565c0' '#64b5f6' 'Windows 7' 'SP1 旗舰版 · 32位'
system system_win7_64 '#283593' '#7986cb' 'Windows 7' 'SP1 旗舰版 · 64位'

# Hint pictures on the page colour.
hint() {  # name, colour, drawing
    convert -size 48x47 xc:"$body" -fill "$2" -draw 'circle 24,23 24,2' -stroke white -strokewidth 4 -fill none \
        -draw "$3" -quality 95 "$1.jpg"
}
hint hint_download '#1976d2' 'line 24,11 24,31 polyline 15,23 24,32 33,23'
hint hint_done '#2e7d32' 'polyline 13,24 21,32 35,15'
hint hint_restore '#ef6c00' 'arc 12,11 36,35 200,480'
hint hint_backup '#6a1b9a' 'rectangle 14,13 34,33'
hint hint_files '#00838f' 'polyline 13,17 21,17 24,20 35,20 35,33 13,33 13,17'

# List icons: the system drive and any other partition.
convert -size 16x16 xc:white -fill '#1976d2' -draw 'roundrectangle 1,4 14,12 2,2' -fill '#ffca28' \
    -draw 'rectangle 3,6 6,9' BMP3:drive_system.bmp
convert -size 16x16 xc:white -fill '#78909c' -draw 'roundrectangle 1,4 14,12 2,2' -fill '#cfd8dc' \
    -draw 'rectangle 11,9 12,10' BMP3:drive.bmp

# About page.
convert -size 775x340 gradient:'#ffffff'-"$body" \
    -fill "$top" -draw 'roundrectangle 40,40 130,130 18,18' -fill white -draw 'polygon 72,62 72,108 108,85' \
    -font "$bold" -pointsize 28 -fill '#0d47a1' -annotate +160+80 'Korvanix 重装系统工具 0.1' \
    -font "$font" -pointsize 15 -fill '#37474f' \
    -annotate +160+120 '一键重装系统、一键备份与还原系统分区、备份用户资料。' \
    -annotate +160+148 '下载系统映像后自动部署，重启即可全自动完成安装。' \
    -annotate +160+176 '支持 Windows XP、Windows 7、Windows 8（32 位与 64 位）。' \
    -quality 92 about.jpg

# The program's icon.
convert -size 48x48 xc:none -fill "$top" -draw 'roundrectangle 1,1 46,46 10,10' \
    -fill white -draw 'polygon 17,12 17,36 37,24' \( -clone 0 -resize 32x32 \) \( -clone 0 -resize 16x16 \) \
    korvanix.ico
