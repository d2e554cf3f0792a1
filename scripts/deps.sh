# Sourced by the set-up scripts: installs Debian packages that are missing,
# and does nothing (quickly) when all are present.
ensure_packages() {
  local missing=()
  for pkg in "$@"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  echo "Installing: ${missing[*]}" >&2
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

BUILD_PACKAGES=(g++ cmake ninja-build pkg-config libblkid-dev qt6-base-dev qt6-tools-dev qt6-l10n-tools qt6-tools-dev-tools)
FIXTURE_PACKAGES=(ntfs-3g dosfstools mtools exfatprogs exfat-fuse fdisk util-linux xz-utils)
TEST_PACKAGES=(libgtest-dev libgmock-dev libssl-dev tzdata sleuthkit xvfb xauth fonts-wqy-microhei imagemagick ghostscript zip 7zip libgsf-bin ffmpeg libimage-exiftool-perl python3-fitz python3-docx libheif-examples flac vorbis-tools genisoimage sqlite3 zstd bzip2 clang lld-14 llvm-14 gddrescue python3-pyfuse3)
# The desktop program: Chinese font for the widgets, Qt's own texts in Chinese.
GUI_PACKAGES=(fonts-wqy-microhei qt6-translations-l10n)
# scripts/build-windows.sh and the tests of the Windows build: the cross
# compiler, GoogleTest's sources (built with it for the Windows side's tests),
# and Wine to run what it builds.
WINDOWS_PACKAGES=(g++-mingw-w64-x86-64-posix googletest wine64)
# scripts/package.sh and the package tests: the icons drawn from the SVG, the
# checks of the package and its files, and what the installed package is used
# with and recommends (so that installing it adds nothing else).
PACKAGE_PACKAGES=(dpkg-dev fakeroot file librsvg2-bin lintian desktop-file-utils appstream man-db bash-completion
                  pkexec polkitd fonts-wqy-microhei qt6-translations-l10n)
# scripts/fuzz.sh: clang with libFuzzer and the sanitizer runtimes.
FUZZ_PACKAGES=(clang libclang-rt-14-dev)
# docs/make_screenshots.sh: a virtual display, a window manager for title bars,
# input and screen capture.
SCREENSHOT_PACKAGES=(xvfb xauth openbox xdotool imagemagick x11-utils)
