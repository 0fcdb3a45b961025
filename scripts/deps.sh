#!/usr/bin/env bash
# Installs the build and test dependencies from Debian's packages (as root).
# Every package a test loads is listed here (tests/e2e/deps_test.py checks the
# Python modules and Java archives the tests name): a machine that has one
# installed by hand must not hide a gap. `locales` holds the locale sources the
# decimal-comma test builds a German locale from. The Debian package and its
# test use dpkg-dev (dpkg-shlibdeps), file and binutils (CPack's and the
# test's look at the binaries), appstream (appstreamcli), man-db and
# groff-base (man, lexgrog, groff). zlib1g-dev: the .xlsx writer compresses
# with zlib itself.
set -euo pipefail
PKGS=(build-essential cmake pkg-config libgtest-dev libgmock-dev libbenchmark-dev
      libsqlite3-dev sqlite3 python3-xlrd python3-olefile clang libreoffice-calc-nogui locales
      default-jdk-headless libapache-poi-java desktop-file-utils qt6-base-dev
      dpkg-dev file binutils appstream man-db groff-base
      libxlsxwriter-dev zlib1g-dev python3-openpyxl python3-xlsxwriter)
missing=()
for p in "${PKGS[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}" >/dev/null
fi
