#!/usr/bin/env bash
# Builds everything with the sanitizers and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
ensure_packages "${BUILD_PACKAGES[@]}" "${FIXTURE_PACKAGES[@]}" "${GUI_PACKAGES[@]}" "${TEST_PACKAGES[@]}" \
  "${WINDOWS_PACKAGES[@]}" "${PACKAGE_PACKAGES[@]}"
# The Windows build, compared with this one under Wine by the suite, and the
# Windows side's own tests.
windows_cli=$PWD/$(scripts/build-windows.sh --tests | tail -1)
windows_tests=$PWD/build-windows/tests/windows/kestrum_windows_tests.exe

# A compiler cache, where the machine has one, makes rebuilds of several
# checkouts of the tree cheap; nothing depends on it.
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=Debug "${launcher[@]}" \
  -DKESTRUM_SANITIZE=ON -DKESTRUM_FAULT_INJECTION=ON -DKESTRUM_BUILD_TESTS=ON -DKESTRUM_BUILD_GUI=ON \
  -DKESTRUM_WINDOWS_CLI="$windows_cli" -DKESTRUM_WINDOWS_TESTS="$windows_tests" >/dev/null
cmake --build build-test
ctest --test-dir build-test --output-on-failure -j "$(nproc)" "$@"
