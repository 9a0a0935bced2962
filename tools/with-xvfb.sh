#!/usr/bin/env bash
# Runs a command with a private X display (Xvfb plus a small window manager,
# which JUCE windows need for their window-manager atoms).
set -euo pipefail

for n in $(seq 90 140); do
  if [ ! -e "/tmp/.X${n}-lock" ] && [ ! -e "/tmp/.X11-unix/X${n}" ]; then display=":$n"; break; fi
done
: "${display:?no free X display number}"

Xvfb "$display" -screen 0 1600x1000x24 -noreset -nolisten tcp >/tmp/xvfb-${display#:}.log 2>&1 &
xvfb_pid=$!
cleanup() {
  [ -n "${wm_pid:-}" ] && kill "$wm_pid" 2>/dev/null || true
  kill "$xvfb_pid" 2>/dev/null || true
  wait 2>/dev/null || true
}
trap cleanup EXIT

export DISPLAY="$display"
for _ in $(seq 1 100); do
  xdpyinfo >/dev/null 2>&1 && break
  sleep 0.1
done
xdpyinfo >/dev/null 2>&1 || { echo "Xvfb did not start" >&2; exit 1; }
openbox >/dev/null 2>&1 &
wm_pid=$!
sleep 0.5

set +e
"$@"
rc=$?
exit $rc
