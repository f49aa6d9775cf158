#!/usr/bin/env bash
# The main job: describe the bundled sample pictures and convert them with the lumo command.
set -euo pipefail
build=${1:-build}
out="$build/converted"
rm -rf "$out"
"$build/bin/lumo" info "$build"/samples/*.bmp
"$build/bin/lumo" convert "$build"/samples/*.bmp -o "$out" --format img
"$build/bin/lumo" info "$out"/*.img
