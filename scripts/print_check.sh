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

script=print_check.sh
python=/usr/bin/python3  # Debian's, which has Pillow
# shellcheck source=scripts/drive_session.sh
source "$(dirname "$0")/drive_session.sh"
for tool in pdftoppm pdfinfo; do
  command -v "$tool" > /dev/null || fail "$tool is missing (scripts/setup.sh installs it)"
done
[ -x "$build/bin/wlumo" ] || fail "$build/bin/wlumo is missing; build first"
mkdir -p "$out"
out=$(cd "$out" && pwd)
rm -f "$out"/*.png "$out/printed.pdf"

work=$(mktemp -d)
cleanup() {
  stop_session
  rm -rf "$work"
}
trap cleanup EXIT

start_session
export HOME="$work"

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
