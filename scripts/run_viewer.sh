#!/usr/bin/env bash
# Starts the viewer on the bundled sample pictures: scripts/run_viewer.sh [BUILD_DIR]
# With a display it runs until its window is closed. Without one (a server, CI) it runs for a few
# seconds on a virtual display (Xvfb), saves a picture of its window and ends by itself.
set -euo pipefail
build=${1:-build}
viewer="$build/bin/wlumo"
samples=("$build"/samples/*.bmp)
[ -x "$viewer" ] || { echo "run_viewer.sh: $viewer is missing; build first (scripts/build.sh $build)" >&2; exit 1; }
[ -e "${samples[0]}" ] || { echo "run_viewer.sh: no sample pictures in $build/samples" >&2; exit 1; }

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec "$viewer" "${samples[@]}"
fi

shot="$build/viewer-samples.png"
scripted=(--command 410 --screenshot "$shot" --quit-after 3000)
if command -v xvfb-run > /dev/null; then
  xvfb-run -a -s "-screen 0 1280x1024x24" "$viewer" "${scripted[@]}" "${samples[@]}"
else
  QT_QPA_PLATFORM=offscreen "$viewer" "${scripted[@]}" "${samples[@]}"
fi
echo "No display: the viewer ran on a virtual one; its window is in $shot"
