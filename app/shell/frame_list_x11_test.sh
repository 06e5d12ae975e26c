#!/usr/bin/env bash
# A clip from still pictures with the built program under a real X server
# (Xvfb) and real input events (xdotool): the main window's frame-list button
# opens the list dialog, "Add images..." opens the thumbnail browser, its
# "..." folder chooser is given a folder of photos with a space in its name
# (ImageMagick makes them; one is damaged), a Shift click chooses them all,
# the list is saved as tmp/vn0.txt beside the program and opened as a clip.
# Usage: frame_list_x11_test.sh VELTROLT DIST_DIR SCREENSHOT_DIR
set -uo pipefail
program=$1
dist=$2
shots=$3

source "$(dirname "$0")/x11_session.sh"
x11_session framelist convert

# Five photos of a box moving right, JPEG and PNG, and one cut short.
photos="$work/my photos"
mkdir -p "$photos"
for i in 0 1 2 3 4; do
  ext=jpg; [ $((i % 2)) -eq 1 ] && ext=png
  convert -size 640x480 "xc:rgb($((40 * i)),120,200)" -fill white \
    -draw "rectangle $((100 + 60 * i)),150 $((220 + 60 * i)),330" "$photos/shot $i.$ext" || fail "convert failed"
done
head -c 2000 "$photos/shot 0.jpg" >"$photos/shot 0b.jpg"

ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0} "$folder/veltrolt" >"$work/veltrolt.log" 2>&1 &
app_pid=$!

main=$(find_window "^VELTRO Lite\$") || fail "no main window; log: $(cat "$work/veltrolt.log")"
sleep 0.5
click_at "$main" 434 334                 # a new clip from a frame list
list=$(find_window "^Image list\$") || fail "the frame list dialog did not open; log: $(cat "$work/veltrolt.log")"
click_at "$list" 76 386                  # Add images...
browser=$(find_window "^Open images\$") || fail "the thumbnail browser did not open"
click_at "$browser" 480 15               # "..." folder chooser
chooser=$(find_window "Directory|Folder|Select") || fail "no folder chooser"
sleep 0.5
xdotool type --delay 20 "$photos"
xdotool key Return
sleep 1
window_gone "Directory|Folder|Select" || { xdotool key Return; sleep 1; }
# The browser lists "..", then the six photos; every thumbnail is built
# within moments (the progress window closes by itself).
window_gone "^Loading images\$" || fail "the thumbnails never finished"
sleep 0.5
click_at "$browser" 150 85               # shot 0.jpg
click_at "$browser" 150 185 shift        # shot 4.jpg, second row
sleep 0.3
import -window root "$shots/x11_image_browser.png"
click_at "$browser" 130 462              # OK
# The damaged photo is named in a message and left out.
note=$(find_window "^Message\$") || fail "no message about the damaged photo"
import -window root "$shots/x11_unreadable_note.png"
xdotool key Return
window_gone "^Open images\$" || fail "the browser stayed open"
sleep 0.5
import -window root "$shots/x11_frame_list_dialog.png"
click_at "$list" 438 386                 # OK: save and open
window_gone "^Image list\$" || fail "the frame list dialog stayed open; log: $(cat "$work/veltrolt.log")"

saved="$folder/tmp/vn0.txt"
[ -f "$saved" ] || fail "no list at $saved; log: $(cat "$work/veltrolt.log")"
echo "vn0.txt:"
cat "$saved"
expected="640 480 5 5
N 0 $photos/shot 0.jpg
N 1 $photos/shot 1.png
N 2 $photos/shot 2.jpg
N 3 $photos/shot 3.png
N 4 $photos/shot 4.jpg
-"
[ "$(cat "$saved")" = "$expected" ] || fail "the list is not the five photos in order"

# The clip opens: the next window of the flow (the edit window once there is
# one, a note about the new clip before that).
next=$(find_window "^(Edit|Message)\$") || fail "the clip did not open; log: $(cat "$work/veltrolt.log")"
sleep 0.3
import -window root "$shots/x11_clip_opened.png"
echo "PASS"
