#!/usr/bin/env bash
# Deep-scan speed and memory, and the file search beside PhotoRec.
#
# The image (cached in build-bench/bench-images): a 2 GiB MBR disk with one
# NTFS partition filled through ntfs-3g with real files made by the tools the
# tests use (JPEG, PNG, GIF, BMP by ImageMagick, PDF by Ghostscript, ZIP by
# zip, MP4 by ffmpeg) and random filler.
#   1. `kestrum-cli scan` of the whole disk beside `dd bs=4M` of the image:
#      cold, five runs of each taken in turn, the page cache dropped before
#      each (best, and the medians apart), and warm, best of three each.
#   2. Peak memory (GNU time): bytes per finding beyond the run of a scan of
#      an empty image (program, 32 MiB ring).
#   3. A whole-disk search with export of every search-file file beside
#      `photorec /d OUT /cmd IMAGE search`, cold: times, and how many of the
#      written files each gives back byte for byte (and, for kestrum, how many
#      come back as the start of a longer file: a file found by content runs
#      up to the next finding).
# Not a test: run it on demand, as root, on a quiet machine.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
ensure_packages "${BUILD_PACKAGES[@]}" ntfs-3g fdisk imagemagick ghostscript zip ffmpeg testdisk time

. bench/cli.sh
images=$PWD/build-bench/bench-images
img=$images/scan-2g.img
hashes=$images/scan-2g.sha256
mkdir -p "$images"

readonly MiB=$((1024 * 1024))

make_files() {
  local dir=$1 i
  mkdir -p "$dir"
  # Distinct content in every file, so that a recovered file names its original.
  for i in $(seq 1 300); do
    echo "convert -size $((320 + i * 3))x$((240 + i * 2)) xc: +noise Random -quality $((60 + i % 35)) $dir/photo$i.jpg"
  done
  for i in $(seq 1 150); do
    echo "convert -size $((64 + i * 4))x$((48 + i * 3)) plasma:fractal $dir/chart$i.png"
  done
  for i in $(seq 1 40); do
    echo "convert -size $((100 + i * 5))x$((80 + i * 4)) plasma:fractal $dir/anim$i.gif"
    echo "convert -size $((200 + i * 3))x$((150 + i * 2)) gradient:red-blue -fill white -draw 'circle $i,$i $((i + 40)),$i' $dir/scan$i.bmp"
  done
  for i in $(seq 1 100); do
    echo "gs -q -dNOPAUSE -dBATCH -sDEVICE=pdfwrite -o $dir/report$i.pdf -c '/Helvetica findfont 14 scalefont setfont 72 720 moveto (Report $i $RANDOM) show showpage'"
  done
  for i in $(seq 1 60); do
    echo "head -c $((i * 20000)) /dev/urandom | base64 >$dir/notes$i.tmp && zip -q -j $dir/archive$i.zip $dir/notes$i.tmp && rm $dir/notes$i.tmp"
  done
  for i in $(seq 1 20); do
    echo "ffmpeg -loglevel error -f lavfi -i testsrc=duration=$((1 + i % 4)):size=320x240:rate=25 -f lavfi -i sine=frequency=$((200 + i * 20)):duration=$((1 + i % 4)) -pix_fmt yuv420p -shortest $dir/clip$i.mp4"
  done
}

make_image() {
  local work mnt
  work=$(mktemp -d)
  mnt=$work/mnt
  trap 'umount "$mnt" 2>/dev/null || true; rm -rf "$work"; trap - RETURN' RETURN
  echo "making $img (once)" >&2
  make_files "$work/files" | xargs -d '\n' -P "$(nproc)" -I{} sh -c '{}'
  # digest, size, digest of the first 512 bytes, and name of every real file
  (cd "$work/files" && for f in *; do
    echo "$(sha256sum <"$f" | cut -d' ' -f1) $(stat -c %s "$f") $(head -c 512 "$f" | sha256sum | cut -d' ' -f1) $f"
  done) >"$work/real.sha256"
  # Random filler between and after the real files, 1.2 GiB in 40 files.
  for i in $(seq 1 40); do head -c $((30 * MiB)) /dev/urandom >"$work/files/filler$i.bin"; done
  # The partition: 2 GiB less the first MiB, NTFS with its hidden-sector field set.
  truncate -s $((2048 * MiB - MiB)) "$work/part.img"
  mkfs.ntfs -q -F -Q -p 2048 -H 255 -S 63 -L BENCH "$work/part.img" >/dev/null
  mkdir -p "$mnt"
  ntfs-3g "$work/part.img" "$mnt"
  # Interleave pictures and filler so that files lie all over the volume.
  local f
  for f in "$work"/files/*; do cp "$f" "$mnt/"; done
  umount "$mnt"
  truncate -s "$MiB" "$work/head.img"
  cat "$work/head.img" "$work/part.img" >"$img.part"
  printf 'label: dos\n2048,,7,*\n' | sfdisk -q "$img.part"
  mv "$work/real.sha256" "$hashes"
  mv "$img.part" "$img"
}
[ -s "$img" ] && [ -s "$hashes" ] || make_image
bytes=$(stat -c %s "$img")
written=$(wc -l <"$hashes")

. bench/timing.sh
rate() { awk "BEGIN{printf \"%.0f\", $bytes / $MiB / $1}"; }

echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
# 1. Speed.
dd_run() { dd if="$img" of=/dev/null bs=4M; }
scan_run() { "$cli" scan "$img"; }
read -r dd_cold dd_cold_median sc_cold sc_cold_median <<<"$(cold_in_turn 5 dd_run scan_run)"
dd_warm=$(best dd if="$img" of=/dev/null bs=4M)
sc_warm=$(best "$cli" scan "$img")
printf '%-6s %8s %8s %10s %10s %7s\n' cache dd_s scan_s dd_MB/s scan_MB/s ratio
for row in "cold $dd_cold $sc_cold" "warm $dd_warm $sc_warm"; do
  read -r name d c <<<"$row"
  printf '%-6s %8s %8s %10s %10s %7s\n' "$name" "$d" "$c" "$(rate "$d")" "$(rate "$c")" \
    "$(awk "BEGIN{printf \"%.2f\", $d / $c}")"
done
echo "cold medians: dd $dd_cold_median s, scan $sc_cold_median s," \
  "ratio $(awk "BEGIN{printf \"%.2f\", $dd_cold_median / $sc_cold_median}")"

# 2. Memory per finding: beyond a scan of an empty image of the same size
# (program, 32 MiB ring, block map), on the bench image and on an image whose
# every eighth sector begins a JPEG (a file finding, and a file of the
# search-file volume, every 4 KiB).
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Zeros written, not a sparse file: the scan reads every block of it, as it
# does the other images, and so fills its ring (whose memory is touched
# only by reads); a sparse file's holes pass without a read.
head -c "$bytes" /dev/zero >"$work/empty.img"
python3 -c "
import sys
sector = b'\xff\xd8\xff\xe0\x00\x10JFIF\x00' + bytes(501)
with open(sys.argv[1], 'wb') as f:
    f.write((sector + bytes(512 * 7)) * (512 * 1024 * 1024 // 4096))
" "$work/dense.img"
truncate -s "$bytes" "$work/dense.img"
base_kib=$(peak_kib "$cli" scan "$work/empty.img")
for name in image dense; do
  file=$img
  [ "$name" = dense ] && file=$work/dense.img
  n=$("$cli" classify "$file" | wc -l)
  kib=$(peak_kib "$cli" scan "$file")
  echo "$name: findings $n; peak RSS $((kib / 1024)) MiB, empty-image scan $((base_kib / 1024)) MiB;" \
    "$(awk "BEGIN{printf \"%.0f\", ($kib - $base_kib) * 1024 / $n}") bytes per finding"
done

# 3. Search and export beside PhotoRec.
ks=$(search_export_seconds "$cli" "$img" "$work/kestrum")
pr=$(photorec_seconds "$img" "$work/photorec")

# Byte for byte: an output file whose hash is a written file's. Prefix: a
# written file that is the start of some output file.
compare() {
  python3 - "$hashes" "$1" <<'EOF'
import hashlib, os, sys
sizes, by_head = {}, {}
for line in open(sys.argv[1]):
    digest, size, head, _ = line.split(None, 3)
    sizes[digest] = int(size)
    by_head.setdefault(head, []).append(digest)
exact, prefixes, outputs = set(), set(), 0
for root, _, files in os.walk(sys.argv[2]):
    for f in files:
        outputs += 1
        data = open(os.path.join(root, f), 'rb').read()
        if hashlib.sha256(data).hexdigest() in sizes:
            exact.add(hashlib.sha256(data).hexdigest())
        for digest in by_head.get(hashlib.sha256(data[:512]).hexdigest(), []):
            if len(data) >= sizes[digest] and hashlib.sha256(data[:sizes[digest]]).hexdigest() == digest:
                prefixes.add(digest)
print(outputs, len(exact), len(prefixes))
EOF
}
read -r k_out k_exact k_prefix <<<"$(compare "$work/kestrum")"
read -r p_out p_exact p_prefix <<<"$(compare "$work/photorec")"
printf '%-9s %9s %8s %12s %14s\n' tool seconds outputs byte_exact written_prefix
printf '%-9s %9s %8s %12s %14s\n' kestrum "$ks" "$k_out" "$k_exact/$written" "$k_prefix/$written"
printf '%-9s %9s %8s %12s %14s\n' photorec "$pr" "$p_out" "$p_exact/$written" "$p_prefix/$written"
echo "($((bytes / MiB)) MiB image; ratio = scan speed / dd speed; cold = page cache dropped before each" \
  "run$([ "$can_drop" = 1 ] || echo ' (could not drop: all runs warm)'), best of 5 taken in turn; warm best of 3;" \
  "search = scan + export of every file found by content; load after: $(cut -d' ' -f1-3 /proc/loadavg))"
