#!/usr/bin/env bash
# Installs what is needed, builds the program and plays the show; arguments go to the
# program. Without a display it plays under Xvfb, always with "-default" (nobody could
# answer the setup dialog there); without a sound device OpenAL Soft plays to its null
# output.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh default korvadyne
args=("$@")
if [ -z "${DISPLAY:-}" ]; then
  source scripts/xvfb.sh
  export LIBGL_ALWAYS_SOFTWARE=1
  has_default=0
  for a in "${args[@]}"; do
    case "${a,,}" in -default | /default) has_default=1 ;; esac
  done
  [ $has_default -eq 1 ] || args=(-default "${args[@]}")
  echo "run: no display: playing the 3 min 31 s show under Xvfb with -default; Ctrl+C stops it"
fi
if [ ! -e /dev/snd ] && [ -z "${PULSE_SERVER:-}" ] && [ -z "${ALSOFT_DRIVERS:-}" ]; then
  export ALSOFT_DRIVERS=null
fi
build/bin/korvadyne "${args[@]}"
