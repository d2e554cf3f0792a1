#!/usr/bin/env bash
# The built package passes lintian (tags it still gives are explained in its
# overrides), its desktop entry desktop-file-validate, its metainfo appstreamcli,
# and it holds what a user looks for; its copyright file names every library
# the programs are linked against.
#
#   check_package.sh DEB_DIR
set -euo pipefail
deb=$(ls "$1"/kestrum_*_amd64.deb)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
fail() { echo "FAIL: $*" >&2; failed=1; }

# Errors and warnings fail; an info tag is shown, and fails too unless overridden.
if ! lintian --fail-on error,warning,info --display-info --tag-display-limit 0 "$deb" >"$work/lintian" 2>&1; then
  cat "$work/lintian" >&2
  fail "lintian"
fi

dpkg-deb -x "$deb" "$work/root"
root=$work/root
for path in usr/bin/kestrum usr/bin/kestrum-cli usr/bin/kestrum-pkexec \
            usr/share/applications/org.kestrum.Kestrum.desktop usr/share/metainfo/org.kestrum.Kestrum.metainfo.xml \
            usr/share/polkit-1/actions/org.kestrum.Kestrum.policy usr/share/icons/hicolor/scalable/apps/kestrum.svg \
            usr/share/man/man1/kestrum-cli.1.gz usr/share/man/man1/kestrum.1.gz usr/share/man/man1/kestrum-pkexec.1.gz \
            usr/share/bash-completion/completions/kestrum-cli usr/share/doc/kestrum/copyright; do
  [[ -e $root/$path ]] || fail "$path is not in the package"
done
for size in 16 22 24 32 48 64 128 256; do
  png=$root/usr/share/icons/hicolor/${size}x${size}/apps/kestrum.png
  [[ $(file -b "$png" 2>/dev/null) == "PNG image data, $size x $size,"* ]] || fail "no ${size}x$size PNG icon"
done
desktop-file-validate "$root/usr/share/applications/org.kestrum.Kestrum.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net --explain "$root/usr/share/metainfo/org.kestrum.Kestrum.metainfo.xml" ||
  fail "appstreamcli validate"
# The action pkexec goes by names the installed program.
grep -q '<annotate key="org.freedesktop.policykit.exec.path">/usr/bin/kestrum</annotate>' \
  "$root/usr/share/polkit-1/actions/org.kestrum.Kestrum.policy" || fail "the polkit action does not name /usr/bin/kestrum"
if command -v xmllint >/dev/null; then
  xmllint --noout "$root/usr/share/polkit-1/actions/org.kestrum.Kestrum.policy" || fail "the polkit action is no XML"
fi

# Every library linked, with its licence.
copyright=$root/usr/share/doc/kestrum/copyright
for binary in "$root"/usr/bin/kestrum "$root"/usr/bin/kestrum-cli; do
  for library in $(objdump -p "$binary" | awk '$1 == "NEEDED" { print $2 }'); do
    grep -qF "$library" "$copyright" || fail "$library, which $(basename "$binary") is linked against, is not in the copyright file"
  done
done
# dpkg-shlibdeps found the libraries: the dependencies name them.
depends=$(dpkg-deb -f "$deb" Depends)
for package in libc6 libstdc++6 libblkid1 libqt6widgets6; do
  grep -q "$package" <<<"$depends" || fail "Depends lacks $package: $depends"
done
echo "$(basename "$deb"): Depends: $depends"
exit $failed
