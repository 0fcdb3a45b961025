#!/usr/bin/python3
"""Prints what openpyxl reads of an .xlsx workbook (through tests/support/xlsx_dump),
compactly, for the C++ tests to compare:

    sheet NAME ROWSxCOLS pane=FROZEN,ROWS,COLS,TOP_ROW,ACTIVE
    widths W0 W1 ...                    (1/256 of a character)
    header BOLD,HALIGN,VALIGN,WRAP fill=F borders=L,R,T,B   (the same for every column)
    data FORMAT,...                     (number format of each data cell of row 2)
    r1: KIND:VALUE|KIND:VALUE ...       (texts as JSON strings; dates Y-M-D h:m:s)

With --max-row only the sheets' row and column counts are printed, from the
dimension openpyxl reads in read-only mode (for very long sheets), after
"parts ok" when every part of the package inflates to its size and CRC.
"""
import json
import os
import sys

sys.path.insert(0, os.environ["TSL_SUPPORT_DIR"])
import xlsx_dump  # noqa: E402


def value(kind, v):
    if kind == "text":
        return "text:" + json.dumps(v)
    if kind == "number":
        return "number:%r" % v
    if kind == "date":
        return "date:%04d-%02d-%02d %02d:%02d:%02d" % tuple(v)
    if kind == "bool":
        return "bool:%d" % v
    return kind


def main():
    if sys.argv[1] == "--max-row":
        import openpyxl
        import zipfile
        bad = zipfile.ZipFile(sys.argv[2]).testzip()
        print("parts ok" if bad is None else "bad part " + bad)
        book = openpyxl.load_workbook(sys.argv[2], read_only=True)
        for ws in book.worksheets:
            print("sheet %s %dx%d" % (ws.title, ws.max_row, ws.max_column))
        return
    book = xlsx_dump.dump(sys.argv[1])
    for s in book["sheets"]:
        p = s["panes"]
        print("sheet %s %dx%d pane=%d,%d,%d,%d,%d" % (s["name"], s["nrows"], s["ncols"],
              p["frozen"], p["rows"], p["cols"], p["top_row"], p["active"]))
        print("widths " + " ".join(str(s["col_widths"].get(c, "-")) for c in range(s["ncols"])))
        heads = {"%d,%d,%d,%d fill=%s borders=%s" % (f["bold"], f["halign"], f["valign"],
                 f["wrap"], f["fill"], ",".join(map(str, f["borders"])))
                 for f in s["header_formats"]}
        for h in sorted(heads):
            print("header " + h)
        if s["data_formats"]:
            print("data " + ",".join("%s/%d%d" % (f["format"], f["valign"], f["wrap"])
                                     for f in s["data_formats"]))
        for r, row in enumerate(s["rows"]):
            print("r%d: %s" % (r + 1, "|".join(value(k, v) for k, v in row)))


main()
