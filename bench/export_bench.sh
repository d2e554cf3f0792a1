#!/usr/bin/env bash
# Export speed: `kestrum-cli export` of a whole NTFS volume (about 1 GiB of
# files of mixed sizes on a 1.3 GiB image) beside `cp -a` of the same files
# from an ntfs-3g read-only mount of a copy of the image. The page cache is
# dropped before each run where the machine allows it (cold cache).
# Not a test: run it on demand, as root (loop devices, FUSE, drop_caches).
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
ensure_packages "${BUILD_PACKAGES[@]}" "${FIXTURE_PACKAGES[@]}"
[[ $(id -u) -eq 0 ]] || { echo "export_bench: run as root (loop devices, FUSE mounts)" >&2; exit 1; }

cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTRUM_BUILD_GUI=OFF >/dev/null
cmake --build build-bench --target kestrum-cli >/dev/null
cli=$PWD/build-bench/src/cli/kestrum-cli
images=$PWD/build-bench/bench-images/export
mkdir -p "$images"
image=$images/ntfs-1g.img
copy=$images/ntfs-1g-copy.img
work=$(mktemp -d "$images/run.XXXXXX")

MOUNTS=()
LOOPS=()
cleanup() {
  local m d
  for m in "${MOUNTS[@]}"; do umount "$m" 2>/dev/null || umount -l "$m" 2>/dev/null || true; done
  for d in "${LOOPS[@]}"; do losetup -d "$d" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

log() { printf 'export_bench: %s\n' "$*" >&2; }
now() { date +%s.%N; }
drop_caches() { sync; echo 3 >/proc/sys/vm/drop_caches 2>/dev/null || true; }

# ---------------------------------------------------------------- the volume
# Mixed sizes, fixed by the seed: many small files (some resident in their
# MFT records), a few hundred medium ones, and a few large ones; ~1 GiB.
fill_volume() { # mountpoint
  local mnt=$1 i size
  RANDOM=20261209
  mkdir -p "$mnt/tiny" "$mnt/small" "$mnt/medium" "$mnt/large"
  for i in $(seq 1 500); do head -c $((RANDOM % 600 + 1)) /dev/urandom >"$mnt/tiny/t$i.txt"; done
  for i in $(seq 1 2000); do
    size=$(( (RANDOM % 60 + 4) * 1024 ))
    mkdir -p "$mnt/small/d$((i % 20))"
    head -c "$size" /dev/urandom >"$mnt/small/d$((i % 20))/s$i.bin"
  done
  for i in $(seq 1 300); do head -c $(( (RANDOM % 1792 + 256) * 1024 )) /dev/urandom >"$mnt/medium/m$i.dat"; done
  for i in $(seq 1 28); do head -c $(( (RANDOM % 32 + 8) * 1048576 )) /dev/urandom >"$mnt/large/l$i.iso"; done
}

if [[ ! -f $image.done ]]; then
  log "making $image (1300 MiB NTFS, about 1 GiB of files) ..."
  rm -f "$image" "$copy"
  truncate -s 1300M "$image"
  mkfs.ntfs -F -Q -q -L bench "$image" >/dev/null 2>&1 || { log "mkfs.ntfs failed"; exit 1; }
  dev=$(losetup -f --show "$image"); LOOPS+=("$dev")
  mkdir -p "$work/fill"
  ntfs-3g "$dev" "$work/fill"; MOUNTS+=("$work/fill")
  fill_volume "$work/fill"
  sync
  umount "$work/fill"; MOUNTS=()
  losetup -d "$dev"; LOOPS=()
  touch "$image.done"
fi
if [[ ! -f $copy || $copy -ot $image.done ]]; then
  log "copying the image for the ntfs-3g mount ..."
  cp --sparse=always "$image" "$copy"
fi

# ---------------------------------------------------------------- the runs
log "kestrum-cli export ..."
mkdir "$work/kestrum"
drop_caches
t0=$(now)
"$cli" export "$image" "$work/kestrum" 2>"$work/kestrum.err" || { cat "$work/kestrum.err" >&2; exit 1; }
t1=$(now)

log "cp -a from an ntfs-3g read-only mount of the copy ..."
dev=$(losetup -r -f --show "$copy"); LOOPS+=("$dev")
mkdir -p "$work/mnt" "$work/cp"
ntfs-3g -o ro "$dev" "$work/mnt"; MOUNTS+=("$work/mnt")
drop_caches
t2=$(now)
cp -a "$work/mnt/." "$work/cp/"
t3=$(now)

# Both must have copied the same files (LostFile is the export's own folder).
bytes_of() { find "$1" -type f -printf '%s\n' | awk '{s += $1} END {printf "%d", s}'; }
files_of() { find "$1" -type f | wc -l; }
kb=$(bytes_of "$work/kestrum"); cb=$(bytes_of "$work/cp")
kf=$(files_of "$work/kestrum"); cf=$(files_of "$work/cp")
if [[ $kb != "$cb" || $kf != "$cf" ]]; then
  log "warning: kestrum wrote $kf files / $kb bytes, cp $cf files / $cb bytes"
fi

awk -v b="$kb" -v f="$kf" -v k0="$t0" -v k1="$t1" -v c0="$t2" -v c1="$t3" 'BEGIN {
  k = k1 - k0; c = c1 - c0
  printf "files %d, data %.1f MB (10^6 bytes)\n", f, b / 1e6
  printf "%-28s %8.2f s %9.1f MB/s\n", "kestrum-cli export", k, b / 1e6 / k
  printf "%-28s %8.2f s %9.1f MB/s\n", "cp -a from ntfs-3g (ro)", c, b / 1e6 / c
  printf "ratio kestrum / cp: %.2fx\n", c / k
}'
[[ -w /proc/sys/vm/drop_caches ]] || echo "(page cache could not be dropped: warm-cache numbers)"
