#!/usr/bin/env bash
# The real Packrat.exe under Wine on the test display: a window titled
# "Packrat" appears, a screenshot of it is saved, and a close request (what
# the close box sends) ends the program with code 0.
# Usage: packrat_smoke.sh Packrat.exe SCREENSHOT.png close_window.exe
# (skipped, code 77, without a display or the X tools).
set -u
program=$1
shot=$2
closer=$3
[ -n "${DISPLAY:-}" ] && command -v xdotool >/dev/null && command -v import >/dev/null ||
  { echo "no display, xdotool or import"; exit 77; }
. "$(dirname "$0")/../common/wine_windows.sh"
timeout 60 /usr/lib/wine/wine64 "$program" &
pid=$!
window=$(find_window '^Packrat$' "$pid")
if [ -z "$window" ]; then
  echo "no window titled Packrat appeared"
  kill "$pid" 2>/dev/null
  exit 1
fi
sleep 0.5  # let it paint
mkdir -p "$(dirname "$shot")"
timeout 20 import -window "$window" "$shot" 2>/dev/null || timeout 20 import -window root "$shot"
for _ in $(seq 50); do
  timeout 20 /usr/lib/wine/wine64 "$closer" Packrat >/dev/null 2>&1
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.2
done
wait "$pid"
status=$?
[ $status -eq 0 ] || { echo "Packrat ended with $status, not 0"; exit 1; }
[ -s "$shot" ] || { echo "no screenshot"; exit 1; }
echo "screenshot: $shot"
