#!/usr/bin/env bash
# Builds with AddressSanitizer + UndefinedBehaviorSanitizer and runs the whole
# test suite under it (the second, independent reader and the Debian package
# run in the main build).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/deps.sh
cmake -S . -B build-asan -DTSL_SANITIZE=ON -DTSL_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build-asan -j"$(nproc)"
cd build-asan
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  LSAN_OPTIONS="suppressions=$PWD/../tests/support/lsan.supp" \
  ctest --output-on-failure -j"$(nproc)" -LE 'reader2|poi|fuzz|package'
