#!/usr/bin/env bash
# Files found by content beside PhotoRec, on a disk whose file system is gone.
#
# The image (cached in build-bench/bench-images): a 2 GiB MBR disk with one
# NTFS partition, filled through ntfs-3g with SETS sets of the files
# tests/scan/file_end_samples.sh makes with the real tools (66 formats a set,
# each set different file by file) between random filler, then the file
# system's metadata zeroed: both boot sectors and every MFT and index
# record, so nothing but the files' content is left.
#   `kestrum-cli scan` and `export` of the search-file volume beside
#   `photorec /d OUT /cmd IMAGE search`, page cache dropped before each:
#   times, files written back byte for byte, and the bytes each writes.
# Not a test: run it on demand, as root, on a quiet machine.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
ensure_packages "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}" ntfs-3g fdisk testdisk
SETS=${SETS:-8}

cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTRUM_BUILD_GUI=OFF >/dev/null
cmake --build build-bench --target kestrum-cli >/dev/null
cli=$PWD/build-bench/src/cli/kestrum-cli
images=$PWD/build-bench/bench-images
img=$images/carve-2g-$SETS.img
hashes=$images/carve-2g-$SETS.sha256
mkdir -p "$images"
readonly MiB=$((1024 * 1024))

make_image() {
  local work mnt set f
  work=$(mktemp -d)
  mnt=$work/mnt
  trap 'umount "$mnt" 2>/dev/null || true; rm -rf "$work"; trap - RETURN' RETURN
  echo "making $img (once)" >&2
  mkdir -p "$work/files"
  for set in $(seq 0 $((SETS - 1))); do
    mkdir -p "$work/set$set"
    for f in $(sh tests/scan/file_end_samples.sh "$work/set$set" "$set" 2>/dev/null); do
      cp "$work/set$set/$f" "$work/files/$set-$f"
    done
    rm -rf "$work/set$set"
  done
  # digest and size of every real file
  (cd "$work/files" && for f in *; do echo "$(sha256sum <"$f" | cut -d' ' -f1) $(stat -c %s "$f") $f"; done) \
    >"$work/real.sha256"
  for f in $(seq 1 30); do head -c $((30 * MiB)) /dev/urandom >"$work/files/filler$f.bin"; done
  truncate -s $((2048 * MiB - MiB)) "$work/part.img"
  mkfs.ntfs -q -F -Q -p 2048 -H 255 -S 63 -L CARVE "$work/part.img" >/dev/null
  mkdir -p "$mnt"
  ntfs-3g "$work/part.img" "$mnt"
  for f in $(ls "$work/files" | shuf --random-source=<(yes)); do cp "$work/files/$f" "$mnt/"; done
  umount "$mnt"
  # The metadata gone: boot sectors, MFT records, index records.
  python3 - "$work/part.img" <<'PY'
import mmap, sys
with open(sys.argv[1], "r+b") as f:
    m = mmap.mmap(f.fileno(), 0)
    m[0:512] = bytes(512)
    m[len(m) - 512:] = bytes(512)
    for magic, size in ((b"FILE", 1024), (b"INDX", 4096)):
        at = m.find(magic)
        while at >= 0:
            if at % 512 == 0:
                m[at:at + size] = bytes(size)
            at = m.find(magic, at + 1)
    m.flush()
PY
  truncate -s "$MiB" "$work/head.img"
  cat "$work/head.img" "$work/part.img" >"$img.part"
  printf 'label: dos\n2048,,7,*\n' | sfdisk -q "$img.part"
  mv "$work/real.sha256" "$hashes"
  mv "$img.part" "$img"
}
[ -s "$img" ] && [ -s "$hashes" ] || make_image
written=$(wc -l <"$hashes")

. bench/timing.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
ks=$(search_export_seconds "$cli" "$img" "$work/kestrum")
pr=$(photorec_seconds "$img" "$work/photorec")

# Files written back byte for byte (by digest), the bytes written, and
# which formats each gave back whole.
compare() {
  python3 - "$hashes" "$1" <<'EOF'
import hashlib, os, sys
names = {}
for line in open(sys.argv[1]):
    digest, size, name = line.split(None, 2)
    names[digest] = name.strip()
whole, outputs, total = set(), 0, 0
for root, _, files in os.walk(sys.argv[2]):
    for f in files:
        path = os.path.join(root, f)
        if f.endswith(".xml") or f == "report.xml":
            continue
        outputs += 1
        total += os.path.getsize(path)
        digest = hashlib.sha256(open(path, "rb").read()).hexdigest()
        if digest in names:
            whole.add(digest)
kinds = {}
for digest in whole:
    kind = names[digest].split("-", 1)[1]
    kinds[kind] = kinds.get(kind, 0) + 1
print(outputs, len(whole), total, " ".join("%s:%d" % kv for kv in sorted(kinds.items())))
EOF
}
read -r k_out k_whole k_bytes k_kinds <<<"$(compare "$work/kestrum")"
read -r p_out p_whole p_bytes p_kinds <<<"$(compare "$work/photorec")"
printf '%-9s %9s %8s %12s %14s\n' tool seconds outputs whole_files bytes_written
printf '%-9s %9s %8s %12s %14s\n' kestrum "$ks" "$k_out" "$k_whole/$written" "$k_bytes"
printf '%-9s %9s %8s %12s %14s\n' photorec "$pr" "$p_out" "$p_whole/$written" "$p_bytes"
echo "bytes written, kestrum / photorec: $(awk "BEGIN{printf \"%.2f\", $k_bytes / $p_bytes}")"
echo "whole by kestrum, per file name: $k_kinds"
echo "whole by photorec, per file name: $p_kinds"
echo "(scan + export of every file found by content, and PhotoRec's search, each after dropping the page" \
  "cache$([ "$can_drop" = 1 ] || echo ' (could not drop: warm)'); load after: $(cut -d' ' -f1-3 /proc/loadavg))"
