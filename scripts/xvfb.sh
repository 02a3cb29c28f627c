#!/usr/bin/env bash
# Sourced: starts Xvfb when no display is set, exports DISPLAY, and stops the server
# on exit. Xvfb picks a free display number itself and writes it once it accepts
# clients, so two runs starting at once never take the same number.
if [ -z "${DISPLAY:-}" ]; then
  KORV_XVFB_NUMBER=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp -noreset 3>"$KORV_XVFB_NUMBER" >/dev/null 2>&1 &
  KORV_XVFB_PID=$!
  trap 'kill $KORV_XVFB_PID 2>/dev/null || true' EXIT
  for _ in $(seq 1 100); do
    [ "$(wc -l <"$KORV_XVFB_NUMBER")" -ge 1 ] && break
    kill -0 "$KORV_XVFB_PID" 2>/dev/null || break
    sleep 0.1
  done
  if [ "$(wc -l <"$KORV_XVFB_NUMBER")" -ge 1 ]; then
    export DISPLAY=":$(head -n 1 "$KORV_XVFB_NUMBER")"
  else
    echo "xvfb: Xvfb did not start; GL tests will be skipped" >&2
  fi
  rm -f "$KORV_XVFB_NUMBER"
  unset KORV_XVFB_NUMBER
fi
