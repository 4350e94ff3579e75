#!/usr/bin/env bash
# A real message box under Wine on the test display: it must appear with its
# title, and the program must go on once Return dismisses it.
# Usage: message_box_test.sh PROBE.exe   (skipped, code 77, without a display)
set -u
probe=$1
[ -n "${DISPLAY:-}" ] && command -v xdotool >/dev/null || { echo "no display or no xdotool"; exit 77; }
timeout 60 /usr/lib/wine/wine64 "$probe" &
pid=$!
# Poll rather than `search --sync`: windows of other tests come and go on
# the same display, and one vanishing mid-search makes xdotool fail.
window=""
for _ in $(seq 300); do
  window=$(timeout 5 xdotool search --name '^Probe Box$' 2>/dev/null | head -n1)
  [ -n "$window" ] && break
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
if [ -z "$window" ]; then
  echo "the box did not appear"
  kill "$pid" 2>/dev/null
  exit 1
fi
# Keep pressing Return until the program goes on: the first key may come
# before the box takes input.
for _ in $(seq 50); do
  timeout 5 xdotool windowfocus --sync "$window" 2>/dev/null
  timeout 5 xdotool key --window "$window" Return 2>/dev/null
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.2
done
wait "$pid"
status=$?
[ $status -eq 7 ] || { echo "the program ended with $status, not 7"; exit 1; }
