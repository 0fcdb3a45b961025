#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a short time
# (FUZZ_SECONDS, default 20).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/deps.sh
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DTSL_FUZZ=ON -DTSL_TESTS=OFF -DTSL_BENCH=OFF \
  -DTSL_GUI=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-fuzz -j"$(nproc)"
passed=0; failed=0
for f in build-fuzz/bin/*_fuzz; do
  corpus=$(mktemp -d)
  if "$f" -max_total_time="${FUZZ_SECONDS:-20}" -rss_limit_mb=2048 -print_final_stats=0 \
       "$corpus" >"$corpus.log" 2>&1; then
    passed=$((passed + 1)); echo "fuzz: $(basename "$f") ok"
  else
    failed=$((failed + 1)); echo "fuzz: $(basename "$f") FAILED"; tail -40 "$corpus.log"
  fi
  rm -rf "$corpus" "$corpus.log"
done
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
