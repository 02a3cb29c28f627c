#!/usr/bin/env bash
# Installs what is needed, builds and runs the whole test suite (GL tests under Xvfb).
# With "asan": builds the sanitizer preset and runs the unit tests there.
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-default}"
scripts/install-deps.sh
scripts/build.sh "$preset"
source scripts/xvfb.sh
export LIBGL_ALWAYS_SOFTWARE=1
ctest --preset "$preset"
