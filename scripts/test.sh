#!/usr/bin/env bash
# Builds Lumo twice (Release, and with AddressSanitizer + UndefinedBehaviorSanitizer) and runs every test in both.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

# Tests and benchmarks on explicitly: the main job may have configured this folder without them.
scripts/build.sh build -DLUMO_TESTS=ON -DLUMO_BENCH=ON
(cd build && ctest --output-on-failure -j "$jobs")

scripts/build.sh build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMO_SANITIZE=ON -DLUMO_TESTS=ON -DLUMO_BENCH=OFF
(cd build-asan && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
   ctest --output-on-failure -j "$jobs")
