#!/usr/bin/env bash
# Browser speed on large folders: the desktop program (offscreen) opens a
# volume and then its folder "many" is clicked in the folder tree (NTFS with
# 100,000 files; FAT32 and exFAT with 50,000). Milliseconds until the file
# list is painted with the rows, and until the window answers input again
# (the event loop is idle), and then to show the same rows in the icon and the
# list view; then the filter bar over the whole volume: "f1234" typed key by
# key (the slowest key, until the window is idle with the matches painted),
# "*.txt" (every file), the kind 文档, and the filter cleared; best of three
# runs, warm cache.
# Not a test: run it on demand (as root: the images are made with the real tools).
#
#   bench/gui_folder_bench.sh                     images in build-bench/bench-images
#   KESTRUM_BENCH_IMAGES=DIR bench/gui_folder_bench.sh   use the images there as they are
#   KESTRUM_BENCH_BUILD=DIR  ...                          build in DIR (Release) instead
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
ensure_packages "${BUILD_PACKAGES[@]}" "${FIXTURE_PACKAGES[@]}" "${GUI_PACKAGES[@]}"

build=${KESTRUM_BENCH_BUILD:-build-bench-gui}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target kestrum_gui_bench >/dev/null
driver=$build/bench/kestrum_gui_bench

images=${KESTRUM_BENCH_IMAGES:-}
if [ -z "$images" ]; then
  images=build-bench/bench-images
  KESTRUM_FIXTURE_MANY=100000 tests/fixtures/build_fixtures.sh "$images/many100k" --only ntfs >&2
  KESTRUM_FIXTURE_MANY=50000 tests/fixtures/build_fixtures.sh "$images/many50k" --only fat32 exfat >&2
fi

export QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8

# The smallest value of each column over three runs of the driver.
best_of_three() {
  local runs
  runs=$(for _ in 1 2 3; do "$driver" "$@" 2>/dev/null; done)
  [ "$(wc -l <<<"$runs")" = 3 ] || { echo "gui_folder_bench: the driver failed on $1" >&2; exit 1; }
  awk '{ for (i = 1; i <= NF; i++) if (NR == 1 || $i < m[i]) m[i] = $i }
       END { for (i = 1; i <= NF; i++) printf "%s%s", m[i], (i < NF ? " " : "\n") }' <<<"$runs"
}

printf '%-15s %7s %8s %9s %8s %8s %9s %8s %8s %8s %8s %8s %8s %8s\n' volume files read_ms open_paint open_idle \
  shown_ms click_paint click_idle icon_view list_view key_ms every_ms kind_ms clear_ms
for case in "ntfs many100k" "fat32 many50k" "exfat many50k"; do
  read -r fs dir <<<"$case"
  img="$images/$dir/$fs.img"
  read -r _ read_ms open_paint open_idle shown files click_paint click_idle icon_view list_view \
    _ key_ms _ every_ms _ kind_ms clear_ms <<<"$(best_of_three "$img" many)"
  printf '%-15s %7d %8s %9s %8s %8s %9s %8s %8s %8s %8s %8s %8s %8s\n' "$fs/$dir" "$files" "$read_ms" "$open_paint" \
    "$open_idle" "$shown" "$click_paint" "$click_idle" "$icon_view" "$list_view" "$key_ms" "$every_ms" \
    "$kind_ms" "$clear_ms"
done
echo "(milliseconds, best of 3 each; read = until the progress dialog closed; open_* = the volume"
echo " opened with its root shown; shown = from the dialog closing to idle; click_* = the folder clicked"
echo " in the tree, until the rows are painted / the window is idle; icon_view, list_view = the same rows"
echo " shown in that view, until idle; key_ms = the slowest key of \"f1234\" typed into the filter's name,"
echo " every_ms = \"*.txt\" (every file matches), kind_ms = the kind 文档, clear_ms = the filter cleared,"
echo " each until the matches are painted and the window is idle; load: $(cut -d' ' -f1-3 /proc/loadavg))"
