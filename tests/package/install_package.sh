#!/usr/bin/env bash
# Installs the package into this machine as a user would, checks that the
# system finds what it brings, removes it again, and checks that nothing is
# left behind. Needs root. A machine that has kestrum installed already is
# left alone (skipped), and the package must not bring other packages in: the
# machine ends as it was.
#
#   install_package.sh DEB_DIR VERSION
set -euo pipefail
deb=$(cd "$1" && ls "$PWD"/kestrum_*_amd64.deb)
version=$2
[[ $(id -u) -eq 0 ]] || { echo "SKIP: installing a package needs root"; exit 77; }

# Two checkouts testing on one machine take turns.
exec 9>/run/lock/kestrum-package-test.lock
flock 9
if dpkg-query -W -f='${Status}' kestrum 2>/dev/null | grep -q "ok installed"; then
  echo "SKIP: kestrum is installed on this machine already; it is not replaced"
  exit 77
fi

apt=(apt-get -y -q -o DPkg::Lock::Timeout=600)
export DEBIAN_FRONTEND=noninteractive
work=$(mktemp -d)
installed=0
cleanup() {
  if (( installed )); then "${apt[@]}" remove kestrum >/dev/null 2>&1 || true; fi
  # Whatever the installation brought in goes again.
  if [[ -f $work/before ]]; then
    dpkg-query -W -f='${Package}\n' | sort >"$work/now"
    extra=$(comm -13 "$work/before" "$work/now")
    if [[ -n $extra ]]; then "${apt[@]}" purge $extra >/dev/null 2>&1 || true; fi
  fi
  rm -rf "$work"
}
trap cleanup EXIT
failed=0
fail() { echo "FAIL: $*" >&2; failed=1; }

dpkg-query -W -f='${Package}\n' | sort >"$work/before"
installed=1
"${apt[@]}" install "$deb" >"$work/install.log" 2>&1 || { cat "$work/install.log" >&2; echo "FAIL: apt-get install" >&2; exit 1; }
dpkg-query -W -f='${Package}\n' | sort >"$work/after"
added=$(comm -13 "$work/before" "$work/after" | grep -vx kestrum || true)
[[ -z $added ]] || fail "installing kestrum brought in other packages: $added (scripts/deps.sh should install them)"

out=$(kestrum-cli --version) && [[ $out == "kestrum-cli $version" ]] || fail "kestrum-cli --version said '$out'"
[[ $(command -v kestrum-cli) == /usr/bin/kestrum-cli ]] || fail "kestrum-cli is not /usr/bin/kestrum-cli"
page=$(man -w kestrum-cli) && [[ $page == /usr/share/man/man1/kestrum-cli.1.gz ]] || fail "man -w kestrum-cli: '$page'"
# The launcher's page is a link to the program's; man names the page it leads to.
page=$(man -w kestrum-pkexec) && [[ $(readlink -f "$page") == /usr/share/man/man1/kestrum.1.gz ]] ||
  fail "man -w kestrum-pkexec: '$page'"
# Rendered without groff's complaints.
warnings=$(MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null) && [[ -z $warnings ]] ||
  fail "man kestrum-cli warns: $warnings"
# bash-completion loads completions on demand from where packages put them.
loaded=$(bash -c '. /usr/share/bash-completion/bash_completion; __load_completion kestrum-cli; complete -p kestrum-cli' 2>&1) &&
  [[ $loaded == *"-F _kestrum_cli kestrum-cli" ]] || fail "the completion is not loaded where bash-completion looks: $loaded"
desktop=/usr/share/applications/org.kestrum.Kestrum.desktop
[[ -f $desktop ]] && desktop-file-validate "$desktop" || fail "no valid desktop entry at $desktop"
grep -qx 'Exec=kestrum %F' "$desktop" || fail "the menu entry does not start kestrum"
[[ -f /usr/share/icons/hicolor/48x48/apps/kestrum.png ]] || fail "no icon in the hicolor theme"
[[ -f /usr/share/polkit-1/actions/org.kestrum.Kestrum.policy ]] || fail "no polkit action"
if command -v pkaction >/dev/null; then
  pkaction --action-id org.kestrum.Kestrum.pkexec >/dev/null 2>&1 || echo "note: polkitd does not run here, so pkaction cannot list the action"
fi
QT_QPA_PLATFORM=offscreen kestrum --help --lang en | grep -q -- '--images-only' || fail "kestrum --help"
dpkg -L kestrum | sort >"$work/files"

installed=0
"${apt[@]}" remove kestrum >"$work/remove.log" 2>&1 || { cat "$work/remove.log" >&2; fail "apt-get remove"; }
status=$(dpkg-query -W -f='${db:Status-Abbrev}' kestrum 2>/dev/null || true)
[[ -z $status || $status == "un "* ]] || fail "kestrum is still known to dpkg after remove: '$status'"
left=""
while read -r path; do
  # Folders other packages share stay; anything of kestrum's own goes.
  if [[ -e $path && ! -d $path ]] || [[ -d $path && $path == *kestrum* ]]; then left+=" $path"; fi
done <"$work/files"
[[ -z $left ]] || fail "left behind after apt-get remove:$left"
dpkg-query -W -f='${Package}\n' | sort >"$work/end"
cmp -s "$work/before" "$work/end" || fail "the installed packages differ from before: $(diff "$work/before" "$work/end" | tr '\n' ' ')"
(( failed )) || echo "installed, found where the system looks, and removed without a trace"
exit $failed
