#!/usr/bin/env bash
# Installs what is needed, builds and runs the test suite (GL tests under Xvfb when no
# display is set). "scripts/test.sh" runs every test of the default build; "scripts/
# test.sh asan" builds the sanitizer preset and runs its unit, gl and audio tests and
# the 30 s show. Further arguments go to ctest (e.g. -E WholeShow, -LE e2e), with or
# without the preset before them.
# CTEST_PARALLEL_LEVEL sets the number of tests run at once (default: every core).
set -euo pipefail
cd "$(dirname "$0")/.."
preset=default
if [ $# -gt 0 ] && [ "${1#-}" = "$1" ]; then
  preset="$1"
  shift
fi
scripts/install-deps.sh
scripts/build.sh "$preset"
source scripts/xvfb.sh
export LIBGL_ALWAYS_SOFTWARE=1
if [ "$preset" = default ] && [ $# -eq 0 ]; then
  echo "test: first the whole-show test (WholeShow) plays all 3 min 31 s of the show, alone"
  echo "test: and with no output until it ends; the other tests follow (about 40 s)"
elif [ "$preset" = asan ] && [ $# -eq 0 ]; then
  echo "test: the sanitizer run plays the first 30 s of the show beside the other tests"
fi
ctest --preset "$preset" -j "${CTEST_PARALLEL_LEVEL:-$(nproc)}" "$@"
