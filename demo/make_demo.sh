#!/usr/bin/env bash
# Builds the demo database from demo/demo.sql with the sqlite3 program.
#   demo/make_demo.sh [output path]     (default: demo.db in the current folder)
# An existing file at the output path is replaced.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
out="${1:-demo.db}"

if ! command -v sqlite3 >/dev/null 2>&1; then
    echo "make_demo.sh: the sqlite3 program is missing (apt-get install -y sqlite3)" >&2
    exit 1
fi

mkdir -p "$(dirname "$out")"
tmp="$out.tmp.$$"
rm -f "$tmp"
trap 'rm -f "$tmp"' EXIT
sqlite3 -bail "$tmp" < "$here/demo.sql"
mv -f "$tmp" "$out"
trap - EXIT
echo "$out"
