#!/usr/bin/env bash
# The Windows side's tests under Wine, in a prefix of their own: the test
# program (kestrum_windows_tests.exe), then what reaches a Linux reader of the
# programs' output: lines printed by the .exe arrive as UTF-8 bytes, Chinese
# and non-BMP arguments come through whole, and kestrum-cli.exe's Chinese
# message names a Chinese file as given; a repair of a volume is refused.
#   run_unit_tests.sh TESTS_EXE CLI_EXE
set -uo pipefail
tests=$(realpath "${1:?usage: run_unit_tests.sh TESTS_EXE CLI_EXE}")
cli=$(realpath "${2:?}")
work=$(mktemp -d)
# The arguments go to Wine in the locale's encoding.
export WINEPREFIX=$work/prefix WINEDEBUG=-all LC_ALL=C.UTF-8
trap '/usr/lib/wine/wineserver -k 2>/dev/null; rm -rf "$work"' EXIT
wine=/usr/lib/wine/wine64
faults=0
fail() { echo "FAIL: $*"; faults=$((faults + 1)); }
cd "$work" || exit 1

"$wine" "$tests" || fail "kestrum_windows_tests.exe"

printf '恢复的文件\n\xf0\xa0\x80\x80 𝄞.jpg\n' >expected
"$wine" "$tests" --child print 恢复的文件 "𠀀 𝄞.jpg" >printed 2>&1 || fail "--child print exited $?"
cmp -s expected printed || { fail "printed lines are not the UTF-8 bytes given"; od -c printed | head -5; }

KESTRUM_LANG=zh "$wine" "$cli" ls 不存在的镜像.img >/dev/null 2>cli.err
status=$?
[ "$status" = 1 ] || fail "kestrum-cli.exe ls of a missing image exited $status"
grep -qF '无法打开镜像文件: ' cli.err && grep -qF '不存在的镜像.img（' cli.err ||
  { fail "kestrum-cli.exe's message is not the UTF-8 text"; od -c cli.err | head -5; }

# A volume named as the DISK of a repair is refused before anything is opened for writing.
KESTRUM_LANG=zh "$wine" "$cli" repair '\\.\C:' --gpt-from-backup --yes >/dev/null 2>repair.err
status=$?
[ "$status" = 1 ] && grep -qF '请给出整个磁盘，而不是其中的分区：' repair.err ||
  { fail 'repair of \\.\C: was not refused as a partition'" (exit $status)"; head -3 repair.err; }

echo "$faults fault(s)"
[ "$faults" -eq 0 ]
