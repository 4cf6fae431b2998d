#!/usr/bin/env bash
# Draws infotip.jpg, the 810 x 480 usage hint: an Explorer window with its search box pointed
# out and example results under it. Needs ImageMagick and the WenQuanYi Micro Hei font
# (Debian: fonts-wqy-microhei). The JPEG is committed; run this only to redraw it.
set -euo pipefail
cd "$(dirname "$0")"
font=/usr/share/fonts/truetype/wqy/wqy-microhei.ttc
convert -size 810x480 xc:'#E9EEF5' -font "$font" \
  -fill white -stroke '#9AA7B8' -draw 'rectangle 40,60 770,440' \
  -fill '#DCE6F2' -stroke '#9AA7B8' -draw 'rectangle 40,60 770,100' \
  -fill white -stroke '#7F8FA6' -draw 'rectangle 60,70 480,92' \
  -stroke none -fill '#44546A' -pointsize 13 -draw "text 68,86 '计算机 > 本地磁盘 (C:) > 文档'" \
  -fill white -stroke '#2F6FD6' -strokewidth 2 -draw 'rectangle 560,70 750,92' -strokewidth 1 \
  -stroke none -fill '#202020' -pointsize 14 -draw "text 568,87 '报告'" \
  -fill '#2F6FD6' -stroke '#2F6FD6' -strokewidth 3 -draw 'line 655,20 655,64' \
  -draw 'polygon 647,56 663,56 655,68' -strokewidth 1 \
  -stroke none -fill '#2F6FD6' -pointsize 18 -draw "text 420,30 '在这里输入文件名，立即搜索'" \
  -fill '#F4F7FB' -stroke '#D0D8E4' -draw 'rectangle 41,101 769,124' \
  -stroke none -fill '#44546A' -pointsize 13 \
  -draw "text 70,118 '名称'" -draw "text 330,118 '所在文件夹'" -draw "text 560,118 '修改日期'" -draw "text 700,118 '大小'" \
  -fill '#CCE4FF' -draw 'rectangle 41,128 769,152' \
  -fill '#F2C14E' -draw 'rectangle 50,133 64,147' -fill '#202020' -draw "text 70,146 '年度报告'" \
  -fill none -stroke '#E0A000' -draw 'rectangle 93,132 124,149' -stroke none \
  -fill '#44546A' -draw "text 330,146 'C:\\\\文档\\\\'" -draw "text 560,146 '2026-11-02 09:15'" \
  -fill '#FFFFFF' -stroke '#8AA0C0' -draw 'rectangle 52,160 62,174' -stroke none \
  -fill '#202020' -draw "text 70,172 '报告模板.docx'" \
  -fill none -stroke '#E0A000' -draw 'rectangle 69,158 100,175' -stroke none \
  -fill '#44546A' -draw "text 330,172 'C:\\\\文档\\\\模板\\\\'" -draw "text 560,172 '2026-10-28 17:40'" -draw "text 700,172 '36 KB'" \
  -fill '#FFFFFF' -stroke '#8AA0C0' -draw 'rectangle 52,186 62,200' -stroke none \
  -fill '#202020' -draw "text 70,198 '周报告_第45周.xlsx'" \
  -fill none -stroke '#E0A000' -draw 'rectangle 83,184 114,201' -stroke none \
  -fill '#44546A' -draw "text 330,198 'C:\\\\文档\\\\工作\\\\'" -draw "text 560,198 '2026-11-06 18:02'" -draw "text 700,198 '212 KB'" \
  -fill '#6B7A90' -pointsize 16 -draw "text 70,300 '输入即搜索：结果按文件夹、文件排列，匹配部分加框显示。'" \
  -draw "text 70,330 '双击打开项目，右键单击使用系统菜单；按 Esc 关闭搜索。'" \
  -fill '#9AA7B8' -pointsize 13 -draw "text 640,465 '单击此图片关闭'" \
  -quality 88 infotip.jpg
