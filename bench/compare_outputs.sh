#!/usr/bin/env bash
# Whether two builds of kestrum-cli say the same about the same images, byte
# for byte: the findings (`classify --json`), the scans (`scan --json`, and
# `scan --lost-partitions --json` of disks), every found volume listed in both
# views (`ls --json --scan STATE --found N`) and exported, and every volume
# the readers list (`ls --json` of the image or of each partition) and export.
# Used before a change to the scan or the readers lands: OLD is the build of
# the main branch before it.
#   bench/compare_outputs.sh OLD_CLI NEW_CLI IMAGE...
# Prints one line per image and check; exits 1 when anything differs (the
# differing outputs stay in the folder it names).
set -uo pipefail
old=${1:?usage: compare_outputs.sh OLD_CLI NEW_CLI IMAGE...}
new=${2:?}
shift 2
work=$(mktemp -d)
differ=0

# Whether $work/old.$2 and $work/new.$2 are equal; a difference is kept
# under the check's name $1.
verdict() {
  if cmp -s "$work/old.$2" "$work/new.$2"; then
    echo "same    $1"
  else
    differ=1
    cp "$work/old.$2" "$work/$(echo "$1" | tr ' /' '__').old"
    cp "$work/new.$2" "$work/$(echo "$1" | tr ' /' '__').new"
    echo "DIFFER  $1"
  fi
}

# One command's standard output and exit status, for both builds; the two
# must be equal. $1: a name for the check; the rest: arguments, where @CLI@
# stands for the build and @OUT@ for a folder of that build's own.
same() {
  local name=$1 side cli args a
  shift
  for side in old new; do
    cli=$old
    [ "$side" = new ] && cli=$new
    args=()
    for a in "$@"; do
      a=${a//@OUT@/$work/$side}
      args+=("$a")
    done
    "$cli" "${args[@]}" >"$work/$side.out" 2>/dev/null
    echo "exit $?" >>"$work/$side.out"
  done
  verdict "$name" out
}

# What an export wrote: every file's path, size and modification time, then
# every file's digest, from one sha256sum over them all rather than one
# run of it a file (slow on a tree of 100,000). A time set during the run (a
# reader that keeps none) reads "now".
started=$(date +%s)
tree_digest() {
  (cd "$1" && find . -type f -printf '%P\t%s\t%T@\n' | LC_ALL=C sort |
     awk -F'\t' -v started="$started" 'BEGIN { OFS = "\t" }
       { seconds = $NF; sub(/\..*/, "", seconds); if (seconds + 0 >= started) $NF = "now"; print }'
   find . -type f -print0 | LC_ALL=C sort -z | xargs -0 -r sha256sum --)
}

# Exports with both builds into fresh folders and compares what they wrote.
same_export() {
  local name=$1 side cli
  shift
  for side in old new; do
    cli=$old
    [ "$side" = new ] && cli=$new
    rm -rf "$work/$side-export" && mkdir "$work/$side-export"
    local args=() a
    for a in "$@"; do args+=("${a//@OUT@/$work/$side}"); done
    "$cli" export "${args[0]}" "$work/$side-export" "${args[@]:1}" >/dev/null 2>&1
    { echo "exit $?"; tree_digest "$work/$side-export"; } >"$work/$side.tree"
  done
  verdict "$name" tree
  rm -rf "$work/old-export" "$work/new-export"
}

for img in "$@"; do
  base=$(basename "$img")
  rm -f "$work/old.state" "$work/new.state"
  same "$base classify" classify --json "$img"
  same "$base scan" scan --json --state @OUT@.state "$img"
  volumes=$("$new" scan --json --state "$work/probe.state" "$img" 2>/dev/null | wc -l)
  rm -f "$work/probe.state"
  for n in $(seq 1 "$volumes"); do
    same "$base found $n" ls --json "$img" --scan @OUT@.state --found "$n"
    same "$base found $n deleted" ls --deleted --json "$img" --scan @OUT@.state --found "$n"
    same_export "$base found $n export" "$img" --scan @OUT@.state --found "$n"
  done
  # A disk: its partitions, and the lost-partition scan; else the volume itself.
  parts=$("$new" volumes --json "$img" 2>/dev/null | wc -l)
  inside=$("$new" volumes --json "$img" 2>/dev/null | grep -vc '"startSector":0,')
  if [ "$inside" -gt 0 ]; then
    same "$base lost partitions" scan --lost-partitions --json --state @OUT@.lost "$img"
    for n in $(seq 1 "$parts"); do
      same "$base partition $n" ls --json "$img" --partition "$n"
      same "$base partition $n deleted" ls --deleted --json "$img" --partition "$n"
      same_export "$base partition $n export" "$img" --partition "$n"
    done
  else
    same "$base volume" ls --json "$img"
    same "$base volume deleted" ls --deleted --json "$img"
    same_export "$base volume export" "$img"
  fi
done
if [ "$differ" = 1 ]; then
  echo "outputs differ: see $work"
  exit 1
fi
rm -rf "$work"
echo "all outputs the same"
