# Timing helpers the benchmarks source: elapsed seconds of a command, the
# best of three, cold runs of two commands in turn, peak memory, and
# dropping the page cache for cold runs.

# 1 when this machine lets us drop the page cache (root, not in a container
# that forbids it); cold runs are warm otherwise and the reports say so.
can_drop=0
if sync && echo 3 >/proc/sys/vm/drop_caches 2>/dev/null; then can_drop=1; fi
drop() { if [ "$can_drop" = 1 ]; then sync; echo 3 >/proc/sys/vm/drop_caches; fi; }

# Elapsed seconds of a command (output thrown away).
seconds() {
  local t0 t1
  t0=$(date +%s.%N)
  "$@" >/dev/null 2>&1
  t1=$(date +%s.%N)
  awk "BEGIN{printf \"%.3f\", $t1 - $t0}"
}

# The best of three runs' elapsed seconds; the page cache filled by the runs before.
best() {
  local b="" t
  for _ in 1 2 3; do
    t=$(seconds "$@")
    if [ -z "$b" ] || awk "BEGIN{exit !($t < $b)}"; then b=$t; fi
  done
  echo "$b"
}

# The best and the median of a list of seconds.
best_median() { printf '%s\n' "$@" | sort -n | awk '{v[NR] = $1} END {printf "%s %s", v[1], v[int((NR + 1) / 2)]}'; }

# RUNS cold runs each of two commands (functions without arguments), taken
# in turn — A, B, A, B, … — so that both meet the same minutes of a shared
# host, whose cold reads can take three times as long in one minute as in
# the next: prints A's best and median seconds, then B's.
cold_in_turn() {
  local runs=$1 a=$2 b=$3 i
  local -a ta=() tb=()
  for ((i = 0; i < runs; i++)); do
    drop
    ta+=("$(seconds "$a")")
    drop
    tb+=("$(seconds "$b")")
  done
  echo "$(best_median "${ta[@]}") $(best_median "${tb[@]}")"
}

# Peak resident set of a command in KiB (GNU time).
peak_kib() { /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -1; }

# Seconds of a search of the whole image with export of every file found by
# content into OUT (which it makes), cache dropped first; the scan state in
# OUT.state.
search_export_seconds() {
  local cli=$1 image=$2 out=$3 t0 t1
  drop
  t0=$(date +%s.%N)
  "$cli" scan --state "$out.state" "$image" >/dev/null 2>&1
  mkdir "$out"
  "$cli" export "$image" "$out" --scan "$out.state" --found 1 >/dev/null 2>&1
  t1=$(date +%s.%N)
  awk "BEGIN{printf \"%.3f\", $t1 - $t0}"
}

# Seconds of PhotoRec's search of the whole image into OUT/out.*, cache dropped first.
photorec_seconds() {
  local image=$1 out=$2 t0 t1
  drop
  t0=$(date +%s.%N)
  mkdir "$out"
  photorec /d "$out/out" /cmd "$image" search >/dev/null 2>&1 </dev/null
  t1=$(date +%s.%N)
  awk "BEGIN{printf \"%.3f\", $t1 - $t0}"
}
