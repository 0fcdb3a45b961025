#!/usr/bin/python3
"""Reads an .xlsx workbook with openpyxl (an independent reader) and prints it as
JSON in the shape xls_dump gives for an .xls workbook, so that one test reads
every format version: sheet names, every cell's kind and value, the formats
of the header row and of the data cells, column widths and the frozen pane.

The values are normalised to what xls_dump reports: a horizontal alignment
"center" is 2, the grey fill C0C0C0 is colour index 22, a thin border 1,
widths are in 1/256 of a character as COLINFO has them, a pane below a
frozen first row is pane 2. Texts are decoded as the format escapes them
("_xHHHH_"), which openpyxl leaves as they are. Run with Debian's
/usr/bin/python3, which has python3-openpyxl.
"""
import datetime
import json
import sys

import openpyxl
from openpyxl.utils import column_index_from_string
from openpyxl.utils.escape import unescape

HALIGN = {None: 0, "general": 0, "left": 1, "center": 2, "right": 3}
VALIGN = {"top": 0, "center": 1, None: 2, "bottom": 2}
BORDER = {None: 0, "thin": 1, "medium": 2}
PANES = {"bottomRight": 0, "topRight": 1, "bottomLeft": 2, "topLeft": 3}


def cell_of(cell):
    v = cell.value
    if v is None:
        return ["empty", ""]
    if isinstance(v, bool):
        return ["bool", int(v)]
    if isinstance(v, (int, float)):
        return ["number", float(v)]
    if isinstance(v, datetime.datetime):
        return ["date", [v.year, v.month, v.day, v.hour, v.minute, v.second]]
    if isinstance(v, datetime.date):
        return ["date", [v.year, v.month, v.day, 0, 0, 0]]
    return ["text", unescape(str(v))]


def format_of(cell):
    fill = cell.fill
    solid = fill is not None and fill.fill_type == "solid"
    rgb = fill.fgColor.rgb if solid else None
    b = cell.border
    return {
        "bold": bool(cell.font.b),
        "halign": HALIGN.get(cell.alignment.horizontal, -1),
        "valign": VALIGN.get(cell.alignment.vertical, -1),
        "wrap": bool(cell.alignment.wrap_text),
        "fill": (22 if rgb == "FFC0C0C0" else rgb) if solid else None,
        "fill_pattern": 1 if solid else 0,
        "borders": [BORDER.get(s.style, -1) for s in (b.left, b.right, b.top, b.bottom)],
        "format": cell.number_format,
    }


def panes_of(ws):
    pane = ws.sheet_view.pane
    if pane is None:
        return {"frozen": False, "rows": 0, "cols": 0, "top_row": 0, "active": 3}
    top = ws[pane.topLeftCell].row - 1 if pane.topLeftCell else 0
    return {"frozen": pane.state == "frozen", "rows": int(pane.ySplit or 0),
            "cols": int(pane.xSplit or 0), "top_row": top,
            "active": PANES.get(pane.activePane, -1)}


def dump(path, max_rows=None):
    book = openpyxl.load_workbook(path)
    out = {"biff_version": None, "codepage": None, "datemode": 0, "format": "xlsx",
           "sheets": []}
    for ws in book.worksheets:
        nrows, ncols = ws.max_row, ws.max_column
        if nrows == 1 and ncols == 1 and ws.cell(1, 1).value is None:
            nrows = ncols = 0
        limit = nrows if max_rows is None else min(nrows, max_rows)
        rows = [[cell_of(ws.cell(r, c)) for c in range(1, ncols + 1)]
                for r in range(1, limit + 1)]
        widths = {}
        for letter, dim in ws.column_dimensions.items():
            if dim.customWidth:
                for c in range(column_index_from_string(letter), (dim.max or 0) + 1):
                    widths[c - 1] = round(dim.width * 256)
        out["sheets"].append({
            "name": ws.title, "nrows": nrows, "ncols": ncols, "rows": rows,
            "header_formats": [format_of(ws.cell(1, c)) for c in range(1, ncols + 1)]
            if nrows else [],
            "data_formats": [format_of(ws.cell(2, c)) for c in range(1, ncols + 1)]
            if nrows > 1 else [],
            "col_widths": widths, "panes": panes_of(ws)})
    return out


if __name__ == "__main__":
    max_rows = int(sys.argv[2]) if len(sys.argv) > 2 else None
    json.dump(dump(sys.argv[1], max_rows), sys.stdout, ensure_ascii=False)
