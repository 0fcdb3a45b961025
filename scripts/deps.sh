#!/usr/bin/env bash
# Installs the build and test dependencies from Debian's packages (as root).
set -euo pipefail
PKGS=(build-essential cmake pkg-config libgtest-dev libgmock-dev libbenchmark-dev
      libsqlite3-dev sqlite3 python3-xlrd clang libreoffice-calc-nogui)
missing=()
for p in "${PKGS[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}" >/dev/null
fi
