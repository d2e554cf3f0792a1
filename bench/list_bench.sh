#!/usr/bin/env bash
# Listing speed: `kestrum-cli ls --json` beside The Sleuth Kit's `fls -r -p`
# on the same volumes (NTFS with 100,000 files; FAT32 and exFAT with 50,000),
# warm cache, best of three runs each, plus memory per listed file.
# Not a test: run it on demand (as root: the images are made with the real tools).
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
ensure_packages "${BUILD_PACKAGES[@]}" "${FIXTURE_PACKAGES[@]}" sleuthkit time

cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTRUM_BUILD_GUI=OFF >/dev/null
cmake --build build-bench --target kestrum-cli >/dev/null
cli=build-bench/src/cli/kestrum-cli
images=build-bench/bench-images

KESTRUM_FIXTURE_MANY=100000 tests/fixtures/build_fixtures.sh "$images/many100k" --only ntfs >&2
KESTRUM_FIXTURE_MANY=50000 tests/fixtures/build_fixtures.sh "$images/many50k" --only fat32 exfat >&2
tests/fixtures/build_fixtures.sh "$images/small" --only ntfs fat32 exfat >&2

# Best elapsed seconds and its peak RSS (KiB) of three runs of a command.
best_of_three() {
  local best="" rss="" measured
  measured=$(mktemp)
  for _ in 1 2 3; do
    /usr/bin/time -o "$measured" -f "%e %M" "$@" >/dev/null 2>&1
    read -r secs kib <"$measured"
    if [ -z "$best" ] || awk "BEGIN{exit !($secs < $best)}"; then best=$secs; rss=$kib; fi
  done
  rm -f "$measured"
  echo "$best $rss"
}

printf '%-8s %9s %11s %9s %7s %10s %14s\n' volume files kestrum_s fls_s ratio peak_MiB bytes_per_file
for case in "ntfs many100k" "fat32 many50k" "exfat many50k"; do
  read -r fs dir <<<"$case"
  img="$images/$dir/$fs.img"
  small="$images/small/$fs.img"
  files=$("$cli" ls --json "$img" | wc -l)
  small_files=$("$cli" ls --json "$small" | wc -l)
  read -r k_secs k_rss <<<"$(best_of_three "$cli" ls --json "$img")"
  read -r _ small_rss <<<"$(best_of_three "$cli" ls --json "$small")"
  read -r f_secs _ <<<"$(best_of_three fls -r -p "$img")"
  ratio=$(awk "BEGIN{printf \"%.1f\", $f_secs / ($k_secs > 0 ? $k_secs : 0.005)}")
  # What the extra files cost, over the same listing of the small volume.
  per_file=$(awk "BEGIN{printf \"%.0f\", ($k_rss - $small_rss) * 1024 / ($files - $small_files)}")
  printf '%-8s %9d %11s %9s %6sx %10.1f %14s\n' "$fs" "$files" "$k_secs" "$f_secs" "$ratio" \
    "$(awk "BEGIN{print $k_rss / 1024}")" "$per_file"
done
echo "(elapsed times: warm cache, best of 3; ratio = fls time / kestrum time; bytes_per_file from peak RSS over a 1,200-file volume)"
