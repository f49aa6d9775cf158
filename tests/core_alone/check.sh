#!/usr/bin/env bash
# core/ stands alone: its sources include no format library's header, and a program linked with
# core/ alone runs and loads no format library.
# Usage: check.sh PROGRAM CORE_SOURCE_DIR
set -euo pipefail
program=$1
core=$2
if grep -rnE '#include <(tiff|tiffio|jpeglib|jbig|spng)\.h>' "$core"; then
    echo "core/ includes a format library's header" >&2
    exit 1
fi
"$program"
if ldd "$program" | grep -E 'lib(tiff|jpeg|jbig|spng)'; then
    echo "$program loads a format library" >&2
    exit 1
fi
echo "core/ links no format library"
