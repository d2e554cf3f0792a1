#!/usr/bin/env bash
# Every command and option that `kestrum-cli --help` prints is in its manual
# page and its bash completion, and every option of `kestrum --help` in the
# desktop program's page; the completion completes commands, options and
# devices. So a new option cannot be forgotten in either.
#
#   check_documented.sh CLI GUI_OR_EMPTY PACKAGING_DIR
set -euo pipefail
cli=$1 gui=$2 dir=$3
page=$dir/kestrum-cli.1 completion=$dir/kestrum-cli.bash-completion
failed=0
fail() { echo "FAIL: $*" >&2; failed=1; }

help=$("$cli" --help --lang en)
# The man page as words: roff's \- is a plain hyphen.
page_text=$(sed 's/\\-/-/g' "$page")
options=$(grep -o -- '--[a-z][a-z-]*' <<<"$help" | sort -u)
verbs=$(sed -n 's/^  kestrum-cli \([a-z][a-z]*\) .*/\1/p' <<<"$help" | sort -u)
[[ -n $options && -n $verbs ]] || fail "no options or commands read from kestrum-cli --help"
for option in $options; do
  grep -q -- "$option" <<<"$page_text" || fail "$option is not in $page"
  grep -q -- "$option\\b" "$completion" || fail "$option is not in $completion"
done
for verb in $verbs; do
  grep -q "^\\.B $verb\$" "$page" || fail "command $verb has no entry in $page"
  grep -qw -- "$verb" "$completion" || fail "command $verb is not in $completion"
done
echo "kestrum-cli: $(wc -w <<<"$options") options and $(wc -w <<<"$verbs") commands documented"

if [[ -n $gui ]]; then
  gui_page=$(sed 's/\\-/-/g' "$dir/kestrum.1")
  for option in $(QT_QPA_PLATFORM=offscreen "$gui" --help --lang en | grep -o -- '--[a-z][a-z-]*' | sort -u); do
    grep -q -- "$option" <<<"$gui_page" || fail "$option of kestrum is not in $dir/kestrum.1"
  done
fi

# The completion at work, as bash runs it for a user.
bash_completion=/usr/share/bash-completion/bash_completion
if [[ -r $bash_completion ]]; then
  complete_words() {
    bash -c '
      . "$1"; . "$2"; shift 2
      COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
      _kestrum_cli kestrum-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD-1]}"
      printf "%s\n" "${COMPREPLY[@]}"' _ "$bash_completion" "$completion" "$@"
  }
  [[ $(complete_words kestrum-cli sc) == scan ]] || fail "completion of 'sc' is not scan"
  # The words are taken whole before they are looked at (no pipe for
  # `grep -q` to leave early under pipefail), and a failure names them.
  grep -qx -- --lost-partitions <<<"$(complete_words kestrum-cli scan --lo)" || fail "scan --lo does not complete"
  grep -qx en <<<"$(complete_words kestrum-cli ls --lang "")" || fail "--lang does not complete its values"
  [[ $(complete_words kestrum-cli export --type picture,do) == picture,document ]] ||
    fail "--type does not complete the last word of its list"
  # A device that stays while the test looks (loop devices of other tests come and go).
  device=
  for entry in /sys/class/block/*; do
    name=${entry##*/}
    [[ -b /dev/$name && $name != loop* ]] && { device=$name; break; }
  done
  if [[ -n $device ]]; then
    offered=$(complete_words kestrum-cli volumes "/dev/${device:0:2}")
    grep -qx "/dev/$device" <<<"$offered" ||
      fail "volumes /dev/${device:0:2} does not offer /dev/$device (offered: $(tr '\n' ' ' <<<"$offered"))"
  fi
else
  echo "bash-completion is not installed: the completion is not run" >&2
fi
exit $failed
