#!/usr/bin/env bash
# Builds the fuzz preset (clang, every library instrumented) and runs each libFuzzer
# target in turn for the given seconds (default 60) on its seed corpus, printing one
# line per target: executions, coverage, corpus size, peak memory, slowest input and
# result. Fails when any target crashes, times out, runs out of memory or trips a
# sanitizer; the input that did it is left in the target's artifacts folder.
#   scripts/fuzz.sh [seconds] [target ...]
# KORV_FUZZ_BUILD_DIR puts the build elsewhere (default build-fuzz); KORV_FUZZ_NO_BUILD=1
# runs what is built.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
shift || true
wanted=("$@")

missing=()
command -v clang++ >/dev/null || missing+=(clang)
dpkg-query -W -f='${Status}' libclang-rt-14-dev 2>/dev/null | grep -q "install ok installed" || missing+=(libclang-rt-14-dev)
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  echo "fuzz: installing ${missing[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

build="${KORV_FUZZ_BUILD_DIR:-build-fuzz}"
# Tools the build runs are instrumented too; their leaks at exit are not the findings.
export ASAN_OPTIONS="detect_leaks=0"
if [ "${KORV_FUZZ_NO_BUILD:-0}" != 1 ]; then
  scripts/install-deps.sh >/dev/null
  cmake --preset fuzz -B "$build" >/dev/null
  cmake --build "$build" -j "${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}" --target korv-fuzz >/dev/null
fi
list="$build/fuzz-targets.txt"
[ -s "$list" ] || { echo "fuzz: no targets listed in $list" >&2; exit 1; }

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:symbolize=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export KORVADYNE_HEADLESS=1 KORV_SOURCE_DIR="$PWD"
failed=0
while IFS='|' read -r name binary work seeds options; do
  [ -n "$name" ] || continue
  if [ ${#wanted[@]} -gt 0 ] && [[ ! " ${wanted[*]} " == *" $name "* ]]; then continue; fi
  # New inputs go to the working corpus in the build; the seed folders stay as they are.
  # The harnesses write each input to a file in the current folder: a memory-backed
  # one where there is one, since truncating files on disk costs milliseconds.
  mkdir -p "$work/corpus" "$work/artifacts"
  rm -f "$work/artifacts/"*
  log="$work/fuzz.log"
  scratch=$(mktemp -d "$( [ -d /dev/shm ] && [ -w /dev/shm ] && echo /dev/shm || echo "$work")/korv-fuzz-$name.XXXXXX")
  set +e
  # shellcheck disable=SC2086
  (cd "$scratch" && "$binary" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -close_fd_mask=1 -artifact_prefix="$work/artifacts/" \
      $options "$work/corpus" $seeds) >"$log" 2>&1
  rc=$?
  set -e
  rm -rf "$scratch"
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  peak=$(sed -n 's/^stat::peak_rss_mb: *//p' "$log" | tail -1)
  slowest=$(sed -n 's/^stat::slowest_unit_time_sec: *//p' "$log" | tail -1)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | cut -d' ' -f2 || true)
  ft=$(grep -o 'ft: [0-9]*' "$log" | tail -1 | cut -d' ' -f2 || true)
  corp=$(find "$work/corpus" -type f | wc -l)
  result=ok
  if [ $rc -ne 0 ]; then
    failed=1
    if grep -q 'ERROR: libFuzzer: timeout' "$log"; then result=timeout
    elif grep -q 'out-of-memory\|ERROR: libFuzzer: malloc' "$log"; then result=out-of-memory
    elif grep -q 'ERROR: LeakSanitizer' "$log"; then result=leak
    elif grep -q 'runtime error:' "$log"; then result=undefined-behaviour
    else result=crash; fi
    result="$result ($(ls "$work/artifacts" | grep -v "^slow-unit-" | head -1 || true); log $log)"
  fi
  # libFuzzer also leaves inputs slower than 10 s there (slow-unit-*): reported, not failures.
  crashes=$(find "$work/artifacts" -type f ! -name 'slow-unit-*' | wc -l)
  slow=$(find "$work/artifacts" -type f -name 'slow-unit-*' | wc -l)
  printf '%-11s %10s execs  cov %5s  ft %6s  corpus %5s  peak %5s MB  slowest %3s s  slow %s  crashes %s  %s\n' \
    "$name" "${runs:-0}" "${cov:-0}" "${ft:-0}" "$corp" "${peak:-?}" "${slowest:-?}" "$slow" "$crashes" "$result"
done <"$list"
exit $failed
