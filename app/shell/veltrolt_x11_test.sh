#!/usr/bin/env bash
# The built program under a real X server (Xvfb), driven with real input
# events (xdotool): it starts from a program folder of its own, shows the
# main window, takes a frame limit typed into the settings window, opens the
# sample clip through the open dialog (typed and confirmed with keys), marks
# a span in the edit window, draws and plays a path with real pointer drags,
# accepts into the publish window and comes back to discard, and ends through the quit button and its question with exit
# status 0 and the settings written beside it.
# Usage: veltrolt_x11_test.sh VELTROLT DIST_DIR SCREENSHOT_DIR
set -uo pipefail
program=$1
dist=$2
shots=$3

source "$(dirname "$0")/x11_session.sh"
x11_session x11

ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0} "$folder/veltrolt" >"$work/veltrolt.log" 2>&1 &
app_pid=$!

main=$(find_window "^VELTRO Lite\$") || fail "no main window titled \"VELTRO Lite\"; log: $(cat "$work/veltrolt.log")"
geometry=$(xdotool getwindowgeometry "$main")
echo "$geometry"
echo "$geometry" | grep -q "Geometry: 720x540" || fail "main window is not 720x540: $geometry"
sleep 0.5
import -window root "$shots/x11_main_window.png"

# Settings (button 4): type a frame limit with trailing letters and confirm.
click_at "$main" 635 488
settings=$(find_window "^Settings\$") || fail "the settings window did not open"
click_at "$settings" 56 121          # the frame limit field
xdotool key ctrl+a && xdotool type --delay 50 "120abc"
sleep 0.3
import -window root "$shots/x11_settings_window.png"
click_at "$settings" 324 230         # OK
# The album folder beside the program does not exist yet: "Create".
create=$(find_window "^Message\$") || fail "no question about creating the album folder"
import -window root "$shots/x11_create_question.png"
click_at "$create" 30 82
window_gone "^Settings\$" || fail "the settings window stayed open"
grep -q "^max_frame=120$" "$folder/veltrolt.rc" || fail "veltrolt.rc lacks max_frame=120 right after OK: $(cat "$folder/veltrolt.rc" 2>/dev/null)"
[ -d "$folder/pages" ] || fail "the album folder was not created"

# A new clip from a movie file (button 5): the open dialog starts in the
# samples folder; the sample's name is typed and confirmed with Return.
click_at "$main" 106 334
chooser=""
for _ in $(seq 200); do
  for id in $(xdotool search --onlyvisible --name "." 2>/dev/null); do
    [ "$id" != "$main" ] && chooser=$id && break
  done
  [ -n "$chooser" ] && break
  sleep 0.1
done
[ -n "$chooser" ] || fail "the open dialog did not appear"
sleep 0.5
xdotool type --delay 50 "rolling-ball.avi"
sleep 0.3
import -window root "$shots/x11_open_dialog.png"
xdotool key Return
edit=$(find_window "^Edit\$") || fail "the edit window did not open; log: $(cat "$work/veltrolt.log")"
sleep 0.5
import -window root "$shots/x11_edit_open.png"

# In the edit window: a step on (Mark IN needs a move first), Mark IN, ten
# steps on, Mark OUT. The 320 x 240 picture sits at (200, 202).
click_at "$edit" 694 518             # step on
click_at "$edit" 61 112              # Mark IN
for _ in $(seq 10); do
  click_at "$edit" 694 518
done
click_at "$edit" 163 112             # Mark OUT
import -window root "$shots/x11_edit_marked.png"
# An S-shaped stroke with real button and motion events.
xdotool mousemove --window "$edit" 480 230 mousedown 1
sleep 0.1
for point in "420 230" "300 230" "240 240" "240 300" "300 320" "420 320" "480 340" "480 400" "400 420" "240 420"; do
  # shellcheck disable=SC2086
  xdotool mousemove --window "$edit" $point
  sleep 0.05
done
xdotool mouseup 1
sleep 0.5
import -window root "$shots/x11_edit_drawn.png"
# Playing: press beside the start of the path and drag along it.
xdotool mousemove --window "$edit" 480 236 mousedown 1
sleep 0.1
for point in "420 236" "300 236" "240 250" "240 310"; do
  # shellcheck disable=SC2086
  xdotool mousemove --window "$edit" $point
  sleep 0.1
done
import -window root "$shots/x11_edit_playing.png"
xdotool mouseup 1
sleep 0.3
# Accept (button 9): enabled only once a path exists; the publish window
# follows. Back (its button 9) returns to the edit window, and Discard
# (button 13) to the main window.
click_at "$edit" 658 112
window_gone "^Edit\$" || fail "the edit window stayed open after accepting (no path drawn?)"
publish=$(find_window "^Publish\$") || fail "no publish window after accepting the edited clip"
sleep 0.5
import -window root "$shots/x11_edit_accepted.png"
click_at "$publish" 532 504
edit=$(find_window "^Edit\$") || fail "back from the publish window did not return to the edit window"
click_at "$edit" 550 112
window_gone "^Edit\$" || fail "discard did not close the edit window"
main=$(find_window "^VELTRO Lite\$") || fail "the main window did not come back"
sleep 0.3

# Quit (button 0) and answer the question with its first button.
click_at "$main" 698 24
question=$(find_window "^Message\$") || fail "no quit question"
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
