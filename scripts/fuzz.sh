#!/usr/bin/env bash
# Builds the libFuzzer harnesses (clang, ASan + UBSan) and runs each for
# SECONDS (default 60), one after another, JOBS at a time (default 1).
#
#   scripts/fuzz.sh [SECONDS] [HARNESS...]
#
# The corpus each fuzzer grows is kept in build-fuzz/corpus/NAME between runs;
# it starts from fuzz/corpus/NAME (seeds cut from the test fixtures and small
# volumes made by the mkfs tools, plus every input that ever found a fault),
# which CTest replays. A crash, leak or timeout leaves its input in
# build-fuzz/artifacts/NAME/ and fails the script: fix the fault, then copy
# the input into fuzz/corpus/NAME/ so it stays fixed.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
ensure_packages "${BUILD_PACKAGES[@]}" "${FIXTURE_PACKAGES[@]}" "${FUZZ_PACKAGES[@]}" python3 sleuthkit

SECONDS_EACH=${1:-60}
[[ $SECONDS_EACH =~ ^[0-9]+$ ]] || { echo "usage: $0 [SECONDS] [HARNESS...]" >&2; exit 2; }
shift $(( $# > 0 ? 1 : 0 ))
JOBS=${JOBS:-1}

cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
  -DKESTRUM_FUZZ=ON -DKESTRUM_BUILD_GUI=OFF -DKESTRUM_BUILD_TESTS=OFF >/dev/null
cmake --build build-fuzz -j 2

HARNESSES=("$@")
if [[ ${#HARNESSES[@]} -eq 0 ]]; then
  for f in build-fuzz/fuzz/*_fuzzer; do HARNESSES+=("$(basename "$f" _fuzzer)"); done
fi

# Seeds: once, from the fixture images (build them with scripts/test.sh).
FIXTURES=build-test/fixtures
missing=0
for name in "${HARNESSES[@]}"; do [[ -d fuzz/corpus/$name ]] || missing=1; done
if (( missing )); then
  [[ -f $FIXTURES/stamp ]] || { echo "fuzz.sh: no fixture images in $FIXTURES: run scripts/test.sh first" >&2; exit 1; }
  python3 fuzz/seed_corpus.py "$FIXTURES" fuzz/corpus build-fuzz/seed-work build-fuzz/src/cli/kestrum-cli
fi

# Longest input per harness: sectors for the parsers, small sparse volumes
# for the whole-volume readers.
max_len() {
  case $1 in
    *_volume) echo 262144 ;;
    classifier|fat_boot|exfat_boot|ntfs_boot|ntfs_index) echo 65536 ;;
    partition_table) echo 20480 ;;
    *) echo 16384 ;;
  esac
}

run_one() {
  local name=$1 log=build-fuzz/logs/$1.log
  mkdir -p "build-fuzz/corpus/$name" "build-fuzz/artifacts/$name" build-fuzz/logs
  if "build-fuzz/fuzz/${name}_fuzzer" "build-fuzz/corpus/$name" "fuzz/corpus/$name" \
      -max_total_time="$SECONDS_EACH" -max_len="$(max_len "$name")" -timeout=25 -rss_limit_mb=2560 \
      -print_final_stats=1 -artifact_prefix="build-fuzz/artifacts/$name/" >"$log" 2>&1; then
    local runs
    runs=$(grep -o 'stat::number_of_executed_units: [0-9]*' "$log" | grep -o '[0-9]*$' || echo '?')
    printf '%-18s ok     %10s executions in %ss\n' "$name" "$runs" "$SECONDS_EACH"
  else
    printf '%-18s FAILED (see %s; input in build-fuzz/artifacts/%s/)\n' "$name" "$log" "$name"
    return 1
  fi
}

failed=0
running=0
for name in "${HARNESSES[@]}"; do
  run_one "$name" &
  running=$((running + 1))
  if (( running >= JOBS )); then wait -n || failed=1; running=$((running - 1)); fi
done
while (( running > 0 )); do wait -n || failed=1; running=$((running - 1)); done
exit $failed
