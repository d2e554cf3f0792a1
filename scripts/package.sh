#!/usr/bin/env bash
# Builds the Debian package: a release build with Debian's hardening flags in
# build-package/, then CPack, which finds the shared-library dependencies with
# dpkg-shlibdeps.
#
#   scripts/package.sh [OUTDIR]     -> OUTDIR/kestrum_VERSION_amd64.deb (default: .)
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
ensure_packages "${BUILD_PACKAGES[@]}" "${PACKAGE_PACKAGES[@]}"

out=$(mkdir -p "${1:-.}" && cd "${1:-.}" && pwd)
build=${KESTRUM_PACKAGE_BUILD:-build-package}
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
# -fno-ident: no compiler version of our own objects in .comment (see the lintian overrides).
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release "${launcher[@]}" \
  -DCMAKE_INSTALL_PREFIX=/usr -DKESTRUM_BUILD_GUI=ON -DKESTRUM_BUILD_TESTS=OFF \
  -DCMAKE_C_FLAGS="$(dpkg-buildflags --get CFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS) -fno-ident" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
cmake --build "$build"
# The desktop program is part of the package: a build without Qt is no package.
[[ -x $build/src/gui/kestrum ]] || { echo "package.sh: the desktop program was not built" >&2; exit 1; }
(cd "$build" && cpack -G DEB -B "$build/cpack" >/dev/null)
rm -f "$out"/kestrum_*_amd64.deb
mv "$build"/cpack/kestrum_*_amd64.deb "$out"/
ls "$out"/kestrum_*_amd64.deb
