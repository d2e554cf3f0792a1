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

echo "$faults difference(s)"
[ "$faults" -eq 0 ]
