#!/usr/bin/env bash
# A real message box under Wine on the test display: it must appear with its
# title, and the program must go on once Return dismisses it.
# Usage: message_box_test.sh PROBE.exe   (skipped, code 77, without a display)
set -u
probe=$1
[ -n "${DISPLAY:-}" ] && command -v xdotool >/dev/null || { echo "no display or no xdotool"; exit 77; }
. "$(dirname "$0")/../common/wine_windows.sh"
timeout 60 /usr/lib/wine/wine64 "$probe" &
pid=$!
window=$(find_window '^Probe Box$' "$pid")
if [ -z "$window" ]; then
  echo "the box did not appear"
  kill "$pid" 2>/dev/null
  exit 1
fi
press_until_gone "$window" "$pid" Return
wait "$pid"
status=$?
[ $status -eq 7 ] || { echo "the program ended with $status, not 7"; exit 1; }
