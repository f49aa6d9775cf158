#!/usr/bin/env bash
# Prints a picture from the real viewer as a person would, on a virtual display with a window
# manager: opens a tall picture, presses Ctrl+Shift+F12, takes a screenshot of the print dialog,
# prints to a PDF file (with no printer Qt offers PDF output) and renders the page back.
#   scripts/print_check.sh [BUILD_DIR] [OUT_DIR]
# OUT_DIR receives 01-print-dialog.png, 01-print-options.png, 02-after-print.png, printed.pdf and page.png.
set -euo pipefail

build=$(cd "${1:-build}" && pwd)
out=${2:-$build/print-check}
wait_limit=${PRINT_CHECK_WAIT:-20}
unset DISPLAY

fail() { echo "print_check.sh: FAILED: $*" >&2; exit 1; }
for tool in Xvfb openbox xdotool import convert pdftoppm pdfinfo; do
  command -v "$tool" > /dev/null || fail "$tool is missing (scripts/setup.sh installs it)"
done
[ -x "$build/bin/wlumo" ] || fail "$build/bin/wlumo is missing; build first"
mkdir -p "$out"
out=$(cd "$out" && pwd)
rm -f "$out"/*.png "$out/printed.pdf"

work=$(mktemp -d)
xvfb_pid="" wm_pid="" viewer_pid=""
cleanup() {
  for pid in "$viewer_pid" "$wm_pid" "$xvfb_pid"; do
    if [ -n "$pid" ]; then kill "$pid" 2> /dev/null || true; fi
  done
  rm -rf "$work"
}
trap cleanup EXIT

Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3> "$work/display" 2> "$work/xvfb.log" &
xvfb_pid=$!
deadline=$((SECONDS + wait_limit))
until grep -q '^[0-9]' "$work/display" 2> /dev/null; do
  [ "$SECONDS" -lt "$deadline" ] || fail "Xvfb did not start"
  sleep 0.1
done
export DISPLAY=":$(head -n 1 "$work/display")"
export HOME="$work" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime" DBUS_SESSION_BUS_ADDRESS=disabled:
mkdir -p "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
openbox --sm-disable > "$work/openbox.log" 2>&1 &
wm_pid=$!
deadline=$((SECONDS + wait_limit))
until xdotool get_num_desktops > /dev/null 2>&1; do
  [ "$SECONDS" -lt "$deadline" ] || fail "openbox did not start"
  sleep 0.1
done

wait_window() {
  local id
  id=$(timeout "$wait_limit" xdotool search --sync --onlyvisible --name "$1" 2> /dev/null | head -n 1) || true
  [ -n "$id" ] || fail "$2: no window titled \"$1\" appeared"
  echo "$id"
}

# A tall picture with a red top row and a blue bottom row, so the page shows it the right way up.
picture="$work/tall.bmp"
convert -size 120x300 gradient:yellow-green -fill red -draw "rectangle 0,0 119,29" \
  -fill blue -draw "rectangle 0,270 119,299" -type TrueColor "BMP3:$picture"

export LUMO_PROFILE="$work/WIN.INI"
(cd "$work" && QT_QPA_PLATFORM=xcb exec "$build/bin/wlumo" "$picture") > "$out/wlumo.log" 2>&1 &
viewer_pid=$!
frame=$(wait_window '^Lumo v1\.2e' "start")
xdotool windowactivate --sync "$frame" 2> /dev/null || true
sleep 1

xdotool key ctrl+shift+F12
dialog=$(wait_window '^Print' "Ctrl+Shift+F12 (Print)")
sleep 1
import -silent -window root "$out/01-print-dialog.png"
xdotool windowactivate --sync "$dialog" 2> /dev/null || true
xdotool key alt+o  # "Options >>": copies, and no page range
sleep 1
import -silent -window root "$out/01-print-options.png"
# The dialog offers PDF output to a file in the current folder; Return prints there.
xdotool key Return
deadline=$((SECONDS + wait_limit))
until pdf=$(find "$work" -maxdepth 1 -name '*.pdf' | head -n 1) && [ -n "$pdf" ] && pdfinfo "$pdf" > /dev/null 2>&1; do
  [ "$SECONDS" -lt "$deadline" ] || { import -silent -window root "$out/failure.png"; fail "no PDF was written"; }
  sleep 0.3
done
sleep 0.5
import -silent -window root "$out/02-after-print.png"
cp "$pdf" "$out/printed.pdf"
pdfinfo "$out/printed.pdf" | grep -E '^(Title|Pages|Page size):'
pdftoppm -r 50 -singlefile -png "$out/printed.pdf" "$out/page"
echo "$out"
