#!/usr/bin/env bash
# Remakes docs/show.png, the contact sheet of the show: one frame of each scene range
# and the end part, captioned with its time. The whole-show end-to-end test plays the
# show once on an Xvfb server of its own (3 min 31 s plus loading) and keeps its shots;
# korv-contactsheet lays them out. Builds what it needs into build/ (or
# $KORV_BUILD_DIR), as the default preset does.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
build="${KORV_BUILD_DIR:-build}"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j "${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}" \
  --target korvadyne e2e_whole_show_test korv-contactsheet
shots="$(mktemp -d)"
trap 'rm -rf "$shots"' EXIT
echo "contact-sheet: playing the whole show (3 min 31 s) for a shot of each scene range"
if ! KORV_SHOTS_DIR="$shots" KORV_BINARY_DIR="$(cd "$build" && pwd)" KORVADYNE_HEADLESS=1 \
  LIBGL_ALWAYS_SOFTWARE=1 "$build/tests/e2e_whole_show_test" >"$shots/test.log" 2>&1; then
  cat "$shots/test.log"
  echo "contact-sheet: the whole-show test failed; docs/show.png left as it was" >&2
  exit 1
fi
mkdir -p docs
"$build/bin/korv-contactsheet" "$shots" docs/show.png
echo "contact-sheet: wrote docs/show.png ($(stat -c %s docs/show.png) bytes)"
