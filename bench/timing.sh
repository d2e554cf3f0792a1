# Timing helpers the benchmarks source: elapsed seconds of a command, the
# best of three, peak memory, and dropping the page cache for cold runs.

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

# Peak resident set of a command in KiB (GNU time).
peak_kib() { /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -1; }
