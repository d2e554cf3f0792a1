#!/usr/bin/env bash
# Builds the benchmark volumes of the folder layout: FILES small files spread
# evenly over FOLDERS folders, written through the real file-system tools
# (ntfs-3g for NTFS, mtools for FAT32, exfat-fuse for exFAT). Cached: an image
# is made again only when this script or the counts change. Each file holds
# one short line, or with MAX_SIZE=N in the environment a size spread over
# 0..N bytes (file n: n * 7919 mod (N + 1)), made of its line repeated.
#   [MAX_SIZE=N] make_folder_tree.sh OUTDIR FILES FOLDERS fs...
set -euo pipefail
out=${1:?usage: make_folder_tree.sh OUTDIR FILES FOLDERS fs...}; files=${2:?}; folders=${3:?}
shift 3
[ "$(id -u)" -eq 0 ] || { echo "make_folder_tree: needs root (loop devices, FUSE)" >&2; exit 1; }
mkdir -p "$out"
max_size=${MAX_SIZE:-}
key=$( { sha256sum <"$0"; echo "$files $folders $max_size"; } | sha256sum | cut -c1-16)
work=$(mktemp -d)
mnt=$work/mnt
loop=""
cleanup() {
  mountpoint -q "$mnt" 2>/dev/null && { umount "$mnt" 2>/dev/null || umount -l "$mnt"; }
  [ -n "$loop" ] && losetup -d "$loop" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

stage=$work/tree
stage_tree() {
  [ -d "$stage" ] && return
  python3 - "$stage" "$files" "$folders" "$max_size" <<'PY'
import os, sys
root, files, folders = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
max_size = int(sys.argv[4]) if sys.argv[4] else None
per = -(-files // folders)
for n in range(files):
    d = os.path.join(root, "d%04d" % (n // per))
    if n % per == 0:
        os.makedirs(d)
    line = "file %06d\n" % n
    if max_size is not None:
        size = n * 7919 % (max_size + 1)
        line = (line * (size // len(line) + 1))[:size]
    with open(os.path.join(d, "f%06d.txt" % n), "w") as f:
        f.write(line)
PY
}

# Enough room for the files' clusters and metadata, whatever the cluster size.
size_mib=$(( files * 9 / 1024 + 256 ))

for fs in "$@"; do
  img=$out/$fs.img
  if [ -f "$img" ] && [ "$(cat "$img.key" 2>/dev/null)" = "$key" ]; then continue; fi
  stage_tree
  rm -f "$img" "$img.key"
  truncate -s "${size_mib}M" "$img"
  echo "make_folder_tree: writing $files files in $folders folders to $fs" >&2
  case $fs in
    ntfs)
      mkntfs -F -Q -q "$img" 2>/dev/null  # it warns that an image has no geometry
      mkdir -p "$mnt"; ntfs-3g "$img" "$mnt"
      cp -r "$stage"/. "$mnt"/
      umount "$mnt" ;;
    exfat)
      mkfs.exfat -c 4K "$img" >/dev/null  # the default 32 KiB clusters would not hold them
      loop=$(losetup -f --show "$img")
      mkdir -p "$mnt"; mount.exfat-fuse "$loop" "$mnt"
      cp -r "$stage"/. "$mnt"/
      umount "$mnt"; losetup -d "$loop"; loop="" ;;
    fat32)
      mkfs.vfat -F 32 "$img" >/dev/null
      MTOOLS_SKIP_CHECK=1 mcopy -s -Q -i "$img" "$stage"/* ::/ ;;
    *) echo "make_folder_tree: unknown file system $fs" >&2; exit 2 ;;
  esac
  echo "$key" >"$img.key"
done
