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
#
# Window helpers, all driven with real X input: find_window PATTERN,
# window_gone PATTERN (PATTERN as for xdotool search --name, so "^Edit$" is
# the title exactly), visible_titles, click_at WINDOW X Y [MODIFIER].

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

# Waits up to 60 s (the machine may be busy) for a visible window whose title
# matches the pattern, and prints its id.
find_window() {
  local id
  for _ in $(seq 600); do
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1)
    if [ -n "$id" ]; then
      echo "$id"
      return 0
    fi
    sleep 0.1
  done
  return 1
}
# Waits up to 10 s until no visible window's title matches the pattern.
window_gone() {
  for _ in $(seq 100); do
    xdotool search --onlyvisible --name "$1" >/dev/null 2>&1 || return 0
    sleep 0.1
  done
  return 1
}
# The titles of every visible window, for failure reports.
visible_titles() {
  xdotool search --onlyvisible --name . 2>/dev/null | while read -r id; do
    printf '"%s" ' "$(xdotool getwindowname "$id")"
  done
}
# A real pointer move and click over the window, with a key held when given.
click_at() {  # window x y [modifier]
  xdotool mousemove --window "$1" "$2" "$3" && sleep 0.2
  if [ -n "${4:-}" ]; then
    xdotool keydown "$4" click 1 keyup "$4"
  else
    xdotool click 1
  fi
  sleep 0.3
}
