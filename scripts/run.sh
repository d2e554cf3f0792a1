#!/usr/bin/env bash
# Builds the program and starts it on the given devices or images, or on the
# bundled demo disk image when none is given.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
ensure_packages "${BUILD_PACKAGES[@]}" "${FIXTURE_PACKAGES[@]}"

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build

if [ $# -eq 0 ]; then
  tests/fixtures/build_fixtures.sh build/demo --only demo >&2
  set -- build/demo/demo.img
fi
exec build/src/cli/kestrum-cli volumes "$@"
