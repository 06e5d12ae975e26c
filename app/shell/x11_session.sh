# Shared by the real-X journeys (sourced, not run): a private X server and a
# portable program folder for one run of the built program.
#
# Before sourcing, set program (the built veltrolt), dist (the distribution
# folder) and shots (where screenshots go). Then
#   x11_session NAME TOOL...
# checks that Xvfb, xdotool, import and the further TOOLs are present, makes
# $work (removed on exit, with the X server and $app_pid stopped), lays out
# $folder with the program beside the shipped data, and starts Xvfb on the
# first free display, exporting DISPLAY.

fail() { echo "FAIL: $*" >&2; exit 1; }

xvfb_pid=""
app_pid=""
x11_cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}

x11_session() {
  local name=$1 tool
  shift
  for tool in Xvfb xdotool import "$@"; do
    command -v "$tool" >/dev/null || fail "$tool is missing (scripts/install-deps.sh test installs it)"
  done

  work=$(mktemp -d "${TMPDIR:-/tmp}/veltrolt-$name-XXXXXX")
  trap x11_cleanup EXIT

  # A fresh portable program folder: the program beside the shipped data.
  folder=$work/veltro
  mkdir -p "$folder" "$shots"
  cp "$program" "$folder/veltrolt"
  for part in res doc template samples; do
    ln -s "$dist/$part" "$folder/$part"
  done

  # Xvfb picks the first free display and writes its number to fd 5.
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
}
