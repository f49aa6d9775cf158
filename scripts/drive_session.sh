# Sourced by the scripts that drive the real viewer: a virtual display (Xvfb) with a window manager
# (openbox), and helpers that wait for windows, take screenshots and find pictures on the screen.
# The sourcing script sets: script (its name for messages), out (screenshots), work (a temporary
# folder it removes), wait_limit (seconds a window may take), python (one with Pillow).
# start_session starts the display; stop_session ends what was started (call it from an EXIT trap).

fail() {
  echo "$script: FAILED: $*" >&2
  if [ -n "${DISPLAY:-}" ]; then
    import -silent -window root "$out/failure.png" 2> /dev/null && echo "$script: the screen is in $out/failure.png" >&2
  fi
  exit 1
}

xvfb_pid="" wm_pid="" viewer_pid=""

stop_session() {
  for pid in "$viewer_pid" "$wm_pid" "$xvfb_pid"; do
    if [ -n "$pid" ]; then kill "$pid" 2> /dev/null || true; fi
  done
}

start_session() {
  local tool deadline
  for tool in Xvfb openbox xdotool import convert; do
    command -v "$tool" > /dev/null || fail "$tool is missing (scripts/setup.sh installs it)"
  done
  "$python" -c "import PIL" 2> /dev/null || fail "$python cannot import Pillow (python3-pil)"
  unset DISPLAY  # nothing goes to the user's display
  # Xvfb picks a free display number itself and writes it to the file.
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3> "$work/display" 2> "$work/xvfb.log" &
  xvfb_pid=$!
  deadline=$((SECONDS + wait_limit))
  until grep -q '^[0-9]' "$work/display" 2> /dev/null; do
    kill -0 "$xvfb_pid" 2> /dev/null || { cat "$work/xvfb.log" >&2; fail "Xvfb did not start"; }
    [ "$SECONDS" -lt "$deadline" ] || fail "Xvfb did not report its display within ${wait_limit}s"
    sleep 0.1
  done
  DISPLAY=":$(head -n 1 "$work/display")"
  export DISPLAY
  # Settings of the desktop and of Qt go into the temporary folder, not the user's; no session bus.
  export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime" DBUS_SESSION_BUS_ADDRESS=disabled:
  mkdir -p "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
  chmod 700 "$XDG_RUNTIME_DIR"
  openbox --sm-disable > "$work/openbox.log" 2>&1 &
  wm_pid=$!
  # Openbox announces its desktops once it manages the screen.
  deadline=$((SECONDS + wait_limit))
  until xdotool get_num_desktops > /dev/null 2>&1; do
    kill -0 "$wm_pid" 2> /dev/null || { cat "$work/openbox.log" >&2; fail "openbox ended at its start"; }
    [ "$SECONDS" -lt "$deadline" ] || fail "openbox did not take the display within ${wait_limit}s"
    sleep 0.1
  done
}

shot() { import -silent -window root "$out/$1.png" || fail "could not take the screenshot $1"; }

# Waits for a visible window whose title matches the regular expression; prints its id. Searches again
# and again rather than with --sync: a search fails at once when a window goes while it looks (an X error).
wait_window() {
  local id="" deadline=$((SECONDS + wait_limit))
  until id=$(xdotool search --onlyvisible --name "$1" 2> /dev/null | head -n 1) && [ -n "$id" ]; do
    [ "$SECONDS" -lt "$deadline" ] || fail "$2: no window titled \"$1\" appeared within ${wait_limit}s"
    sleep 0.1
  done
  echo "$id"
}

# Waits until no visible window has a title matching the regular expression.
wait_gone() {
  local deadline=$((SECONDS + wait_limit))
  while xdotool search --onlyvisible --name "$1" > /dev/null 2>&1; do
    [ "$SECONDS" -lt "$deadline" ] || fail "$2: the window \"$1\" is still open after ${wait_limit}s"
    sleep 0.1
  done
}

# Waits until the window has the keyboard focus, so that keys go to it and not to the one below.
wait_active() {
  local start=$SECONDS asked=0
  until [ "$(xdotool getactivewindow 2> /dev/null)" = "$1" ]; do
    [ $((SECONDS - start)) -lt "$wait_limit" ] || fail "$2: the window never got the keyboard focus"
    if [ $asked -eq 0 ] && [ $((SECONDS - start)) -ge 2 ]; then
      xdotool windowactivate "$1" 2> /dev/null || true  # the window manager did not give it the focus
      asked=1
    fi
    sleep 0.1
  done
  sleep 0.2  # Qt hands the focus to the dialog's first field on the focus event
}

screen_match="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/screen_match.py"

# Where a picture appears pixel for pixel on a screenshot: prints "X Y" of its top-left corner and
# succeeds, or fails when it is not there.
find_picture() {
  "$python" "$screen_match" "$1" "$2"
}

# Takes screenshots until the picture is on screen; prints where it is.
wait_picture() {
  local name=$1 picture=$2 step=$3 deadline=$((SECONDS + wait_limit))
  while :; do
    shot "$name"
    find_picture "$out/$name.png" "$picture" && return 0
    [ "$SECONDS" -lt "$deadline" ] || fail "$step (see $out/$name.png)"
    sleep 0.3
  done
}

# Types into the focused field after selecting what it holds.
replace_text() {
  xdotool key ctrl+a
  xdotool type --delay 8 "$1"
}

# File > Quit with nothing modified: the viewer asks nothing and must end with status 0.
quit_viewer() {
  local status=0 deadline=$((SECONDS + wait_limit))
  xdotool key alt+f q
  while kill -0 "$viewer_pid" 2> /dev/null; do
    [ "$SECONDS" -lt "$deadline" ] || fail "File > Quit: the viewer is still running after ${wait_limit}s"
    sleep 0.1
  done
  wait "$viewer_pid" || status=$?
  viewer_pid=""
  [ "$status" -eq 0 ] || fail "the viewer ended with status $status (its output is in $out/wlumo.log)"
}
