#!/usr/bin/env bash
# The real-footage check: sample clips that Debian packages ship, opened by
# our readers (through veltrotool) and compared with FFmpeg's own decoding.
# For each clip present, four frames (the first, a third, two thirds, the
# last) are each asked for by a fresh veltrotool process, so every frame is
# reached by a direct jump, and compared with the same frame as the ffmpeg
# program decodes it: PSNR >= 30 dB everywhere. Frame counts must be within 2
# of FFmpeg's. AVI frames are sample slots in time, so for AVI files FFmpeg's
# output is first resampled to the stream's constant rate; QuickTime frames
# are proportional times over the picture's span, so FFmpeg's picture at the
# same time is taken. Both sides crop
# pictures exactly to the stream's picture area (FFmpeg's "unaligned" flag).
#
#   scripts/realfootage.sh [--fetch] [--table FILE]
#
# A clip is looked for at its installed path, then in the footage cache
# (VELTRO_FOOTAGE_DIR, default build-test/footage). --fetch downloads the
# packages that ship the clips (apt-get download, no installation, so none
# of their dependencies come along) and unpacks them into the cache. Absent
# clips are skipped; when none is present the script exits 77 (ctest's
# "skipped"). VELTROTOOL names the program (default build/dist/veltrotool).
# The clips, their packages and what they hold: scripts/realfootage.list.
set -uo pipefail
cd "$(dirname "$0")/.."
list=scripts/realfootage.list
fetch=0
table=""
cache=${VELTRO_FOOTAGE_DIR:-build-test/footage}
while [ $# -gt 0 ]; do
  case $1 in
    --fetch) fetch=1 ;;
    --table) table=$2; shift ;;
    *) echo "usage: $0 [--fetch] [--table FILE]" >&2; exit 2 ;;
  esac
  shift
done
tool=${VELTROTOOL:-build/dist/veltrotool}
if [ ! -x "$tool" ]; then
  echo "realfootage: no veltrotool at $tool" >&2
  exit 2
fi
if ! command -v ffmpeg > /dev/null || ! command -v ffprobe > /dev/null; then
  echo "realfootage: the ffmpeg program is needed (package ffmpeg); skipped"
  exit 77
fi
if [ $fetch = 1 ]; then
  mkdir -p "$cache/debs"
  for package in $(grep -v '^#' "$list" | cut -d'|' -f1 | sort -u); do
    ls "$cache/debs/${package}"_*.deb > /dev/null 2>&1 ||
      (cd "$cache/debs" && apt-get download "$package") || echo "realfootage: cannot download $package" >&2
  done
  for deb in "$cache"/debs/*.deb; do
    [ -f "$deb" ] && dpkg -x "$deb" "$cache/root"
  done
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
rows=()
failures=0
present=0

psnr() {  # ours.png ref.png -> average PSNR in dB ("inf" when identical)
  ffmpeg -nostdin -hide_banner -nostats -i "$1" -i "$2" -lavfi "[0:v][1:v]psnr" -f null - 2>&1 |
    sed -n 's/.*average:\([0-9.a-z]*\).*/\1/p' | tail -1
}

while IFS='|' read -r -u 3 package clip what; do
  case $package in ''|'#'*) continue ;; esac
  if [ ! -f "$clip" ]; then
    clip=$cache/root$clip
  fi
  if [ ! -f "$clip" ]; then
    rows+=("| $what | $package | absent | | | | skipped |")
    continue
  fi
  present=$((present + 1))
  info=$("$tool" info "$clip" 2>&1 < /dev/null) || {
    rows+=("| $what | $package | our readers cannot open it | | | | FAIL |")
    failures=$((failures + 1)); continue; }
  ours=$(sed -n 's/.*"frames": *\([0-9]*\).*/\1/p' <<< "$info")
  format=$(sed -n 's/.*"format": *"\([^"]*\)".*/\1/p' <<< "$info")
  # FFmpeg's count: decoded pictures; for AVI, sample slots at the stream rate.
  if [[ $format == AVI* ]]; then
    rate=$(ffprobe -v error < /dev/null -select_streams v:0 -show_entries stream=r_frame_rate -of csv=p=0 "$clip" | cut -d, -f1 | head -1)
    theirs=$(ffmpeg -nostdin -hide_banner -nostats -i "$clip" -map 0:v:0 -vf "fps=$rate" -f null - 2>&1 |
             sed -n 's/.*frame= *\([0-9]*\).*/\1/p' | tail -1)
    filter="fps=$rate,"
  else
    theirs=$(ffprobe -v error < /dev/null -select_streams v:0 -count_frames \
             -show_entries stream=nb_read_frames -of csv=p=0 "$clip" | cut -d, -f1 | head -1)
    filter=""
  fi
  # QuickTime frames are proportional times over the picture's span: frame n
  # of N shows the first picture at or after n x span / N (or the picture
  # still showing at the end), so FFmpeg's picture is picked the same way.
  starts=""
  if [[ $format == QuickTime* ]]; then
    span=$(ffprobe -v error < /dev/null -select_streams v:0 -show_entries stream=duration -of csv=p=0 "$clip" | head -1)
    starts=$(ffprobe -v error < /dev/null -select_streams v:0 -show_entries frame=best_effort_timestamp_time \
             -of csv=p=0 "$clip" | cut -d, -f1 | sort -g | tr '\n' ' ')
  fi
  status=ok
  if [ -z "$ours" ] || [ -z "$theirs" ] || [ $((ours > theirs ? ours - theirs : theirs - ours)) -gt 2 ]; then
    status=FAIL
  fi
  worst=inf
  frames=""
  last=$((ours - 1))
  for n in 0 $((last / 3)) $((2 * last / 3)) $last; do
    [ "$n" -ge 0 ] || continue
    pick=$n
    if [ -n "$starts" ]; then
      pick=$(awk -v n="$n" -v count="$ours" -v span="$span" -v starts="$starts" 'BEGIN {
        k = split(starts, s, " "); t = span * n / count
        for (i = 1; i <= k; i++) if (s[i] >= t - 1e-6) { print i - 1; exit }
        print k - 1 }')
    fi
    rm -rf "$work/ours" "$work/ref.png"
    "$tool" frames "$clip" "$work/ours" --from "$n" --to "$n" > /dev/null 2>&1 < /dev/null
    ffmpeg -nostdin -hide_banner -v error -flags unaligned -i "$clip" -map 0:v:0 \
      -vf "${filter}select=eq(n\,$pick)" -vsync passthrough -frames:v 1 -pix_fmt rgb24 "$work/ref.png" 2>/dev/null
    mine=$(printf '%s/ours/frame%05d.png' "$work" "$n")
    if [ ! -f "$mine" ] || [ ! -f "$work/ref.png" ]; then
      value="none"
    else
      value=$(psnr "$mine" "$work/ref.png")
      if [ -z "$value" ]; then
        # Different sizes: measured after scaling FFmpeg's picture to ours,
        # marked, and counted as a failure.
        value=$(ffmpeg -nostdin -hide_banner -nostats -i "$mine" -i "$work/ref.png" -lavfi \
                "[1:v][0:v]scale2ref=flags=bilinear[r][o];[o][r]psnr" -f null - 2>&1 |
                sed -n 's/.*average:\([0-9.a-z]*\).*/\1/p' | tail -1)
        sizes="$(ffprobe -v error -show_entries stream=width,height -of csv=p=0:s=x "$mine" < /dev/null) vs $(ffprobe -v error -show_entries stream=width,height -of csv=p=0:s=x "$work/ref.png" < /dev/null)"
        value="${value:-none}(size $sizes)"
      fi
    fi
    frames+="$n:$value "
    if [[ $value == *size* ]]; then
      status=FAIL
    elif [ "$value" = none ]; then
      worst=none
    elif [ "$value" != inf ] && [ "$worst" != none ]; then
      if [ "$worst" = inf ] || awk "BEGIN{exit !($value < $worst)}"; then worst=$value; fi
    fi
  done
  if [ "$worst" = none ] || { [ "$worst" != inf ] && awk "BEGIN{exit !($worst < 30)}"; }; then
    status=FAIL
  fi
  [ $status = ok ] || failures=$((failures + 1))
  rows+=("| $what | $package | $format | $ours / $theirs | ${frames% } | $worst | $status |")
done 3< "$list"

{
  echo "| clip | package | our reader | frames (ours / FFmpeg) | PSNR dB at frame | worst | result |"
  echo "|---|---|---|---|---|---|---|"
  printf '%s\n' "${rows[@]}"
} | tee ${table:+"$table"}
if [ $present = 0 ]; then
  echo "realfootage: none of the clips is here (scripts/realfootage.sh --fetch gets them); skipped"
  exit 77
fi
echo "$present clips checked, $failures failed"
[ $failures = 0 ]
