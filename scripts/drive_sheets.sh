#!/usr/bin/env bash
# Drives the real viewer's two batch commands as a person would, with keys and typing on a virtual
# display with a window manager. File > Build a Mosaic File: types the pictures' folder, Select All,
# OK, Yes to open the sheet; then points at the first thumbnail and double-clicks it. File > Convert
# Files (Batch): types the source and destination folders, Select All, Tiff, Convert.
# A screenshot of every dialog while it is open, and of the opened sheet, goes to OUT_DIR. Then checks
# the sheet and its index, that the sheet and the double-clicked picture showed on screen, and that
# every converted file holds the pixels the command line gives for the same file.
#   scripts/drive_sheets.sh [BUILD_DIR] [OUT_DIR]
# Exits non-zero, naming the step, when a step or a check fails. DRIVE_VIEWER_WAIT sets how many
# seconds a window may take to appear or go (default 20).
set -euo pipefail

script=drive_sheets.sh
build=$(cd "${1:-build}" && pwd)
out=${2:-$build/drive-sheets}
wait_limit=${DRIVE_VIEWER_WAIT:-20}
python=/usr/bin/python3  # Debian's, which has Pillow
started=$SECONDS
source "$(dirname "$0")/drive_session.sh"

for program in wlumo lumo; do
  [ -x "$build/bin/$program" ] || fail "$build/bin/$program is missing; build first"
done
mkdir -p "$out"
out=$(cd "$out" && pwd)
rm -f "$out"/[0-9][0-9]-*.png "$out/failure.png" "$out/wlumo.log"

work=$(mktemp -d)
trap 'stop_session; rm -rf "$work"' EXIT
start_session

# --- The pictures: five files of four formats and odd sizes, one with an upper-case extension, and
# a text file the lists leave out. The sorted list puts a.jpg first, so it fills the first cell.
pictures="$work/pictures"
destination="$work/converted"
mkdir -p "$pictures" "$destination" "$work/start" "$work/expected"
convert -seed 7 -size 320x240 plasma:fractal -quality 90 "$pictures/a.jpg" || fail "ImageMagick could not make the pictures"
convert -seed 8 -size 200x100 plasma:fractal "$pictures/b.gif"
convert -seed 9 -size 160x120 gradient:red-blue "$pictures/C.BMP"
convert -seed 10 -size 240x180 plasma:fractal "$pictures/d.tif"
convert -seed 11 -size 100x300 plasma:fractal -quality 80 "$pictures/e.jpg"
echo "not a picture" > "$pictures/notes.txt"

export LUMO_PROFILE="$work/profile/WIN.INI"
mkdir -p "$(dirname "$LUMO_PROFILE")"
# Started in an empty folder: the dialogs must be taken to the pictures.
(cd "$work/start" && QT_QPA_PLATFORM=xcb exec "$build/bin/wlumo") > "$out/wlumo.log" 2>&1 &
viewer_pid=$!
frame=$(wait_window '^Lumo v1\.2e' "start")
wait_active "$frame" "start"
timeout 3 xdotool search --sync --onlyvisible --name '^Lumo for Windows$' > /dev/null 2>&1 || true
eval "$(xdotool getwindowgeometry --shell "$frame")"
xdotool mousemove --sync $((X + WIDTH / 4)) $((Y + HEIGHT * 3 / 4)) click 1  # dismisses the sign-on box
wait_gone '^Lumo for Windows$' "a click in the frame"

# 1. File > Build a Mosaic File: the folder typed in "Current Directory" (where the focus starts),
# Select All, OK.
xdotool key alt+f m
dialog=$(wait_window '^Select files that will be included in the mosaic$' "File > Build a Mosaic File")
wait_active "$dialog" "the mosaic dialog"
replace_text "$pictures"
sleep 0.5
shot 01-mosaic-dialog-folder
xdotool key alt+a
sleep 0.3
shot 02-mosaic-dialog-all-selected
xdotool key Return
question=$(wait_window '^Info$' "OK in the mosaic dialog")
wait_active "$question" "the mosaic question"
shot 03-mosaic-question
xdotool key Return  # Yes: open the sheet
wait_gone '^Info$' "Yes to the mosaic question"

[ -s "$pictures/-mosaic.jpg" ] || fail "no -mosaic.jpg in $pictures"
[ "$(sed -n 1p "$pictures/-mosaic.idx")" = "*IDX index table" ] || fail "-mosaic.idx does not start with its title line"
[ "$(wc -l < "$pictures/-mosaic.idx")" -eq 6 ] || fail "-mosaic.idx does not have a line for each of the 5 files"
[ "$(sed -n 2p "$pictures/-mosaic.idx" | awk '{print $1}')" = a.jpg ] || fail "the first cell of -mosaic.idx is not a.jpg"

# The sheet on screen: the command line reads it with the same library and profile.
"$build/bin/lumo" convert "$pictures/-mosaic.jpg" -o "$work/expected/sheet.bmp" > /dev/null || fail "lumo convert of the sheet failed"
read -r sheet_x sheet_y < <(wait_picture 04-sheet-opened "$work/expected/sheet.bmp" "the opened sheet is not on screen")

# 2. The first thumbnail (a.jpg fills its 80x60 cell): pointing names it on the status line, a
# double click opens it.
xdotool mousemove --sync $((sheet_x + 40)) $((sheet_y + 30))
sleep 0.2
xdotool mousemove --sync $((sheet_x + 41)) $((sheet_y + 31))  # a second move, so Qt sees the pointer move inside
sleep 0.5
shot 05-sheet-thumbnail-named
xdotool click --repeat 2 --delay 80 1
# The picture opens in a cascaded window smaller than itself: its middle is what must show.
"$build/bin/lumo" convert "$pictures/a.jpg" -o "$work/expected/a.bmp" > /dev/null || fail "lumo convert of a.jpg failed"
"$python" -c 'import sys; from PIL import Image; Image.open(sys.argv[1]).crop((110, 70, 210, 170)).save(sys.argv[2])' \
  "$work/expected/a.bmp" "$work/expected/a-middle.png"
wait_picture 06-thumbnail-opened "$work/expected/a-middle.png" "double-clicking the first thumbnail did not open a.jpg" > /dev/null

# 3. File > Convert Files (Batch): source typed (the focus starts there), destination typed,
# Select All, Tiff (one down from Jpeg), Convert.
xdotool key alt+f b
dialog=$(wait_window '^Convert Files \(Batch\)$' "File > Convert Files (Batch)")
wait_active "$dialog" "the batch dialog"
replace_text "$pictures"
xdotool key alt+d
replace_text "$destination"
xdotool key alt+a
xdotool key alt+o Down
sleep 0.5
shot 07-convert-dialog
xdotool key Return
report=$(wait_window '^Info$' "Convert in the batch dialog")
wait_active "$report" "the batch report"
shot 08-convert-report
xdotool key Return
wait_gone '^Info$' "closing the batch report"

# The folder now also holds the sheet, which Select All took too.
for source_file in a.jpg b.gif C.BMP d.tif e.jpg -mosaic.jpg; do
  name=${source_file%.*}
  [ -s "$destination/$name.tif" ] || fail "Convert did not write $destination/$name.tif"
  "$build/bin/lumo" convert "$pictures/$source_file" -o "$work/expected/$name.tif" > /dev/null \
    || fail "lumo convert of $source_file failed"
  difference=$("$python" - "$destination/$name.tif" "$work/expected/$name.tif" 2>&1 << 'PYTHON'
import sys
from PIL import Image
made, expected = (Image.open(p).convert("RGB") for p in sys.argv[1:3])
if made.size != expected.size or made.tobytes() != expected.tobytes():
    sys.exit(f"{sys.argv[1]} differs from {sys.argv[2]}")
PYTHON
  ) || fail "the batch converter's $name.tif: $difference"
done
[ "$(ls "$destination" | wc -l)" -eq 6 ] || fail "the destination holds other files than the 6 converted"

shot 09-result
quit_viewer

echo "$script: all steps and checks passed in $((SECONDS - started))s; screenshots in $out"
