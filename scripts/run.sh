#!/usr/bin/env bash
# Installs what is needed, builds and runs the show. Without a display it runs under
# Xvfb with "-default"; without a sound device OpenAL Soft plays to its null output.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh default
args=("$@")
if [ -z "${DISPLAY:-}" ]; then
  source scripts/xvfb.sh
  export LIBGL_ALWAYS_SOFTWARE=1
  [ ${#args[@]} -gt 0 ] || args=(-default)
fi
if [ ! -e /dev/snd ] && [ -z "${PULSE_SERVER:-}" ] && [ -z "${ALSOFT_DRIVERS:-}" ]; then
  export ALSOFT_DRIVERS=null
fi
build/bin/korvadyne "${args[@]}"
