#!/usr/bin/env bash
# Describes the bundled sample pictures and converts them to IMG files with the lumo command:
# scripts/convert_samples.sh [BUILD_DIR] (the command-line counterpart of run_viewer.sh).
set -euo pipefail
build=${1:-build}
out="$build/converted"
rm -rf "$out"
"$build/bin/lumo" info "$build"/samples/*.bmp
"$build/bin/lumo" convert "$build"/samples/*.bmp -o "$out" --format img
"$build/bin/lumo" info "$out"/*.img
