# Helpers for tests that drive a real window of a Windows program under Wine
# on the test display. Source it; needs DISPLAY and xdotool.

# find_window TITLE_PATTERN PID: prints the first window whose title matches,
# polling for up to 30 s while PID runs. Polling rather than `search --sync`:
# windows of other tests come and go on the same display, and one vanishing
# mid-search makes xdotool fail.
find_window() {
  local pattern=$1 pid=$2 window=""
  for _ in $(seq 300); do
    window=$(timeout 5 xdotool search --name "$pattern" 2>/dev/null | head -n1)
    [ -n "$window" ] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  echo "$window"
}

# press_until_gone WINDOW PID KEY: keeps sending KEY to WINDOW until PID
# ends; the first key may come before the window takes input.
press_until_gone() {
  local window=$1 pid=$2 key=$3
  for _ in $(seq 50); do
    timeout 5 xdotool windowfocus --sync "$window" 2>/dev/null
    timeout 5 xdotool key --window "$window" "$key" 2>/dev/null
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.2
  done
}
