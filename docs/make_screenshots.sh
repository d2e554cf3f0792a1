#!/usr/bin/env bash
# Takes a picture of each page of the desktop program into docs/: the program
# runs on a virtual display (Xvfb, with openbox for the title bars) over the
# demo disk image, is driven with xdotool and captured with ImageMagick.
#
#   docs/make_screenshots.sh          build in build/ (Release), as run.sh does
#   KESTRUM_BUILD_DIR=DIR docs/...    use another build directory
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
ensure_packages "${BUILD_PACKAGES[@]}" "${FIXTURE_PACKAGES[@]}" "${GUI_PACKAGES[@]}" \
  "${SCREENSHOT_PACKAGES[@]}"

build=${KESTRUM_BUILD_DIR:-build}
[ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target kestrum >&2
tests/fixtures/build_fixtures.sh "$build/demo" --only demo >&2
image=$build/demo/demo.img
# A volume with 20000 files in one folder: its export lasts long enough for
# the progress dialog to be seen.
KESTRUM_FIXTURE_MANY=20000 tests/fixtures/build_fixtures.sh "$build/shots" --only ntfs >&2
large=$build/shots/ntfs.img
# A 4 GiB disk (sparse) with one FAT32 partition of real pictures and
# documents: its whole-disk search lasts long enough to be pictured.
pictures=$build/shots/pictures.img
if [ ! -s "$pictures" ]; then
  made=$(mktemp -d)
  for i in 1 2 3 4 5 6 7 8; do convert -size $((200 * i))x$((150 * i)) plasma:fractal -quality 85 "$made/photo$i.jpg"; done
  for i in 1 2 3 4; do convert -size $((100 * i))x$((90 * i)) gradient:red-blue "$made/chart$i.png"; done
  for i in 1 2 3; do
    gs -q -dNOPAUSE -dBATCH -sDEVICE=pdfwrite -o "$made/text$i.pdf" \
      -c "/Helvetica findfont 20 scalefont setfont 72 720 moveto (Kestrum $i) show showpage"
  done
  truncate -s 4G "$pictures.part"
  printf 'label: dos\n2048,,c\n' | sfdisk -q "$pictures.part"
  mkfs.vfat -F 32 -n PICTURES --offset 2048 "$pictures.part" $((4 * 1024 * 1024 - 1024)) >/dev/null
  mcopy -i "$pictures.part@@1048576" "$made"/* ::/
  rm -rf "$made"
  mv "$pictures.part" "$pictures"
fi
out=docs
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

say() { echo "make_screenshots: $*" >&2; }

# A display number nobody uses.
display=99
while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 1280x860x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=":$display"
for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
openbox >/dev/null 2>&1 &
pids+=($!)
sleep 1

LC_ALL=C.UTF-8 "$build/src/gui/kestrum" --images-only "$image" >"$work/kestrum.log" 2>&1 &
pids+=($!)

# The id of the first visible window whose title matches; fails after 10 s.
wait_window() {
  local id
  for _ in $(seq 200); do
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1 || true)
    if [ -n "$id" ]; then echo "$id"; return 0; fi
    sleep 0.05
  done
  say "no window titled '$1'"
  return 1
}
window_gone() { ! xdotool search --onlyvisible --name "$1" >/dev/null 2>&1; }
wait_gone() { for _ in $(seq 200); do window_gone "$1" && return 0; sleep 0.05; done; return 1; }

main=$(wait_window '^Varnel数据恢复-免费版$')
sleep 1

# The main window with its frame, and whatever dialog lies over it.
shot() {
  local x y w h
  eval "$(xwininfo -id "$main" -frame | awk -F: '
    /Absolute upper-left X/ {printf "x=%d\n", $2}
    /Absolute upper-left Y/ {printf "y=%d\n", $2}
    /Width/ {printf "w=%d\n", $2}
    /Height/ {printf "h=%d\n", $2}')"
  # -frame reports the client's corner; the title bar lies above it.
  local top=$((y > 30 ? y - 30 : 0))
  import -window root -crop "$((w + 8))x$((h + y - top + 8))+$((x > 4 ? x - 4 : 0))+$top" +repage "$out/$1.png"
  say "$out/$1.png"
}
# Clicks at a point of the main window's client area.
click() { xdotool mousemove --window "$main" "$1" "$2" click 1; sleep "${3:-0.5}"; }
progress_done() { wait_gone '^请稍候' || true; sleep 0.5; }

# Where the buttons are (client coordinates, as the layout puts them).
menu_button() { click 160 $((141 + 66 * ($1 - 1))) 0.3; }
DEV_OPEN=(48 630); DEV_SETTINGS=(220 630); DEV_BACK=(760 630); DEV_NEXT=(846 630)
FDR_ALL=(673 176); FDR_EXPORT=(846 176); FDR_BACK=(846 630)

shot 01-main-menu

menu_button 1                     # 恢复误删除的文件
progress_done
shot 02-device-page

click "${DEV_SETTINGS[@]}"
wait_window '^设置搜索参数$' >/dev/null
xdotool key Tab ctrl+a
xdotool type "1.5"
sleep 0.3
shot 03-scan-settings
xdotool key Return
wait_gone '^设置搜索参数$'

click "${DEV_NEXT[@]}"
progress_done
shot 04-browser-deleted-files

# Another image added on the device page: the large one.
click "${FDR_BACK[@]}"
click "${DEV_OPEN[@]}"
wait_window '^打开镜像文件' >/dev/null
xdotool type --delay 5 "$(realpath "$large")"
sleep 0.3
shot 05-open-image
xdotool key Return
wait_gone '^打开镜像文件'
progress_done

# Its existing files, all ticked and exported: the folder chooser, the
# progress dialog and the result.
click "${DEV_BACK[@]}"
menu_button 2                     # 浏览恢复分区的文件
progress_done
xdotool key Down Down Down Down   # the fifth volume: ntfs.img
click "${DEV_NEXT[@]}" 0
# Reading is often over before the dialog's first tick; a picture only if not.
if wait_window '^请稍候' >/dev/null 2>&1; then sleep 0.13; shot 06-progress-reading; fi
progress_done
click "${FDR_ALL[@]}"
shot 07-browser-ticked
mkdir -p "$work/export"
click "${FDR_EXPORT[@]}"
wait_window '^选择路径' >/dev/null
xdotool type --delay 5 "$work/export"
sleep 0.3
shot 08-folder-chooser
xdotool key Return
# The dialog shows its first lines at its first tick, 100 ms after it opens.
wait_window '^请稍候' >/dev/null
sleep 0.4
window_gone '^请稍候' && say "the export ended before its progress could be pictured"
shot 09-progress-export
wait_window '^Varnel数据恢复$' >/dev/null
sleep 0.3
shot 10-export-done
xdotool key Return
wait_gone '^Varnel数据恢复$'

click "${FDR_BACK[@]}"
click "${DEV_BACK[@]}"
click 160 471 0                   # 关于本软件
wait_window '^关于 Varnel数据恢复$' >/dev/null
sleep 0.3
shot 11-about
xdotool key Return
wait_gone '^关于 Varnel数据恢复$'

# "搜索恢复磁盘的文件" on the picture disk, added on the device page: the scan
# behind its progress dialog, then the files found by content.
menu_button 4
progress_done
click "${DEV_OPEN[@]}"
wait_window '^打开镜像文件' >/dev/null
xdotool type --delay 5 "$(realpath "$pictures")"
xdotool key Return
wait_gone '^打开镜像文件'
progress_done
click 100 161 0.3                 # the third disk: pictures.img
click "${DEV_NEXT[@]}" 0
wait_window '^请稍候' >/dev/null
sleep 0.8
shot 12-progress-scan
progress_done
# The scan lists the search-file volume first and the FAT volume it found
# after it, and shows that one: select the search-file volume and open it.
click 60 97 0.5                   # 00 SearchFile in the tree
click 18 97 0.5                   # its arrow: the folders of the file types
shot 13-browser-search-files
click 93 277 0.5                  # the folder jpg-8 in the tree
shot 14-browser-found-jpg
