#!/usr/bin/env bash
# Sourced: starts Xvfb on a free display when none is set, and stops it on exit.
if [ -z "${DISPLAY:-}" ]; then
  for n in $(seq 91 120); do
    [ -e "/tmp/.X${n}-lock" ] || break
  done
  Xvfb ":$n" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
  KORV_XVFB_PID=$!
  export DISPLAY=":$n"
  trap 'kill $KORV_XVFB_PID 2>/dev/null || true' EXIT
  for _ in $(seq 1 50); do
    [ -e "/tmp/.X11-unix/X${n}" ] && break
    sleep 0.1
  done
fi
