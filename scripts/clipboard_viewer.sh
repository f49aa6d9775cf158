#!/usr/bin/env bash
# The viewer and other programs sharing the clipboard on a virtual display with a window manager:
#  1. the viewer opens a 256-colour picture, copies it and closes its window; xclip, in another
#     process, then reads "image/png" and "image/bmp", which must hold the picture's exact pixels;
#  2. xclip offers a PNG, a 1-bit BMP whose first colour is white, a 4-bit BMP of 6 colours and a
#     24-bit BMP; each time a new viewer pastes it into "New 1" and copies that window, and the BMP
#     read back must have the expected bit count (24, 1, 4, 24) and the source's pixels;
#  3. xclip offers a BMP cut short and a PNG that is no PNG: the viewer pastes nothing and says so
#     in a message box ("Error", "Info").
#   scripts/clipboard_viewer.sh [BUILD_DIR] [OUT_DIR]
# Exits non-zero, naming the step, when a check fails. CLIPBOARD_VIEWER_WAIT sets how many seconds
# the viewer may take to take over the clipboard (default 20).
set -euo pipefail

build=$(cd "${1:-build}" && pwd)
out=${2:-$build/clipboard-viewer}
wait_limit=${CLIPBOARD_VIEWER_WAIT:-20}
python=/usr/bin/python3  # Debian's, which has Pillow
started=$SECONDS
unset DISPLAY  # the virtual display below is set once it runs; nothing goes to the user's

script=clipboard_viewer.sh
# shellcheck source=scripts/drive_session.sh
source "$(dirname "$0")/drive_session.sh"
command -v xclip > /dev/null || fail "xclip is missing (scripts/setup.sh installs it)"
[ -x "$build/bin/wlumo" ] || fail "$build/bin/wlumo is missing; build first"
mkdir -p "$out"
out=$(cd "$out" && pwd)

work=$(mktemp -d)
xclip_pid=""
stop() {  # stop PID: ends a process this script started, if it still runs
  if [ -n "$1" ]; then
    kill "$1" 2> /dev/null || true
    wait "$1" 2> /dev/null || true
  fi
}
cleanup() {
  stop "$xclip_pid"
  stop_session
  rm -rf "$work"
}
trap cleanup EXIT

# --- The display and the window manager -----------------------------------------------------------
start_session
export LUMO_PROFILE="$work/WIN.INI"

# --- The pictures: odd sizes; the BMPs of 1 and 4 bits are written field by field ------------------
"$python" - "$work" << 'EOF'
import struct, sys
from PIL import Image
work = sys.argv[1]

def bmp(path, width, height, bits, table, rows):
    """rows: palette indices, top row first; table: (r, g, b) entries, all of them stored."""
    row_bytes = (width * bits + 31) // 32 * 4
    data = b""
    for row in reversed(rows):
        packed = 0
        for value in row:
            packed = packed << bits | value
        packed <<= row_bytes * 8 - width * bits
        data += packed.to_bytes(row_bytes, "big")
    colours = b"".join(bytes((b, g, r, 0)) for r, g, b in table)
    offset = 14 + 40 + len(colours)
    header = struct.pack("<2sIHHI", b"BM", offset + len(data), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, len(data), 2835, 2835, len(table), 0)
    open(path, "wb").write(header + info + colours + data)

bmp(f"{work}/white_first.bmp", 11, 5, 1, [(255, 255, 255), (0, 0, 0)],
    [[(x * y + x) % 3 == 0 for x in range(11)] for y in range(5)])
bmp(f"{work}/six_colours.bmp", 9, 4, 4, [(255, 0, 0), (0, 255, 0), (0, 0, 255), (9, 8, 7), (250, 250, 0), (1, 2, 3)],
    [[(x + 2 * y) % 6 for x in range(9)] for y in range(4)])
rgb = Image.new("RGB", (13, 7))
rgb.putdata([((x * 37) % 256, (y * 71) % 256, (x * y * 13 + 5) % 256) for y in range(7) for x in range(13)])
rgb.save(f"{work}/rgb.bmp")
rgb.save(f"{work}/rgb.png")
rgb.quantize(colors=40).save(f"{work}/palette.bmp")  # 8 bits with a 40-colour table
EOF

# Whether two picture files hold the same pixels.
same_pixels() {
  "$python" -c "
import sys
from PIL import Image
a, b = (Image.open(p).convert('RGB') for p in sys.argv[1:3])
sys.exit(0 if a.size == b.size and a.tobytes() == b.tobytes() else 1)" "$1" "$2"
}

# Waits until the viewer owns the clipboard (Qt's image type is among the offered targets).
wait_viewer_owns_clipboard() {
  local deadline=$((SECONDS + wait_limit))
  until timeout 5 xclip -selection clipboard -t TARGETS -o 2> /dev/null | grep -qx 'application/x-qt-image'; do
    kill -0 "$viewer_pid" 2> /dev/null || fail "$1: the viewer ended (see $out/wlumo.log)"
    [ "$SECONDS" -lt "$deadline" ] || fail "$1: the viewer did not take the clipboard within ${wait_limit}s"
    sleep 0.2
  done
}

# xclip offers a file as one type until stopped; returns once it owns the clipboard.
offer() {  # offer NAME FILE TYPE
  xclip -quiet -selection clipboard -t "$3" -i "$2" > /dev/null 2>&1 &
  xclip_pid=$!
  local deadline=$((SECONDS + wait_limit))
  until timeout 5 xclip -selection clipboard -t TARGETS -o 2> /dev/null | grep -qx "$3"; do
    [ "$SECONDS" -lt "$deadline" ] || fail "$1: xclip did not take the clipboard"
    sleep 0.1
  done
}

# Reads one type from the clipboard into a file.
read_clipboard() {
  timeout 10 xclip -selection clipboard -t "$1" -o > "$2" || fail "xclip could not read $1 from the clipboard"
}

# The title of the viewer's frame (it names the maximised image window).
frame_title() { xdotool search --onlyvisible --name '^Lumo v' getwindowname 2> /dev/null | head -n 1; }

# --- 1. Copy, close the window, read the clipboard from another process -----------------------------
QT_QPA_PLATFORM=xcb "$build/bin/wlumo" --command 260 --command 115 "$work/palette.bmp" > "$out/wlumo.log" 2>&1 &
viewer_pid=$!
wait_viewer_owns_clipboard "copy"
[[ $(frame_title) != *"["* ]] || fail "copy: the image window is still open ($(frame_title))"
targets=$(timeout 10 xclip -selection clipboard -t TARGETS -o)
for type in image/bmp image/png; do
  grep -qx "$type" <<< "$targets" || fail "copy: the clipboard does not offer $type"
done
read_clipboard image/png "$out/copied.png"
read_clipboard image/bmp "$out/copied.bmp"
same_pixels "$out/copied.png" "$work/palette.bmp" || fail "copy: image/png does not hold the picture's pixels"
same_pixels "$out/copied.bmp" "$work/palette.bmp" || fail "copy: image/bmp does not hold the picture's pixels"
stop "$viewer_pid"
viewer_pid=""

# --- 2. Pictures another program puts on the clipboard, pasted into "New 1" -------------------------
paste_case() {  # paste_case NAME FILE TYPE BITS
  local name=$1 file=$2 type=$3 bits=$4
  offer "$name" "$file" "$type"
  # Paste, then copy the new window, so that what was pasted can be read back.
  QT_QPA_PLATFORM=xcb "$build/bin/wlumo" --command 265 --command 260 > "$out/wlumo-$name.log" 2>&1 &
  viewer_pid=$!
  wait_viewer_owns_clipboard "$name"
  [[ $(frame_title) == *"[New 1]"* ]] || fail "$name: the pasted window is not \"New 1\" ($(frame_title))"
  read_clipboard image/bmp "$out/pasted-$name.bmp"
  local got
  got=$(od -An -tu2 -j28 -N2 "$out/pasted-$name.bmp" | tr -d ' ')
  [ "$got" = "$bits" ] || fail "$name: the pasted picture has $got bits per pixel, not $bits"
  same_pixels "$out/pasted-$name.bmp" "$file" || fail "$name: the pasted picture's pixels differ from $file"
  stop "$viewer_pid"
  viewer_pid=""
  stop "$xclip_pid"  # it ended when the viewer took the clipboard
  xclip_pid=""
}

paste_case png "$work/rgb.png" image/png 24
paste_case white_first "$work/white_first.bmp" image/bmp 1
paste_case six_colours "$work/six_colours.bmp" image/bmp 4
paste_case rgb "$work/rgb.bmp" image/bmp 24

# --- 3. Data that is not what it says: no window, a message box -----------------------------------
refused_case() {  # refused_case NAME FILE TYPE CAPTION
  local name=$1 file=$2 type=$3 caption=$4
  offer "$name" "$file" "$type"
  QT_QPA_PLATFORM=xcb "$build/bin/wlumo" --command 265 > "$out/wlumo-$name.log" 2>&1 &
  viewer_pid=$!
  timeout "$wait_limit" xdotool search --sync --onlyvisible --name "^$caption\$" > /dev/null 2>&1 \
    || fail "$name: no message box \"$caption\" appeared"
  [[ $(frame_title) != *"[New"* ]] || fail "$name: a window was pasted ($(frame_title))"
  stop "$viewer_pid"
  viewer_pid=""
  stop "$xclip_pid"
  xclip_pid=""
}

head -c 100 "$work/rgb.bmp" > "$work/cut.bmp"
printf 'not a picture' > "$work/bad.png"
refused_case cut_bmp "$work/cut.bmp" image/bmp Error
refused_case bad_png "$work/bad.png" image/png Info

echo "clipboard_viewer.sh: all checks passed in $((SECONDS - started))s"
