#!/usr/bin/env bash
# Classification speed: `kestrum-cli classify` over a 2 GiB image beside a
# plain `dd bs=4M` read of the same image, cold (five runs of each taken in
# turn, the page cache dropped before each, when the machine lets us) and
# warm (best of three runs each).
# The image (cached in build-bench/bench-images) is an NTFS volume, a FAT32
# volume full of files, and random data. Not a test: run it on demand, as root.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
ensure_packages "${BUILD_PACKAGES[@]}" ntfs-3g dosfstools mtools

. bench/cli.sh
images=build-bench/bench-images
img=$images/classify-2g.img
mkdir -p "$images"

readonly MiB=$((1024 * 1024))
make_image() {
  local work
  work=$(mktemp -d)
  trap 'rm -rf "$work"; trap - RETURN' RETURN
  echo "making $img (once)" >&2
  # 512 MiB NTFS, 1 GiB FAT32 with ~600 MiB of files, 512 MiB random.
  truncate -s $((512 * MiB)) "$work/ntfs.img"
  mkfs.ntfs -q -F -Q "$work/ntfs.img" >/dev/null
  truncate -s $((1024 * MiB)) "$work/fat32.img"
  mkfs.vfat -F 32 -n BENCH "$work/fat32.img" >/dev/null
  mkdir -p "$work/files"
  for i in $(seq 1 300); do
    head -c $(( (i % 7 + 1) * 300 * 1024 )) /dev/urandom >"$work/files/f$i.bin"
  done
  for i in $(seq 1 200); do seq 1 $((i * 50)) >"$work/files/t$i.txt"; done
  MTOOLS_SKIP_CHECK=1 mcopy -s -i "$work/fat32.img" "$work/files" ::/ >/dev/null
  {
    cat "$work/ntfs.img" "$work/fat32.img"
    head -c $((512 * MiB)) /dev/urandom
  } >"$img.part"
  mv "$img.part" "$img"
}
[ -s "$img" ] || make_image
bytes=$(stat -c %s "$img")

. bench/timing.sh
rate() { awk "BEGIN{printf \"%.0f\", $bytes / $MiB / $1}"; }

findings=$("$cli" classify "$img" | wc -l)
dd_run() { dd if="$img" of=/dev/null bs=4M; }
classify_run() { "$cli" classify "$img"; }
read -r dd_cold dd_cold_median cl_cold cl_cold_median <<<"$(cold_in_turn 5 dd_run classify_run)"
# Warm: the best of three runs each, the page cache filled by the runs before.
dd_warm=$(best dd if="$img" of=/dev/null bs=4M)
cl_warm=$(best "$cli" classify "$img")

printf '%-6s %10s %10s %14s %14s %7s\n' cache dd_s classify_s dd_MB/s classify_MB/s ratio
for row in "cold $dd_cold $cl_cold" "warm $dd_warm $cl_warm"; do
  read -r name d c <<<"$row"
  printf '%-6s %10s %10s %14s %14s %7s\n' "$name" "$d" "$c" "$(rate "$d")" "$(rate "$c")" \
    "$(awk "BEGIN{printf \"%.2f\", $d / $c}")"
done
echo "cold medians: dd $dd_cold_median s, classify $cl_cold_median s," \
  "ratio $(awk "BEGIN{printf \"%.2f\", $dd_cold_median / $cl_cold_median}")"
echo "($((bytes / MiB)) MiB image, $findings findings; ratio = classify speed / dd speed;" \
  "cold = best of 5 runs each taken in turn, the page cache dropped before each; warm = best of 3$([ "$can_drop" = 1 ] || echo ' (could not drop: both runs warm)'))"
