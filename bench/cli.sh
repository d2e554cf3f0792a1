# The kestrum-cli a benchmark measures, in $cli: the Release build in
# build-bench, built here, or KESTRUM_CLI, another build (the one before a
# change). Sourced from the repository's top folder.
if [ -n "${KESTRUM_CLI:-}" ]; then
  cli=$(realpath "$KESTRUM_CLI")
else
  cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTRUM_BUILD_GUI=OFF >/dev/null
  cmake --build build-bench --target kestrum-cli >/dev/null
  cli=$PWD/build-bench/src/cli/kestrum-cli
fi
