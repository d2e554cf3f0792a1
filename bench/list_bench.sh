#!/usr/bin/env bash
# Listing speed: `kestrum-cli ls --json` beside The Sleuth Kit's `fls -r -p`
# on the same volumes, warm cache, best of three runs each, plus memory per
# listed file. Three layouts: one flat folder (NTFS and exFAT with 100,000
# files; FAT32 with 65,000, about the most a FAT folder takes: it holds at
# most 65,536 entries of 32 bytes, "." and ".." among them, and these
# lower-case 8.3 names take one entry each); 100,000 files of one line spread
# over 1,000 folders; and 100,000 files of 0–3.7 KB, 100 a folder (on NTFS
# about a fifth of them small enough to lie in their MFT records).
# Not a test: run it on demand (as root: the images are made with the real tools).
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
ensure_packages "${BUILD_PACKAGES[@]}" "${FIXTURE_PACKAGES[@]}" sleuthkit time

. bench/cli.sh
images=build-bench/bench-images

KESTRUM_FIXTURE_MANY=100000 tests/fixtures/build_fixtures.sh "$images/many100k" --only ntfs exfat >&2
KESTRUM_FIXTURE_MANY=65000 tests/fixtures/build_fixtures.sh "$images/many65k" --only fat32 >&2
bench/make_folder_tree.sh "$images/folders" 100000 1000 ntfs fat32 exfat
MAX_SIZE=3700 bench/make_folder_tree.sh "$images/small" 100000 1000 ntfs fat32 exfat

# Best elapsed seconds of three runs of a command, with that run's CPU
# seconds (user + system) and peak RSS (KiB).
best_of_three() {
  local best="" cpu="" rss="" measured
  measured=$(mktemp)
  for _ in 1 2 3; do
    /usr/bin/time -o "$measured" -f "%e %U %S %M" "$@" >/dev/null 2>&1
    read -r secs user sys kib <"$measured"
    if [ -z "$best" ] || awk "BEGIN{exit !($secs < $best)}"; then
      best=$secs; cpu=$(awk "BEGIN{print $user + $sys}"); rss=$kib
    fi
  done
  rm -f "$measured"
  echo "$best $cpu $rss"
}

ratio() { awk "BEGIN{printf \"%.1f\", $1 / ($2 > 0 ? $2 : 0.005)}"; }

printf '%-15s %7s %9s %7s %7s %7s %8s %8s %9s %10s\n' volume files kestrum_s fls_s ratio \
  cpu_s fls_cpu_s cpu_ratio peak_MiB bytes/file
for case in "ntfs many100k" "fat32 many65k" "exfat many100k" "ntfs folders" "fat32 folders" \
            "exfat folders" "ntfs small" "fat32 small" "exfat small"; do
  read -r fs dir <<<"$case"
  img="$images/$dir/$fs.img"
  files=$("$cli" ls --json "$img" | wc -l)
  read -r k_secs k_cpu k_rss <<<"$(best_of_three "$cli" ls --json "$img")"
  read -r f_secs f_cpu _ <<<"$(best_of_three fls -r -p "$img")"
  # Total peak RSS, the program's own base included, over the files listed.
  per_file=$(awk "BEGIN{printf \"%.0f\", $k_rss * 1024 / $files}")
  printf '%-15s %7d %9s %7s %6sx %7s %8s %7sx %9.1f %10s\n' "$fs/$dir" "$files" "$k_secs" "$f_secs" \
    "$(ratio "$f_secs" "$k_secs")" "$k_cpu" "$f_cpu" "$(ratio "$f_cpu" "$k_cpu")" \
    "$(awk "BEGIN{print $k_rss / 1024}")" "$per_file"
done
echo "(warm cache, best of 3 by elapsed time; ratio = fls time / kestrum time; cpu = user + system"
echo " seconds of that run; bytes/file = total peak RSS / files listed; load: $(cut -d' ' -f1-3 /proc/loadavg))"
