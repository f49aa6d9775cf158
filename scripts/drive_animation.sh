#!/usr/bin/env bash
# Plays a three-frame animated GIF (or the same animation as a lossless WebP file) in the real viewer on a virtual display: each frame must appear
# on the screen as ImageMagick's -coalesce composes it, after its delay, and Space must hold the frame
# shown. The screenshots go to OUT_DIR.
#   scripts/drive_animation.sh [BUILD_DIR] [OUT_DIR] [gif|webp]
# Exits non-zero, naming the step, when a step or a check fails. DRIVE_VIEWER_WAIT sets how many
# seconds a window may take to appear (default 20).
set -euo pipefail

build=$(cd "${1:-build}" && pwd)
out=${2:-$build/drive-animation}
format=${3:-gif}
wait_limit=${DRIVE_VIEWER_WAIT:-20}
python=/usr/bin/python3  # Debian's, which has Pillow
started=$SECONDS
unset DISPLAY

script=drive_animation.sh
# shellcheck source=scripts/drive_session.sh
source "$(dirname "$0")/drive_session.sh"

[ -x "$build/bin/wlumo" ] || fail "$build/bin/wlumo is missing; build first"
command -v convert > /dev/null || fail "ImageMagick's convert is missing (scripts/setup.sh installs it)"

mkdir -p "$out"
out=$(cd "$out" && pwd)
rm -f "$out"/*.png "$out/wlumo.log"

work=$(mktemp -d)
cleanup() {
  stop_session
  rm -rf "$work"
}
trap cleanup EXIT

# --- The animation: 1.5 s of red, a blue square drawn on it for 2.5 s, then green for 3.5 s --------
convert -size 120x90 -delay 150 xc:red -delay 250 -page +20+15 -size 50x40 xc:blue \
        -delay 350 -page +0+0 -size 120x90 xc:lime -loop 0 "$work/anim.gif" || fail "could not make the GIF"
convert "$work/anim.gif" -coalesce "$work/frame-%d.png" || fail "ImageMagick could not compose the frames"
# The WebP file from the composed frames (libwebp's encoder cuts them to what changes); ImageMagick 6
# is not used for it: it writes each frame with the next one's delay.
if [ "$format" = webp ]; then
  img2webp -lossless -loop 0 -d 1500 "$work/frame-0.png" -d 2500 "$work/frame-1.png" -d 3500 "$work/frame-2.png" \
           -o "$work/anim.webp" > /dev/null 2>&1 || fail "could not make the WebP file"
fi

start_session
export LUMO_PROFILE="$work/profile/WIN.INI"
mkdir -p "$(dirname "$LUMO_PROFILE")"
printf '[Lumo]\n' > "$LUMO_PROFILE"
QT_QPA_PLATFORM=xcb "$build/bin/wlumo" "$work/anim.$format" > "$out/wlumo.log" 2>&1 &
viewer_pid=$!
frame=$(wait_window '^Lumo v1\.2e' "start")
wait_active "$frame" "start"

# The moment (in tenths of a second since the start) each frame is first seen.
now() { echo $(( $(date +%s%N) / 100000000 )); }
seen=()
for k in 0 1 2; do
  wait_picture "0$((k + 1))-frame-$((k + 1))" "$work/frame-$k.png" "frame $((k + 1)) never appeared" > /dev/null
  seen+=("$(now)")
done
second=$(( seen[1] - seen[0] )) third=$(( seen[2] - seen[1] ))
echo "$script: frame 2 came ${second}/10 s after frame 1 (delay 1.5 s), frame 3 ${third}/10 s after frame 2 (delay 2.5 s)"
# A frame is seen within a screenshot's time of its change, so each gap may be off by about that.
[ "$second" -ge 9 ] && [ "$second" -le 24 ] || fail "frame 2 did not follow frame 1 after its delay"
[ "$third" -ge 18 ] && [ "$third" -le 34 ] || fail "frame 3 did not follow frame 2 after its delay"

# Space pauses on the frame shown: still there after longer than every delay.
wait_picture 04-frame-1-again "$work/frame-0.png" "the animation did not loop back to frame 1" > /dev/null
xdotool key space
sleep 4
shot 05-paused
find_picture "$out/05-paused.png" "$work/frame-0.png" > /dev/null || fail "Space did not hold frame 1 (see $out/05-paused.png)"
xdotool key space
wait_picture 06-playing-again "$work/frame-1.png" "Space did not resume the playing" > /dev/null

quit_viewer
echo "$script: all steps and checks passed in $((SECONDS - started))s; screenshots in $out"
