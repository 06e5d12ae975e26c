#!/usr/bin/env bash
# The road from a movie file to a page in the album, on the built program
# under a real X server (Xvfb) with real input events (xdotool): the main
# window's movie-file button, the open-file dialog answered with typed keys,
# the edit window (IN, a few frame steps, OUT, a stroke drawn with the
# pointer, Next), the publish window (a typed title, Publish), the album
# listing the page, the main menu, and the quit button with its question.
# Every window is found by its title and photographed.
# Usage: page_journey_x11_test.sh VELTROLT DIST_DIR SCREENSHOT_DIR
set -uo pipefail
program=$1
dist=$2
shots=$3

source "$(dirname "$0")/x11_session.sh"
x11_session journey
[ -f "$dist/samples/rolling-ball.avi" ] || fail "no sample clip in $dist/samples"

shot() {
  sleep 0.4
  import -window root "$shots/x11_journey_$1.png"
}
# An application window is 720 x 540 and opens over the one before it.
check_size() {
  xdotool getwindowgeometry "$1" | grep -q "Geometry: 720x540" || fail "$2 is not 720x540: $(xdotool getwindowgeometry "$1")"
}
# No window but the expected ones: a message would mean something failed.
only_window() {
  local titles
  titles=$(visible_titles)
  [ "$titles" = "\"$1\" " ] || fail "expected only \"$1\", visible: $titles"
}

ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0} "$folder/veltrolt" >"$work/veltrolt.log" 2>&1 &
app_pid=$!

main=$(find_window "^VELTRO Lite\$") || fail "no main window titled \"VELTRO Lite\"; log: $(cat "$work/veltrolt.log")"
check_size "$main" "the main window"
shot 1_main

# Command 5 (the movie-file button: 30 246 152 176 in lmmenuwin).
click_at "$main" 106 334
for _ in $(seq 200); do
  dialog=$(xdotool search --onlyvisible --name "^Open\$" 2>/dev/null | head -1)
  [ -n "$dialog" ] && break
  sleep 0.1
done
[ -n "$dialog" ] || fail "no open-file dialog; visible: $(visible_titles)"
shot 2_open_dialog
# The file name field has the focus: type the clip's path and Enter.
xdotool type --delay 20 "$folder/samples/rolling-ball.avi"
xdotool key Return

# The edit window (lmeditwin): 5 IN at 12 94 98 36, 6 OUT at 114 94 98 36,
# 15 one frame on at 680 504 28 28, 9 Next at 608 94 100 36. The 320 x 240
# clip shows at 1:1 in the middle of the picture area: 200..520 x 202..442.
edit=$(find_window "^Edit\$") || fail "no edit window; visible: $(visible_titles); log: $(cat "$work/veltrolt.log")"
check_size "$edit" "the edit window"
only_window "Edit"
shot 3_edit_opened
click_at "$edit" 694 518           # one frame on: IN can be marked
click_at "$edit" 61 112            # IN
for _ in 1 2 3 4 5 6 7 8 9 10; do
  click_at "$edit" 694 518
done
click_at "$edit" 163 112           # OUT: the drawing step
shot 4_edit_marked
# A stroke with real pointer events: press, moves, release.
xdotool mousemove --window "$edit" 230 400 && sleep 0.2
xdotool mousedown 1
for point in "250 370" "270 340" "300 300" "330 270" "360 290" "390 330" "420 360" "450 320" "480 270" "500 230"; do
  read -r x y <<<"$point"
  xdotool mousemove --window "$edit" "$x" "$y"
  sleep 0.05
done
xdotool mouseup 1
sleep 0.3
shot 5_edit_drawn
click_at "$edit" 658 112           # Next: on to publishing

# The publish window (lmsavewin): 4 title at 12 82 240 26, 8 Publish at
# 596 484 112 40.
save=$(find_window "^Publish\$") || fail "no publish window; visible: $(visible_titles)"
check_size "$save" "the publish window"
only_window "Publish"
click_at "$save" 130 95
xdotool key ctrl+a
xdotool type --delay 30 "Rolling ball"
shot 6_publish
click_at "$save" 652 504

# The album (lmalbumwin) lists the new page.
album=$(find_window "^Album\$") || fail "no album after publishing; visible: $(visible_titles); log: $(cat "$work/veltrolt.log")"
check_size "$album" "the album"
only_window "Album"
shot 7_album
page=$folder/pages/new0
[ -f "$page/index.html" ] || fail "no $page/index.html; album: $(ls -R "$folder/pages" 2>&1)"
grep -q "<TITLE>Rolling ball</TITLE>" "$page/index.html" || fail "the page lacks the typed title: $(head -c 400 "$page/index.html")"
grep -q "^src=$folder/samples/rolling-ball.avi" "$page/data.txt" || fail "data.txt lacks the source: $(cat "$page/data.txt")"
[ -f "$page/veltro.js" ] || fail "the page has no browser viewer"

# The album's first row is the page: its text is drawn right of the
# thumbnail, so the row is not the white of an empty list.
row=$(import -window "$album" -crop 300x50+160+60 +repage -format '%[fx:standard_deviation]' info: 2>/dev/null)
awk -v d="${row:-0}" 'BEGIN { exit !(d > 0.05) }' || fail "the album's first row looks empty (deviation ${row:-none})"

# Main menu (11 at 6 478 58 58), then quit (0 at 684 10 28 28) and its
# question's first button.
click_at "$album" 35 507
window_gone "^Album\$" || fail "the album stayed open"
main=$(find_window "^VELTRO Lite\$") || fail "no main window after the album; visible: $(visible_titles)"
shot 8_main_again
click_at "$main" 698 24
question=$(find_window "^Message\$") || fail "no quit question; visible: $(visible_titles)"
shot 9_quit_question
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
[ -f "$page/index.html" ] || fail "the page is gone after quitting"
echo "PASS"
