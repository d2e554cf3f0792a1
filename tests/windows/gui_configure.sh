#!/usr/bin/env bash
# The desktop program's Windows build configures: CMake with the mingw-w64
# toolchain and a stand-in for Qt 6's package (qt6_stub) sets up the GUI's
# targets. It checks the CMake logic, not Qt: what the GUI asks of Qt, that
# kestrum.exe is linked as a Windows GUI program, and its translations.
#   gui_configure.sh SOURCE_DIR
set -uo pipefail
src=$(realpath "${1:?usage: gui_configure.sh SOURCE_DIR}")
command -v x86_64-w64-mingw32-g++-posix >/dev/null || { echo "no mingw-w64 (scripts/deps.sh WINDOWS_PACKAGES)"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
faults=0
fail() { echo "FAIL: $*"; faults=$((faults + 1)); }

log=$work/qt-asked
if ! cmake -S "$src" -B "$work/build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$src/cmake/mingw-w64.cmake" \
     -DCMAKE_BUILD_TYPE=Release -DQt6_DIR="$src/tests/windows/qt6_stub" -DKESTRUM_QT_STUB_LOG="$log" \
     -DKESTRUM_BUILD_GUI=ON >"$work/cmake.out" 2>&1; then
  fail "configure"; tail -20 "$work/cmake.out"
fi
grep -q 'not found: the desktop program is not built' "$work/cmake.out" && fail "the GUI was left out"
for component in Widgets LinguistTools; do
  grep -qx "component $component" "$log" 2>/dev/null || fail "Qt6 $component was not asked for"
done
grep -q '^translations kestrum_gui TS_FILES;translations/kestrum_en.ts' "$log" 2>/dev/null ||
  fail "no English translations for kestrum_gui"
ninja=$work/build/build.ninja
grep -q '^build src/gui/kestrum\.exe' "$ninja" 2>/dev/null || fail "no kestrum.exe target"
# A Windows GUI program: no console window beside it.
awk '/^build src\/gui\/kestrum\.exe/ {on = 1} on && /LINK_FLAGS/ {print; exit}' "$ninja" 2>/dev/null |
  grep -q -- '-mwindows' || fail "kestrum.exe is not linked for the Windows GUI subsystem"
grep -q 'kestrum-cli\.exe' "$ninja" 2>/dev/null || fail "no kestrum-cli.exe target beside it"

echo "$faults fault(s)"
[ "$faults" -eq 0 ]
