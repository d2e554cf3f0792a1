#!/usr/bin/env bash
# The deep scan of a sparse image: `kestrum-cli scan --json` of a SIZE
# (default 3 TiB) sparse image with a GPT, a 1 GiB FAT32 volume at 1 MiB
# and DATA_MIB (default 1024) MiB of random data spread over the disk,
# beside the scan of a plain image that holds the same data and nothing
# else: the holes should cost next to nothing. Warm, best of three. The
# images are cached in build-bench/bench-images. Not a test: run it on
# demand, as root.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
ensure_packages "${BUILD_PACKAGES[@]}" dosfstools fdisk

SIZE=${SIZE:-3T}
DATA_MIB=${DATA_MIB:-1024}
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTRUM_BUILD_GUI=OFF >/dev/null
cmake --build build-bench --target kestrum-cli >/dev/null
cli=build-bench/src/cli/kestrum-cli
images=build-bench/bench-images
sparse=$images/sparse-$SIZE.img
dense=$images/dense-$SIZE.img
mkdir -p "$images"

readonly MiB=$((1024 * 1024))
make_images() {
  echo "making $sparse and $dense (once)" >&2
  rm -f "$sparse" "$dense"
  truncate -s "$SIZE" "$sparse"
  printf 'label: gpt\nstart=2048,size=2097152,type=EBD0A0A2-B9E5-4433-87C0-68B6B72699C7\n' | sfdisk -q "$sparse"
  mkfs.vfat -F 32 -n BENCH --offset 2048 "$sparse" $((1024 * 1024)) >/dev/null
  # The random data in four pieces: after the volume, a third and two
  # thirds into the disk, and before the backup GPT.
  local bytes piece at
  bytes=$(stat -c %s "$sparse")
  piece=$((DATA_MIB / 4))
  for at in $((2048 * MiB)) $((bytes / 3 / MiB * MiB)) $((bytes / 3 * 2 / MiB * MiB)) $((bytes - (piece + 1) * MiB)); do
    head -c $((piece * MiB)) /dev/urandom | dd of="$sparse" bs=1M seek=$((at / MiB)) conv=notrunc status=none
  done
  # The same data, and the volume, without the holes.
  {
    dd if="$sparse" bs=1M count=$((1024 + 2)) status=none
    for at in $((2048 * MiB)) $((bytes / 3 / MiB * MiB)) $((bytes / 3 * 2 / MiB * MiB)) $((bytes - (piece + 1) * MiB)); do
      dd if="$sparse" bs=1M skip=$((at / MiB)) count="$piece" status=none
    done
  } >"$dense"
}
[ -s "$sparse" ] && [ -s "$dense" ] || make_images

. bench/timing.sh
"$cli" scan --json "$sparse" >/dev/null  # fills the page cache
sparse_s=$(best "$cli" scan --json "$sparse")
dense_s=$(best "$cli" scan --json "$dense")
printf '%-7s %16s %14s %10s\n' image size_bytes data_bytes scan_s
printf '%-7s %16s %14s %10s\n' sparse "$(stat -c %s "$sparse")" "$(($(stat -c %b "$sparse") * 512))" "$sparse_s"
printf '%-7s %16s %14s %10s\n' plain "$(stat -c %s "$dense")" "$(($(stat -c %b "$dense") * 512))" "$dense_s"
echo "found on the sparse image:"
"$cli" scan --json "$sparse" | grep -v '"SearchFile"' || true
