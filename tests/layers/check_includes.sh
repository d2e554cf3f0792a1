#!/usr/bin/env bash
# Fails when a source file includes from a higher layer, or when anything outside
# the desktop program's folder includes Qt. The layers, lowest first; a folder may
# include from itself and from the folders before it. What differs between the
# systems stays in src/platform: elsewhere no conditional compilation, no
# system header of one side, and no include of a side's own folder
# (platform/linux/, platform/windows/), which only that side may include.
#   check_includes.sh SRC_DIR
set -uo pipefail
src=${1:?usage: check_includes.sh SRC_DIR}
layers=(base platform run disk fs scan find discovery export imaging rebuild repair cli gui)

rank() {
  local i
  for i in "${!layers[@]}"; do [ "${layers[$i]}" = "$1" ] && { echo "$i"; return; }; done
  echo -1
}

# Headers of one system's interface.
system_headers='unistd|fcntl|sys/[a-z_]+|linux/[a-z_]+|blkid/blkid|signal|iconv|dlfcn|execinfo|ucontext|dirent|termios|malloc|windows|winioctl|shlobj|dbghelp|bcrypt|io'
faults=0
while IFS= read -r -d '' file; do
  rel=${file#"$src"/}
  folder=${rel%%/*}
  own=$(rank "$folder")
  if [ "$own" -lt 0 ]; then
    echo "$rel: folder '$folder' is not in the layer list"; faults=$((faults + 1)); continue
  fi
  side=
  [[ $rel =~ ^platform/(linux|windows)/ ]] && side=${BASH_REMATCH[1]}
  while IFS=: read -r line text; do
    if [ "$folder" != platform ] && [[ $text =~ ^[[:space:]]*#[[:space:]]*(if|ifdef|ifndef|elif)([[:space:]]|$) ]]; then
      echo "$rel:$line: conditional compilation outside src/platform"; faults=$((faults + 1))
    elif [ "$folder" != platform ] && [ "$folder" != gui ] &&
         [[ $text =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\<($system_headers)[./] ]]; then
      echo "$rel:$line: system header <${BASH_REMATCH[1]}…> outside src/platform"; faults=$((faults + 1))
    elif [[ $text =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\"platform/(linux|windows)/ ]] &&
         [ "${BASH_REMATCH[1]}" != "$side" ]; then
      echo "$rel:$line: includes the ${BASH_REMATCH[1]} side of src/platform"; faults=$((faults + 1))
    elif [[ $text =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\<(Q[A-Za-z]*)[/\>] ]]; then
      if [ "$folder" != gui ]; then
        echo "$rel:$line: Qt header <${BASH_REMATCH[1]}> outside src/gui"; faults=$((faults + 1))
      fi
    elif [[ $text =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\"([a-z_]+)/ ]]; then
      target=${BASH_REMATCH[1]}
      their=$(rank "$target")
      if [ "$their" -lt 0 ] || [ "$their" -gt "$own" ]; then
        echo "$rel:$line: $folder includes from $target, a higher layer"; faults=$((faults + 1))
      fi
    fi
  done < <(grep -nE '#[[:space:]]*(include|if|ifdef|ifndef|elif)' "$file")
done < <(find "$src" -mindepth 2 -type f \( -name '*.h' -o -name '*.cpp' \) -print0)

if [ "$faults" -gt 0 ]; then
  echo "$faults include(s) point the wrong way (order: ${layers[*]})"
  exit 1
fi
echo "includes point down (order: ${layers[*]})"
