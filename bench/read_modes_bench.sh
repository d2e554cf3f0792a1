#!/usr/bin/env bash
# Reads of an image in 4 MiB blocks, beside `dd bs=4M`, cold (page cache
# dropped before each run) and warm: one read at a time, one read with
# posix_fadvise(WILLNEED) for the next 1–8 blocks, 2–8 reads in flight on
# threads of their own through the page cache, 4 and 8 past it (O_DIRECT),
# each block mapped instead of read (2 and 4 threads), and 256 KiB pieces
# into a buffer that stays in the core's cache (2 threads). Every block's
# cache lines are read once it is there, as the analysis does
# (kestrum_read_bench … touch). Chooses how the deep scan reads. Each
# figure is the best of three; the cold runs go in rounds of every mode.
#   bench/read_modes_bench.sh [IMAGE]   (default: the deep-scan bench image)
# Not a test: run it on demand, as root, on a quiet machine.
set -euo pipefail
cd "$(dirname "$0")/.."
img=${1:-build-bench/bench-images/scan-2g.img}
[ -s "$img" ] || { echo "no $img: run bench/scan_bench.sh first, or name an image" >&2; exit 1; }
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTRUM_BUILD_GUI=OFF >/dev/null
cmake --build build-bench --target kestrum_read_bench >/dev/null
tool=build-bench/bench/kestrum_read_bench
. bench/timing.sh
[ "$can_drop" = 1 ] || { echo "cannot drop the page cache here: cold reads cannot be measured" >&2; exit 1; }
bytes=$(stat -c %s "$img")
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-6s %-8s %6s %8s %8s\n' cache mode depth seconds MB/s
row() { printf '%-6s %-8s %6s %8s %8.0f\n' "$1" "$2" "$3" "$4" "$(awk "BEGIN{print $bytes / 1048576 / $4}")"; }
modes=("single 1" "advise 1" "advise 2" "advise 4" "advise 8" "threads 2" "threads 4" "threads 8" "direct 4"
       "direct 8" "map 2" "map 4" "pieces 2")
# Cold: three rounds, each running `dd` and every mode once, so that all
# meet the same minutes of a shared host; the best of each.
declare -A cold
keep_best() { if [ -z "${cold[$1]:-}" ] || awk "BEGIN{exit !($2 < ${cold[$1]})}"; then cold[$1]=$2; fi; }
for _ in 1 2 3; do
  drop
  keep_best dd "$(seconds dd if="$img" of=/dev/null bs=4M)"
  for m in "${modes[@]}"; do
    read -r mode depth <<<"$m"
    drop
    keep_best "$m" "$(seconds "$tool" "$img" "$mode" "$depth" touch)"
  done
done
row cold dd - "${cold[dd]}"
for m in "${modes[@]}"; do
  read -r mode depth <<<"$m"
  row cold "$mode" "$depth" "${cold[$m]}"
done
row warm dd - "$(best dd if="$img" of=/dev/null bs=4M)"
for m in "${modes[@]}"; do
  read -r mode depth <<<"$m"
  [ "$mode" = direct ] && continue  # past the cache: the same as cold
  row warm "$mode" "$depth" "$(best "$tool" "$img" "$mode" "$depth" touch)"
done
echo "(cold: page cache dropped before every run; warm: the runs before fill it; best of 3; load after: $(cut -d' ' -f1-3 /proc/loadavg))"
