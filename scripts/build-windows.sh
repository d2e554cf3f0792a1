#!/usr/bin/env bash
# Cross-builds kestrum-cli.exe for 64-bit Windows with mingw-w64 into
# build-windows/ (static: it needs no DLL beside it). The desktop program is
# not built this way (no Qt for mingw on Debian); see the README. With
# --tests, the Windows side's tests too (tests/windows; the suite runs them
# under Wine). The last line printed is the program's path.
#   scripts/build-windows.sh [--tests] [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
ensure_packages "${WINDOWS_PACKAGES[@]}"
targets=(kestrum-cli)
tests=OFF
if [ "${1:-}" = --tests ]; then
  targets+=(kestrum_windows_tests)
  tests=ON
  shift
fi
build=${1:-build-windows}
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release \
  "${launcher[@]}" -DKESTRUM_BUILD_GUI=OFF -DKESTRUM_BUILD_TESTS=OFF -DKESTRUM_BUILD_WINDOWS_TESTS=$tests >/dev/null
cmake --build "$build" --target "${targets[@]}"
echo "$build/src/cli/kestrum-cli.exe"
