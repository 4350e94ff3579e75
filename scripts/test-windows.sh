#!/usr/bin/env bash
# Runs the Windows test suite (build/windows) under Wine, headless: a private
# Wine prefix under build/, one Xvfb display for the whole run, one wineserver
# kept alive across tests, a time limit on every Wine call and on every test.
# Usage: scripts/test-windows.sh [extra ctest arguments...]
# Expects `cmake --build --preset windows` to have run.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/windows
[ -f "$build/CTestTestfile.cmake" ] || { echo "no Windows build in $build" >&2; exit 2; }

export WINEPREFIX="$PWD/$build/wineprefix"
export WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
started=$(date +%s)

xvfb_pid=""
cleanup() {
  timeout 30 wineserver -k 2>/dev/null || true
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
}
trap cleanup EXIT

# A server left from an earlier run may be tied to another display.
timeout 30 wineserver -k 2>/dev/null || true
timeout 30 wineserver -w 2>/dev/null || true

# Xvfb picks a free display number itself and writes it to fd 3.
display_file=$(mktemp)
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$display_file" >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 50); do [ -s "$display_file" ] && break; sleep 0.1; done
[ -s "$display_file" ] || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(head -n1 "$display_file")"
rm -f "$display_file"

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "Creating Wine prefix $WINEPREFIX"
  timeout 180 wineboot -i >/dev/null 2>&1
  timeout 60 wineserver -w
  settings=$(mktemp --suffix=.reg)
  # No crash dialog (it would wait for ever); unmanaged windows, so that GUI
  # programs end at once with no window manager on the display.
  printf '%s\r\n' 'REGEDIT4' '' \
    '[HKEY_CURRENT_USER\Software\Wine\WineDbg]' '"ShowCrashDialog"=dword:00000000' '' \
    '[HKEY_CURRENT_USER\Software\Wine\X11 Driver]' '"Managed"="N"' '' >"$settings"
  timeout 60 wine regedit /S "$settings" >/dev/null 2>&1
  timeout 60 wineserver -w
  rm -f "$settings"
fi

# One server for the whole run: otherwise every test that captures output
# waits seconds for the server to go away.
timeout 30 wineserver -p
timeout 60 wine cmd /c exit 0 </dev/null >/dev/null 2>&1 || true

status=0
# Tests are separate processes; one per core.
timeout 1200 ctest --test-dir "$build" --output-on-failure --timeout 60 -j "$(nproc)" "$@" || status=$?
echo "Windows tests under Wine took $(( $(date +%s) - started )) s"
exit $status
