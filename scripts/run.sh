#!/usr/bin/env bash
# Builds the desktop program and starts it with the given devices or disk
# images added as disks, or with the bundled demo disk image when none is
# given. Without a display it shows their volumes with kestrum-cli instead.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
ensure_packages "${BUILD_PACKAGES[@]}" "${FIXTURE_PACKAGES[@]}" "${GUI_PACKAGES[@]}"

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTRUM_BUILD_GUI=ON >/dev/null
cmake --build build

if [ $# -eq 0 ]; then
  tests/fixtures/build_fixtures.sh build/demo --only demo >&2
  set -- build/demo/demo.img
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "run.sh: no display (neither DISPLAY nor WAYLAND_DISPLAY is set), so the desktop program" \
       "cannot open its window; these are the volumes it would list:" >&2
  exec build/src/cli/kestrum-cli volumes "$@"
fi
exec build/src/gui/kestrum "$@"
