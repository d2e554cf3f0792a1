#!/usr/bin/env bash
# The Windows build under Wine against the Linux build on the fixture images:
# the same listings, the same exported trees byte for byte, the same repair
# and undo bytes. Paths the two print differently are left out of the
# comparison (JSON of volumes names the disk by its path).
#   wine_parity.sh LINUX_CLI WINDOWS_EXE FIXTURE_DIR
set -uo pipefail
linux=${1:?usage: wine_parity.sh LINUX_CLI WINDOWS_EXE FIXTURE_DIR}
windows=${2:?}
fixtures=${3:?}
[ -f "$fixtures/disk.img" ] || { echo "no fixture images in $fixtures (built as root)"; exit 77; }
work=$(mktemp -d)
export WINEPREFIX=$work/prefix WINEDEBUG=-all TZ=UTC
# This prefix's wine server goes with it.
trap '/usr/lib/wine/wineserver -k 2>/dev/null; rm -rf "$work"' EXIT
wine=(/usr/lib/wine/wine64 "$windows")
faults=0
fail() { echo "FAIL: $*"; faults=$((faults + 1)); }

# Both from the fixture folder with relative names, so the texts hold the
# same paths.
compare() {
  (cd "$fixtures" && "$linux" "$@") >"$work/l.out" 2>"$work/l.err"; local lr=$?
  (cd "$fixtures" && "${wine[@]}" "$@") >"$work/w.out" 2>"$work/w.err"; local wr=$?
  if [ "$lr" != "$wr" ] || ! cmp -s "$work/l.out" "$work/w.out"; then
    fail "$* (exit $lr/$wr)"; diff "$work/l.out" "$work/w.out" | head -5; head -3 "$work/w.err"
  fi
}

for image in ntfs.img fat32.img fat16.img exfat.img exfatdel.img; do
  compare ls "$image"
  compare ls --deleted "$image"
  compare ls --json --deleted "$image"
done
compare volumes disk.img
compare ls --partition 2 disk.img
compare classify --count 400 disk.img
compare classify --json --from 2048 --count 64 disk.img
compare scan fat16.img
compare scan --json exfat.img

# Exports of one volume into two folders: the same tree, byte for byte.
for image in ntfs.img fat32.img exfat.img; do
  mkdir -p "$work/l-$image" "$work/w-$image"
  (cd "$fixtures" && "$linux" export "$image" "$work/l-$image") >/dev/null 2>&1 || fail "linux export $image"
  (cd "$work" && "${wine[@]}" export "$fixtures/$image" "w-$image") >/dev/null 2>&1 || fail "windows export $image"
  # The reports name the target as each system writes it.
  diff -r -x '恢复报告.csv' -x recovery-report.jsonl "$work/l-$image" "$work/w-$image" >/dev/null ||
    fail "exported trees of $image differ"
done

# Repair and undo on copies of the fixture disk whose MBR and EBR were zeroed:
# the same bytes after each step, and the Windows build keeps its history in
# %LOCALAPPDATA%\Kestrum of the prefix.
mkdir -p "$work/l-repair" "$work/w-repair"
cp --sparse=always "$fixtures/disk.img" "$work/l-repair/lost.img"
for table in 0 198656; do
  dd if=/dev/zero of="$work/l-repair/lost.img" bs=1 seek=$((table * 512 + 446)) count=66 conv=notrunc status=none
done
cp --sparse=always "$work/l-repair/lost.img" "$work/w-repair/lost.img"
cp --sparse=always "$work/l-repair/lost.img" "$work/lost.img"
run_both() {
  (cd "$work/l-repair" && "$linux" "$@" --history history.dat) >"$work/l.out" 2>&1 || fail "linux $*"
  (cd "$work/w-repair" && "${wine[@]}" "$@") >"$work/w.out" 2>&1 || { fail "windows $*"; head -3 "$work/w.out"; }
}
(cd "$work/l-repair" && "$linux" scan --lost-partitions --json --state scan.kfp lost.img) >"$work/l.out" 2>/dev/null
(cd "$work/w-repair" && "${wine[@]}" scan --lost-partitions --json --state scan.kfp lost.img) >"$work/w.out" 2>/dev/null
cmp -s "$work/l.out" "$work/w.out" || fail "scan --lost-partitions differs"
found=$(wc -l <"$work/l.out")
[ "$found" -ge 4 ] || fail "scan --lost-partitions found $found volume(s)"
select=$(seq -s, 0 $((found - 1)))
run_both repair lost.img --scan scan.kfp --select "$select" --yes
cmp "$work/l-repair/lost.img" "$work/w-repair/lost.img" || fail "repaired images differ"
cmp -s "$work/l-repair/lost.img" "$work/lost.img" && fail "repair wrote nothing"
history=$(find "$WINEPREFIX/drive_c/users" -path '*/AppData/Local/Kestrum/FixPartTable.dat' 2>/dev/null)
[ -n "$history" ] || fail "no history under %LOCALAPPDATA%\\Kestrum of the prefix"
run_both undo lost.img --record 0 --yes
cmp "$work/l-repair/lost.img" "$work/w-repair/lost.img" || fail "images after undo differ"
cmp "$work/w-repair/lost.img" "$work/lost.img" || fail "undo did not give back the damaged disk"

echo "$faults difference(s)"
[ "$faults" -eq 0 ]
