#!/usr/bin/env bash
# Runs the setup program as a user would, on a virtual display with a window manager, from a copy
# of the release folder and with a home folder of its own: screenshots of the background with the
# installation dialog, of the message that ends the installation, and of the installed viewer
# started from its new place with a picture and its help window (which reads the help file beside
# it: the copy installed here says so in its heading). Checks the background's bands pixel by pixel,
# the installed files and the menu entries.
#   scripts/install_screenshots.sh [BUILD_DIR] [OUT_DIR]
# Exits non-zero, naming the step, when a step or a check fails.
set -euo pipefail

build=$(cd "${1:-build}" && pwd)
out=${2:-$build/install-screenshots}
wait_limit=${INSTALL_SCREENSHOTS_WAIT:-20}
unset DISPLAY

script=install_screenshots.sh
python=/usr/bin/python3  # Debian's, which has Pillow
# shellcheck source=scripts/drive_session.sh
source "$(dirname "$0")/drive_session.sh"
command -v xdpyinfo > /dev/null || fail "xdpyinfo is missing (scripts/setup.sh installs it)"
for program in lumo-install wlumo lumo; do
  [ -x "$build/bin/$program" ] || fail "$build/bin/$program is missing; build first"
done
mkdir -p "$out"
out=$(cd "$out" && pwd)
rm -f "$out"/[0-9][0-9]-*.png "$out/failure.png"

work=$(mktemp -d)
app_pid=""
cleanup() {
  if [ -n "$app_pid" ]; then kill "$app_pid" 2> /dev/null || true; fi
  stop_session
  rm -rf "$work"
}
trap cleanup EXIT

# The release folder, with a help file whose heading tells the installed copy from the built-in one.
release="$work/release"
mkdir -p "$release"
cp "$build/bin/lumo-install" "$build/bin/wlumo" "$release/"
sed 's|<h1>Lumo Help</h1>|<h1>Lumo Help (installed copy)</h1>|' "$build/bin/lumo.hlp" > "$release/lumo.hlp"
grep -q "installed copy" "$release/lumo.hlp" || fail "the help file has no heading to mark"
"$build/bin/lumo" convert "$build/samples/gradient.bmp" -o "$work/gradient.jpg" > /dev/null 2>&1 ||
  fail "could not make a JPEG from $build/samples/gradient.bmp (the samples are made by a full build)"

# --- The display and the window manager, then a home folder of the installation's own -------------
start_session
export HOME="$work/home" XDG_DATA_HOME="$work/home/.local/share" XDG_CONFIG_HOME="$work/home/.config"
export LUMO_PROFILE="$work/WIN.INI"
mkdir -p "$HOME"

# Screenshots wait a moment for the setup program's painting to settle.
shot() { sleep 0.5; import -silent -window root "$out/$1.png" || fail "could not take the screenshot $1"; }

# Waits for the setup program to end by itself, with status 0, after the step named.
wait_ended() {
  local deadline=$((SECONDS + wait_limit))
  while kill -0 "$app_pid" 2> /dev/null; do
    [ "$SECONDS" -lt "$deadline" ] || fail "the setup program did not end after $1"
    sleep 0.1
  done
  wait "$app_pid" || fail "the setup program ended with status $? after $1"
  app_pid=""
}

# --- 1. The background and the dialog -------------------------------------------------------------
"$release/lumo-install" > "$work/install.log" 2>&1 &
app_pid=$!
dialog=$(wait_window "^Lumo for Windows Installation$" "the installation dialog")
shot 01-background-and-dialog

# The bands down the right edge, away from the title and the dialog: band i is height / (256 - i)
# pixels high and has blue 255 - i.
read -r screen_width screen_height < <(xdpyinfo | awk '/dimensions:/ { split($2, d, "x"); print d[1], d[2] }')
convert "$out/01-background-and-dialog.png" -crop "1x$screen_height+$((screen_width - 2))+0" +repage txt:- |
  awk -F'[(),]' 'NR > 1 { print $3 + 0, $4 + 0, $5 + 0 }' > "$work/column"
mapfile -t column < "$work/column"
[ "${#column[@]}" -eq "$screen_height" ] || fail "background: read ${#column[@]} rows of $screen_height"
top=0
for ((i = 0; i < 256 && top < screen_height; i++)); do
  band=$((screen_height / (256 - i)))
  for ((y = top; y < top + band && y < screen_height; y++)); do
    [ "${column[y]}" = "0 0 $((255 - i))" ] || fail "background: row $y is (${column[y]}), not band $i (0 0 $((255 - i)))"
  done
  top=$((top + band))
done
# The title: white letters inside its cell (height / 7 high, from (10, 10)).
white=$(convert "$out/01-background-and-dialog.png" -crop "$((screen_width / 2))x$((screen_height / 7))+10+10" \
  -fill black +opaque white -format '%[fx:int(mean*w*h)]' info:)
[ "$white" -gt 500 ] || fail "background: no white title at the top left ($white white pixels)"

# --- 2. Cancel: the program says so and ends, having changed nothing ----------------------------------
xdotool windowactivate --sync "$dialog" 2> /dev/null || true
sleep 0.3
xdotool key Escape
cancel_box=$(wait_window "^Info$" "the message after Cancel")
shot 02-canceled
xdotool windowactivate --sync "$cancel_box" 2> /dev/null || true
sleep 0.3
xdotool key Return
wait_ended "Cancel"
[ ! -e "$HOME/WLUMO" ] && [ ! -e "$XDG_DATA_HOME" ] || fail "Cancel left files behind"

# --- 3. Install into a directory of the user's choice ----------------------------------------------
"$release/lumo-install" > "$work/install.log" 2>&1 &
app_pid=$!
dialog=$(wait_window "^Lumo for Windows Installation$" "the installation dialog, again")
destination="$HOME/Programs/Lumo"
mkdir -p "$HOME/Programs"
xdotool windowactivate --sync "$dialog" 2> /dev/null || true
sleep 0.3
xdotool key --window "$dialog" ctrl+a
xdotool type --window "$dialog" --delay 5 "$destination"
sleep 0.3
shot 03-destination-typed
xdotool key --window "$dialog" Return
done_box=$(wait_window "^Info$" "the closing message")
shot 04-installation-done
xdotool windowactivate --sync "$done_box" 2> /dev/null || true
sleep 0.3
xdotool key Return  # to the message box, which has the focus
wait_ended "the closing message"
cmp -s "$release/wlumo" "$destination/wlumo" || fail "wlumo was not installed"
cmp -s "$release/lumo.hlp" "$destination/lumo.hlp" || fail "lumo.hlp was not installed"
[ -x "$destination/wlumo" ] || fail "the installed wlumo is not executable"
grep -q "^Exec=\"$destination/wlumo\" %F$" "$XDG_DATA_HOME/applications/lumo-wlumo.desktop" ||
  fail "the viewer's menu entry does not start the installed viewer"

# --- 4. The installed viewer from its new place, with a picture and its help ----------------------
rm -rf "$release"  # nothing of the release folder may be needed any more
(cd / && exec "$destination/wlumo" --command 888 "$work/gradient.jpg") > "$work/wlumo.log" 2>&1 &
app_pid=$!
wait_window "^Lumo Help$" "the installed viewer's help window" > /dev/null
sleep 1
shot 05-installed-viewer-and-help
kill "$app_pid" 2> /dev/null || true
app_pid=""
echo "$out"
