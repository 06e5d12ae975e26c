#!/usr/bin/env bash
# The built program under a real X server (Xvfb), driven with real input
# events (xdotool): it starts from a program folder of its own, shows the
# main window, takes a frame limit typed into the settings window, and ends
# through the quit button and its question with exit status 0 and the
# settings written beside it.
# Usage: veltrolt_x11_test.sh VELTROLT DIST_DIR SCREENSHOT_DIR
set -uo pipefail
program=$1
dist=$2
shots=$3

fail() { echo "FAIL: $*" >&2; exit 1; }
for tool in Xvfb xdotool import; do
  command -v "$tool" >/dev/null || fail "$tool is missing (scripts/install-deps.sh test installs it)"
done

work=$(mktemp -d "${TMPDIR:-/tmp}/veltrolt-x11-XXXXXX")
xvfb_pid=""
app_pid=""
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# A portable program folder: the program beside the shipped data.
folder=$work/veltro
mkdir -p "$folder" "$shots"
cp "$program" "$folder/veltrolt"
for part in res doc template samples; do
  ln -s "$dist/$part" "$folder/$part"
done

# A private X server on the first free display number.
exec 5>"$work/display"
Xvfb -displayfd 5 -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do
  [ -s "$work/display" ] && break
  sleep 0.1
done
[ -s "$work/display" ] || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
export DISPLAY=":$(head -1 "$work/display")"
unset WAYLAND_DISPLAY QT_QPA_PLATFORM

# Waits up to 20 s for a visible window titled exactly $1; prints its id.
find_window() {
  local id
  for _ in $(seq 200); do
    id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1)
    if [ -n "$id" ]; then
      echo "$id"
      return 0
    fi
    sleep 0.1
  done
  return 1
}
# Waits until no visible window is titled exactly $1.
window_gone() {
  for _ in $(seq 100); do
    xdotool search --onlyvisible --name "^$1\$" >/dev/null 2>&1 || return 0
    sleep 0.1
  done
  return 1
}
click_at() {  # window x y: a real pointer move and click over the window
  xdotool mousemove --window "$1" "$2" "$3" && sleep 0.2 && xdotool click 1 && sleep 0.3
}

ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0} "$folder/veltrolt" >"$work/veltrolt.log" 2>&1 &
app_pid=$!

main=$(find_window "VELTRO Lite") || fail "no main window titled \"VELTRO Lite\"; log: $(cat "$work/veltrolt.log")"
geometry=$(xdotool getwindowgeometry "$main")
echo "$geometry"
echo "$geometry" | grep -q "Geometry: 720x540" || fail "main window is not 720x540: $geometry"
sleep 0.5
import -window root "$shots/x11_main_window.png"

# Settings (button 4): type a frame limit with trailing letters and confirm.
click_at "$main" 635 488
settings=$(find_window "Settings") || fail "the settings window did not open"
click_at "$settings" 56 121          # the frame limit field
xdotool key ctrl+a && xdotool type --delay 50 "120abc"
sleep 0.3
import -window root "$shots/x11_settings_window.png"
click_at "$settings" 324 194         # OK
# The album folder beside the program does not exist yet: "Create".
create=$(find_window "Message") || fail "no question about creating the album folder"
import -window root "$shots/x11_create_question.png"
click_at "$create" 30 82
window_gone "Settings" || fail "the settings window stayed open"
grep -q "^max_frame=120$" "$folder/veltrolt.rc" || fail "veltrolt.rc lacks max_frame=120 right after OK: $(cat "$folder/veltrolt.rc" 2>/dev/null)"
[ -d "$folder/pages" ] || fail "the album folder was not created"

# Quit (button 0) and answer the question with its first button.
click_at "$main" 698 24
question=$(find_window "Message") || fail "no quit question"
import -window root "$shots/x11_quit_question.png"
click_at "$question" 30 82
for _ in $(seq 100); do
  kill -0 "$app_pid" 2>/dev/null || break
  sleep 0.1
done
kill -0 "$app_pid" 2>/dev/null && fail "veltrolt still runs after quitting"
wait "$app_pid"
status=$?
app_pid=""
[ "$status" -eq 0 ] || fail "exit status $status; log: $(cat "$work/veltrolt.log")"

grep -q "^album_dir=$folder/pages$" "$folder/veltrolt.rc" || fail "veltrolt.rc lacks the album beside the program: $(cat "$folder/veltrolt.rc")"
grep -q "^max_frame=120$" "$folder/veltrolt.rc" || fail "veltrolt.rc lost max_frame"
echo "veltrolt.rc:"
cat "$folder/veltrolt.rc"
echo "PASS"
