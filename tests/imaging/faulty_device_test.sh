#!/usr/bin/env bash
# kestrum-cli on a failing disk that the kernel reads: the fixture MBR disk
# (NTFS, FAT32, FAT16, exFAT) served by faulty_disk.py through FUSE, bad
# sector ranges answering EIO (one of them inside a FAT32 file), attached
# as a loop device. GNU ddrescue is the reference: on the same device
# `image` writes the same bad ranges and the same bytes; stopped and run
# again it reads nothing it had rescued (reads counted by the FUSE layer);
# the files outside the bad ranges export byte for byte from the image and
# straight from the device, the file with bad sectors named with their count.
#
# The image is read with O_DIRECT (as `ddrescue -d`), so each bad sector
# fails alone. The bad range inside the file is one aligned 4 KiB page.
#   faulty_device_test.sh KESTRUM_CLI FIXTURE_DIR
set -uo pipefail
cli=${1:?usage: faulty_device_test.sh KESTRUM_CLI FIXTURE_DIR}
fixtures=${2:?}
# The messages compared below are the Chinese ones, whatever the machine's locale.
export KESTRUM_LANG=zh
here=$(cd "$(dirname "$0")" && pwd)
skip() { echo "skipped: $*"; exit 77; }
[ "$(id -u)" -eq 0 ] || skip "needs root (FUSE mount, loop device)"
/usr/bin/python3 -c 'import pyfuse3' 2>/dev/null || skip "python3-pyfuse3 is not installed"
command -v ddrescue >/dev/null || skip "GNU ddrescue (gddrescue) is not installed"
[ -f "$fixtures/disk.img" ] || skip "no fixture disk.img"

work=$(mktemp -d)
mnt=$work/mnt
mkdir -p "$mnt"
fuse_pid=
loop=
cleanup() {
  [ -n "$loop" ] && losetup -d "$loop" 2>/dev/null
  mountpoint -q "$mnt" && { fusermount3 -u "$mnt" 2>/dev/null || umount -l "$mnt"; }
  [ -n "$fuse_pid" ] && { kill "$fuse_pid" 2>/dev/null; wait "$fuse_pid" 2>/dev/null; }
  rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

disk=$work/disk.img
cp --sparse=never "$fixtures/disk.img" "$disk"
sectors=$(( $(stat -c %s "$disk") / 512 ))
fat32=$(awk -F'\t' '$5 == "fat32" {print $3}' "$fixtures/disk.partitions.tsv")
victim="sizes/1048577.bin"
# Eight sectors inside the victim, starting on a 4 KiB boundary of the disk.
inode=$(ifind -o "$fat32" -n "$victim" "$disk")
mapfile -t file_sectors < <(istat -o "$fat32" "$disk" "$inode" | sed -n '/^Sectors:/,$p' | tr ' ' '\n' | grep -E '^[0-9]+$')
inside=
for ((k = ${#file_sectors[@]} / 2; k + 8 < ${#file_sectors[@]}; ++k)); do
  s=$((fat32 + file_sectors[k]))
  if ((s % 8 == 0)) && ((file_sectors[k + 7] == file_sectors[k] + 7)); then inside=$s; victim_offset=$((k * 512)); break; fi
done
[ -n "$inside" ] || { echo "FAIL: no aligned run of 8 sectors in $victim"; exit 1; }
# Long runs in the unallocated gaps (before the first partition, after the
# first extended table, at the end) and the one inside the file.
bad=("64:960" "$inside:8" "198700:1500" "382980:2000")
fuse_args=()
for r in "${bad[@]}"; do fuse_args+=(--bad "$r"); done

attach() {  # attach [--slow FIRST:COUNT:MS]...
  : > "$work/fuse.log"
  /usr/bin/python3 "$here/faulty_disk.py" "$disk" "$mnt" "$work/fuse.log" "${fuse_args[@]}" "$@" &
  fuse_pid=$!
  for _ in $(seq 100); do [ -e "$mnt/disk" ] && break; sleep 0.1; done
  loop=$(losetup -f --show --direct-io=off -r "$mnt/disk") || { echo "FAIL: losetup"; exit 1; }
}
detach() {
  losetup -d "$loop"; loop=
  fusermount3 -u "$mnt"; wait "$fuse_pid" 2>/dev/null; fuse_pid=
}
bad_reads() { grep -c ' eio$' "$work/fuse.log"; }

# The bad sectors as ddrescuelog lists them, and as they were made.
want=$work/want.lst
for r in "${bad[@]}"; do seq "${r%%:*}" $((${r%%:*} + ${r##*:} - 1)); done | sort -n > "$want"
expected=$work/expected.img
cp "$disk" "$expected"
for r in "${bad[@]}"; do
  dd if=/dev/zero of="$expected" bs=512 seek="${r%%:*}" count="${r##*:}" conv=notrunc status=none
done

# ---- the reference: ddrescue -d, once through
attach
ddrescue -d -q "$loop" "$work/ref.img" "$work/ref.map" >/dev/null 2>&1
ref_bad=$(bad_reads)
# ddrescue leaves a bad tail unwritten; the image is as long as the disk.
truncate -s $((sectors * 512)) "$work/ref.img"

# ---- image, stopped halfway (slow reads of the FAT32 partition), then again
detach
attach --slow "$fat32:98304:3"
"$cli" image "$loop" "$work/copy.img" --map "$work/copy.map" 2>"$work/first.err" &
cli_pid=$!
# Stopped (Ctrl-C) once a third of the disk is rescued.
while kill -0 "$cli_pid" 2>/dev/null; do
  sleep 0.5
  [ -s "$work/copy.map" ] && [ "$(ddrescuelog -l+ -b512 "$work/copy.map" 2>/dev/null | wc -l)" -gt $((sectors / 3)) ] && break
done
kill -INT "$cli_pid"
wait "$cli_pid"; first=$?
cp "$work/copy.map" "$work/first.map"
[ "$first" -eq 1 ] || fail "the stopped copy exits 1 (exit $first)"
ddrescuelog -l+ -b512 "$work/first.map" > "$work/first.rescued"
rescued_first=$(wc -l < "$work/first.rescued")
{ [ "$rescued_first" -gt 0 ] && grep -q '^0x[0-9A-F]*  0x[0-9A-F]*  [?*/]$' "$work/first.map"; } ||
  fail "the first run was to stop halfway ($rescued_first sectors rescued)"
first_bad=$(bad_reads)
detach
attach
"$cli" image "$loop" "$work/copy.img" --map "$work/copy.map" --json > "$work/second.json" 2>"$work/second.err" ||
  fail "the resumed copy: $(cat "$work/second.err")"
grep -q '按映射文件继续复制' "$work/second.err" || fail "the second run did not resume: $(cat "$work/second.err")"
# No read of the second run touches a sector the first one rescued.
awk '{ first = int($1 / 512); last = int(($1 + $2 - 1) / 512); for (s = first; s <= last; ++s) print s }' \
  "$work/fuse.log" | sort -u > "$work/second.read"
reread=$(comm -12 <(sort "$work/first.rescued") "$work/second.read" | wc -l)
[ "$reread" -eq 0 ] || fail "$reread rescued sectors read again after resuming"
ours_bad=$((first_bad + $(bad_reads)))

# ---- the map and the image against ddrescue's and against the source
ddrescuelog -l- -b512 "$work/copy.map" > "$work/ours.lst"
ddrescuelog -l- -b512 "$work/ref.map" > "$work/ref.lst"
cmp -s "$work/ours.lst" "$want" || fail "the map's bad sectors are not the bad ranges"
cmp -s "$work/ours.lst" "$work/ref.lst" || fail "the map's bad sectors differ from ddrescue's"
cmp -s "$work/copy.img" "$work/ref.img" || fail "the image differs from ddrescue's"
cmp -s "$work/copy.img" "$expected" || fail "the image is not the source with zeros at the bad sectors"
grep -q '"badSectors":4468,"badAreas":4' "$work/second.json" || fail "summary: $(cat "$work/second.json")"
[ "$ours_bad" -le "$ref_bad" ] || fail "reads of bad sectors: $ours_bad, ddrescue $ref_bad"
cmp -s "$disk" "$fixtures/disk.img" || fail "the source changed"

# ---- exports from the image
manifest_check() {  # manifest_check MANIFEST OUTDIR LABEL [VICTIM]
  local state kind path size mtime sha rest got
  while IFS=$'\t' read -r state kind path size mtime sha rest; do
    [ "$state" = live ] && [ "$kind" = file ] || continue
    [ "$path" = "${4:-}" ] && continue
    got=$(sha256sum < "$2/$path" 2>/dev/null | cut -d' ' -f1)
    [ "$got" = "$sha" ] || fail "$3: $path differs"
  done < <(tail -n +2 "$1")
}
# The victim as it should come back: the source's bytes, zeros at the bad sectors.
fat32_number=$(awk -F'\t' '$5 == "fat32" {print NR - 1}' <(awk -F'\t' 'NR == 1 || $7 != "-"' "$fixtures/disk.partitions.tsv"))
mkdir "$work/clean"
"$cli" export "$disk" --partition "$fat32_number" "$work/clean" "$victim" >/dev/null 2>&1
dd if=/dev/zero of="$work/clean/$(basename "$victim")" bs=512 seek=$((victim_offset / 512)) count=8 \
  conv=notrunc status=none

# export_all SOURCE LABEL NAMED: every volume of SOURCE exported, the files
# outside the bad ranges byte for byte, the victim with zeros exactly at its
# bad sectors; NAMED 1: the export names it with their count (it read them
# failing), and no other file.
export_all() {
  local source=$1 label=$2 named=$3 n=0 out
  while IFS=$'\t' read -r number type start count fs volume_label manifest; do
    [ "$manifest" = - ] && continue
    n=$((n + 1))
    out=$work/from-$label-$n
    mkdir "$out"
    # What the export says of its files goes to stderr, beside its progress.
    "$cli" export "$source" --partition "$n" "$out" >/dev/null 2>"$work/export.err" ||
      fail "export of volume $n from the $label: $(cat "$work/export.err")"
    manifest_check "$fixtures/$manifest" "$out" "from the $label, volume $n ($fs)" "$([ "$fs" = fat32 ] && echo "$victim")"
    if [ "$fs" = fat32 ]; then
      cmp -s "$work/clean/$(basename "$victim")" "$out/$victim" ||
        fail "$victim from the $label is not the source's bytes with zeros at the bad sectors"
      [ "$named" = 0 ] || tr '\r' '\n' <"$work/export.err" | grep -qxF "含有无法读取的扇区（8 个，以零填充）：$victim" ||
        fail "the export from the $label does not name $victim with its 8 bad sectors: $(cat "$work/export.err")"
    elif grep -q '含有无法读取的扇区' "$work/export.err"; then
      fail "volume $n ($fs) from the $label: $(cat "$work/export.err")"
    fi
  done < <(tail -n +2 "$fixtures/disk.partitions.tsv")
}
export_all "$work/copy.img" image 0
# Straight from the failing device: a read through its page cache fails the
# bad sectors' whole read-ahead window, so the sectors are retried alone past
# the cache and nothing good beside them is lost.
export_all "$loop" device 1
detach

echo "reads of bad sectors: image $ours_bad (stopped once), ddrescue $ref_bad"
[ "$failures" -eq 0 ] || { echo "$failures failure(s)"; exit 1; }
echo "ok"
