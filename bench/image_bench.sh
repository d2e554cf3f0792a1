#!/usr/bin/env bash
# Imaging a failing disk: `kestrum-cli image` beside GNU ddrescue (`-d`,
# direct reads, as the program reads a block device) on the same faulty
# device — a 512 MiB image of random data served by
# tests/imaging/faulty_disk.py through FUSE, bad ranges answering EIO after
# a delay (as a dying disk takes its time to give up), attached as a loop
# device. Prints the time, the reads and the reads of bad sectors (counted
# by the FUSE layer) of each, and checks that both give the same image and
# the same bad sectors. Not a test: run it on demand, as root.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
ensure_packages "${BUILD_PACKAGES[@]}" gddrescue python3-pyfuse3 fuse3

cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTRUM_BUILD_GUI=OFF >/dev/null
cmake --build build-bench --target kestrum-cli >/dev/null
cli=$PWD/build-bench/src/cli/kestrum-cli
images=build-bench/bench-images
img=$PWD/$images/failing-512m.img
mkdir -p "$images"
[ -f "$img" ] || { echo "making $img (once)" >&2; head -c $((512 << 20)) /dev/urandom > "$img.part"; mv "$img.part" "$img"; }

# A single bad sector, a short run, a dead zone of 10 MB, eight scattered
# sectors and a run at the very end; each read that touches one waits 5 ms.
bad=("1000:1" "70000:64" "300000:20480" "600000:1" "620001:1" "640002:1" "660003:1" "680004:1" "700005:1"
     "720006:1" "740007:1" "1048000:576")
delay=5

work=$(mktemp -d)
mnt=$work/mnt
mkdir "$mnt"
fuse_pid=
loop=
cleanup() {
  [ -n "$loop" ] && losetup -d "$loop" 2>/dev/null
  mountpoint -q "$mnt" && { fusermount3 -u "$mnt" 2>/dev/null || umount -l "$mnt"; }
  [ -n "$fuse_pid" ] && { kill "$fuse_pid" 2>/dev/null; wait "$fuse_pid" 2>/dev/null; }
  rm -rf "$work"
}
trap cleanup EXIT
fuse_args=()
for r in "${bad[@]}"; do fuse_args+=(--bad "$r" --slow "$r:$delay"); done

run() {  # run NAME COMMAND...: attach, time the command, count the reads
  local name=$1 start end
  shift
  : > "$work/$name.log"
  /usr/bin/python3 tests/imaging/faulty_disk.py "$img" "$mnt" "$work/$name.log" "${fuse_args[@]}" &
  fuse_pid=$!
  for _ in $(seq 100); do [ -e "$mnt/disk" ] && break; sleep 0.1; done
  loop=$(losetup -f --show --direct-io=off -r "$mnt/disk")
  start=$(date +%s.%N)
  "$@" "$loop" >/dev/null 2>&1 || true
  end=$(date +%s.%N)
  losetup -d "$loop"; loop=
  fusermount3 -u "$mnt"; wait "$fuse_pid" 2>/dev/null || true; fuse_pid=
  printf '%-10s %8.1f s %9d reads %12d bytes read %7d reads of bad sectors\n' "$name" "$(echo "$end - $start" | bc)" \
    "$(wc -l < "$work/$name.log")" "$(awk '{s += $2} END {print s}' "$work/$name.log")" \
    "$(grep -c ' eio$' "$work/$name.log")"
}

echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
run ddrescue sh -c 'ddrescue -d -q "$0" '"$work/ref.img $work/ref.map"
run kestrum sh -c '"'"$cli"'" image "$0" '"$work/copy.img --map $work/copy.map"
truncate -s "$(stat -c %s "$img")" "$work/ref.img"  # ddrescue leaves a bad tail unwritten
ddrescuelog -l- -b512 "$work/ref.map" > "$work/ref.lst"
ddrescuelog -l- -b512 "$work/copy.map" > "$work/copy.lst"
cmp -s "$work/ref.lst" "$work/copy.lst" && echo "bad sectors: the same ($(wc -l < "$work/copy.lst"))" ||
  echo "bad sectors DIFFER: ddrescue $(wc -l < "$work/ref.lst"), kestrum $(wc -l < "$work/copy.lst")"
cmp -s "$work/ref.img" "$work/copy.img" && echo "images: equal byte for byte" || echo "images DIFFER"
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
