#!/usr/bin/env bash
# Cold reads of an image in 4 MiB blocks, beside `dd bs=4M`: one read at a
# time, one read with posix_fadvise(WILLNEED) for the next 1–8 blocks, and
# 2–8 reads in flight on threads of their own (kestrum_read_bench). Chooses
# how the deep scan keeps the disk busy. The page cache is dropped before
# each run; each figure is the best of three.
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
printf '%-12s %6s %8s %8s\n' mode depth seconds MB/s
row() { printf '%-12s %6s %8s %8.0f\n' "$1" "$2" "$3" "$(awk "BEGIN{print $bytes / 1048576 / $3}")"; }
row dd - "$(cold_best dd if="$img" of=/dev/null bs=4M)"
row single 1 "$(cold_best "$tool" "$img" single 1)"
for d in 1 2 4 8; do row advise "$d" "$(cold_best "$tool" "$img" advise "$d")"; done
for d in 2 4 8; do row threads "$d" "$(cold_best "$tool" "$img" threads "$d")"; done
echo "(cold: page cache dropped before every run, best of 3; load after: $(cut -d' ' -f1-3 /proc/loadavg))"
