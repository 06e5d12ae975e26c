#!/usr/bin/env bash
# A clip from the camera with the built program under a real X server (Xvfb)
# and real input events (xdotool), on the synthetic camera: the main window's
# camera button opens the capture window, its preview shows the camera's
# picture, Start records, a click on the window stops, the recording is kept
# as tmp/nv0.avi beside the program and opens in the edit window.
# Usage: camera_x11_test.sh VELTROLT DIST_DIR SCREENSHOT_DIR
set -uo pipefail
program=$1
dist=$2
shots=$3

source "$(dirname "$0")/x11_session.sh"
x11_session camera

window_size() {  # window -> "width height"
  xdotool getwindowgeometry --shell "$1" | awk -F= '/^WIDTH/ {w = $2} /^HEIGHT/ {h = $2} END {print w, h}'
}
# The standard deviation of a window's pixels in a rectangle: 0 for a flat
# colour, so a picture shows as more than a few hundredths.
spread() {  # window WxH+X+Y
  import -window "$1" -crop "$2" +repage -format '%[fx:standard_deviation]' info: 2>/dev/null
}

VELTRO_SYNTHETIC_CAMERA=1 ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0} "$folder/veltrolt" >"$work/veltrolt.log" 2>&1 &
app_pid=$!

main=$(find_window "^VELTRO Lite\$") || fail "no main window; log: $(cat "$work/veltrolt.log")"
sleep 0.5
click_at "$main" 270 334                 # the camera button (6 at 194 246 152 176)
capture=$(find_window "^Capture\$") || fail "the capture window did not open; log: $(cat "$work/veltrolt.log")"

# The window is laid out around the preview: (w + 85) x (h + 70), Start at
# its top right. Wait for the first picture to size it.
for _ in $(seq 100); do
  read -r width height <<<"$(window_size "$capture")"
  [ "${width:-0}" -gt 420 ] && break
  sleep 0.1
done
[ "${width:-0}" -gt 85 ] && [ "${height:-0}" -gt 70 ] || fail "no capture window size: $width x $height"
preview_w=$((width - 85))
preview_h=$((height - 70))
sleep 0.5
import -window root "$shots/x11_capture_preview.png"
picture=$(spread "$capture" "${preview_w}x${preview_h}+0+0")
awk -v d="${picture:-0}" 'BEGIN { exit !(d > 0.05) }' || fail "the preview shows no picture (deviation ${picture:-none})"

click_at "$capture" $((width - 42)) 17   # Start
# While it records, the title counts the frames.
counting=""
for _ in $(seq 100); do
  counting=$(xdotool getwindowname "$capture" 2>/dev/null)
  [[ $counting =~ [1-9] ]] && break
  sleep 0.1
done
[[ $counting =~ [1-9] ]] || fail "the title never counted frames: \"$counting\"; log: $(cat "$work/veltrolt.log")"
sleep 2
import -window root "$shots/x11_capture_recording.png"
click_at "$capture" $((preview_w / 2)) $((preview_h / 2))   # a click stops the recording

edit=$(find_window "^Edit\$") || fail "the recording did not open in the edit window; log: $(cat "$work/veltrolt.log")"
sleep 1
import -window root "$shots/x11_capture_edit.png"
recorded="$folder/tmp/nv0.avi"
[ -f "$recorded" ] || fail "no recording at $recorded: $(ls -R "$folder/tmp" 2>&1)"
info=$("$dist/veltrotool" info "$recorded" 2>&1) || fail "the recording does not open: $info"
frames=$(sed -n 's/.*"frames": *\([0-9]*\).*/\1/p' <<<"$info")
echo "recorded: $info"
[ "${frames:-0}" -ge 10 ] || fail "only ${frames:-no} frames recorded in over two seconds"
# The edit window shows the clip's first picture in its picture area.
shown=$(spread "$edit" "200x150+260+220")
awk -v d="${shown:-0}" 'BEGIN { exit !(d > 0.05) }' || fail "the edit window shows no picture (deviation ${shown:-none})"
echo "PASS"
