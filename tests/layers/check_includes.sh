#!/usr/bin/env bash
# Fails when a source file includes from a higher layer, or when anything outside
# the desktop program's folder includes Qt. The layers, lowest first; a folder may
# include from itself and from the folders before it.
#   check_includes.sh SRC_DIR
set -uo pipefail
src=${1:?usage: check_includes.sh SRC_DIR}
layers=(base platform run disk fs scan find discovery export imaging rebuild repair cli gui)

rank() {
  local i
  for i in "${!layers[@]}"; do [ "${layers[$i]}" = "$1" ] && { echo "$i"; return; }; done
  echo -1
}

faults=0
while IFS= read -r -d '' file; do
  rel=${file#"$src"/}
  folder=${rel%%/*}
  own=$(rank "$folder")
  if [ "$own" -lt 0 ]; then
    echo "$rel: folder '$folder' is not in the layer list"; faults=$((faults + 1)); continue
  fi
  while IFS=: read -r line text; do
    if [[ $text =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\<(Q[A-Za-z]*)[/\>] ]]; then
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
  done < <(grep -n '#[[:space:]]*include' "$file")
done < <(find "$src" -mindepth 2 -type f \( -name '*.h' -o -name '*.cpp' \) -print0)

if [ "$faults" -gt 0 ]; then
  echo "$faults include(s) point the wrong way (order: ${layers[*]})"
  exit 1
fi
echo "includes point down (order: ${layers[*]})"
