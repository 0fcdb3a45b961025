#!/usr/bin/env bash
# Builds the Debian package tessaline_<version>_<arch>.deb (CPack's DEB
# generator, from the install rules) and prints its path and control fields.
#
#   scripts/package.sh [BUILD_DIR]
#
# BUILD_DIR defaults to build-package. A new build folder is configured
# without tests and benchmarks; an existing one (such as build) is packaged
# as it is configured. Install the result with: sudo apt install ./<file>.deb
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-package}
./scripts/deps.sh
if [ -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" >/dev/null
else
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTSL_TESTS=OFF -DTSL_BENCH=OFF \
    >/dev/null
fi
cmake --build "$build" -j"$(nproc)"
log=$(cd "$build" && cpack -G DEB)
deb=$(sed -n 's/^CPack: - package: \(.*\.deb\) generated\.$/\1/p' <<<"$log")
if [ ! -f "$deb" ]; then
  echo "$log" >&2
  echo "package.sh: cpack made no package" >&2
  exit 1
fi
echo
echo "$deb"
dpkg-deb -f "$deb" Package Version Architecture Depends Recommends
