#!/usr/bin/env bash
# Configures (the first time) and builds one preset: "default" into build/, "asan" into
# build-asan/. Further arguments are targets (all when none). CMAKE_BUILD_PARALLEL_LEVEL
# sets the number of compile jobs (default: every core).
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-default}"
shift || true
dir=build
[ "$preset" = default ] || dir="build-$preset"
if [ ! -f "$dir/CMakeCache.txt" ] || [ CMakePresets.json -nt "$dir/CMakeCache.txt" ]; then
  echo "build: configuring $dir/ (about half a minute the first time)"
  log="$(mktemp)"
  if ! cmake --preset "$preset" >"$log" 2>&1; then
    cat "$log"
    rm -f "$log"
    exit 1
  fi
  rm -f "$log"
fi
targets=()
for t in "$@"; do targets+=(--target "$t"); done
echo "build: building $dir/ ${*:-(everything)} with ${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)} jobs"
t=$SECONDS
# The compile lines are the progress; the "Built target" lines of work already done are not.
cmake --build --preset "$preset" -j "${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}" "${targets[@]}" 2>&1 |
  sed -u '/\] Built target /d'
echo "build: $dir/ built in $((SECONDS - t)) s"
