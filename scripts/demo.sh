#!/usr/bin/env bash
# Builds tslagent, the wizard tessal and the demo database, then converts the
# demo database into a BIFF8 (Excel 2000), a BIFF5 (Excel 5.0) and an Excel
# 2007 (.xlsx) workbook under out/.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target tslagent tsl_ocilite tessal tsl_help
mkdir -p out
bash demo/make_demo.sh out/demo.db
for ver in 1 0 2; do
  name=$(case "$ver" in 1) echo biff8 ;; 0) echo biff5 ;; *) echo excel2007 ;; esac)
  status=0
  # The extension follows the version: .xls, or .xlsx for version 2.
  build/bin/tslagent --src=file:out/demo.db --dest="out/demo_${name}.xls" --xls_ver="$ver" ||
    status=$?
  # 1: the run reported something; the demo's longest texts do not fit a
  # cell and are cut (the agent says how many per column), and its texts hold
  # characters that no one Excel 5.0 code page has (it says how many it
  # replaced).
  [ "$status" -eq 0 ] || [ "$status" -eq 1 ] || exit "$status"
done
echo
echo "Workbooks written:"
echo "  $(pwd)/out/demo_biff8.xls  (Excel 2000, BIFF8)"
echo "  $(pwd)/out/demo_biff5.xls  (Excel 5.0, BIFF5)"
echo "  $(pwd)/out/demo_excel2007.xlsx  (Excel 2007, .xlsx)"
echo
echo "The wizard on the same database (service name file:$(pwd)/out/demo.db):"
echo "  build/bin/tessal"
