#!/usr/bin/python3
"""Reads a workbook with xlrd (an independent reader) and prints it as JSON.

Used by the C++ and Python tests to check what our writer produced:
sheet names, every cell's type and value, and the formats of the header row
(bold font, horizontal alignment, fill colour, borders, wrap) and of the data
cells. Run with Debian's /usr/bin/python3, which has python3-xlrd.

    xls_dump.py BOOK [MAX_ROWS]      the whole book as JSON (dump)
    xls_dump.py --lines BOOK [fmt]   one line per item (lines), for C++ tests
                                     that parse it without a JSON reader
"""
import json
import sys

import xlrd

CELL_TYPES = {
    xlrd.XL_CELL_EMPTY: "empty",
    xlrd.XL_CELL_TEXT: "text",
    xlrd.XL_CELL_NUMBER: "number",
    xlrd.XL_CELL_DATE: "date",
    xlrd.XL_CELL_BOOLEAN: "bool",
    xlrd.XL_CELL_ERROR: "error",
    xlrd.XL_CELL_BLANK: "blank",
}


def xf_info(book, xf_index):
    xf = book.xf_list[xf_index]
    font = book.font_list[xf.font_index]  # as xlrd resolves it, nothing mended
    fmt = book.format_map.get(xf.format_key)
    return {
        "xf": xf_index,
        "bold": bool(font.bold),
        "halign": xf.alignment.hor_align,
        "valign": xf.alignment.vert_align,
        "wrap": bool(xf.alignment.text_wrapped),
        "fill": xf.background.pattern_colour_index if xf.background.fill_pattern else None,
        "fill_pattern": xf.background.fill_pattern,
        "borders": [xf.border.left_line_style, xf.border.right_line_style,
                    xf.border.top_line_style, xf.border.bottom_line_style],
        "format": fmt.format_str if fmt else None,
    }


def dump(path, max_rows=None):
    book = xlrd.open_workbook(path, formatting_info=True)
    out = {"biff_version": book.biff_version, "codepage": book.codepage,
           "datemode": book.datemode, "sheets": []}
    for sheet in book.sheets():
        rows = []
        limit = sheet.nrows if max_rows is None else min(sheet.nrows, max_rows)
        for r in range(limit):
            row = []
            for c in range(sheet.ncols):
                cell = sheet.cell(r, c)
                kind = CELL_TYPES[cell.ctype]
                value = cell.value
                if kind == "date":
                    value = list(xlrd.xldate_as_tuple(value, book.datemode))
                row.append([kind, value])
            rows.append(row)
        header_formats = [xf_info(book, sheet.cell_xf_index(0, c)) for c in range(sheet.ncols)] \
            if sheet.nrows else []
        data_formats = [xf_info(book, sheet.cell_xf_index(1, c)) for c in range(sheet.ncols)] \
            if sheet.nrows > 1 else []
        out["sheets"].append({"name": sheet.name, "nrows": sheet.nrows, "ncols": sheet.ncols,
                              "rows": rows, "header_formats": header_formats,
                              "data_formats": data_formats,
                              # COLINFO widths (1/256 of a digit width) by column
                              "col_widths": {c: ci.width for c, ci in sheet.colinfo_map.items()},
                              "panes": {"frozen": bool(sheet.panes_are_frozen),
                                        "rows": sheet.horz_split_pos,
                                        "cols": sheet.vert_split_pos,
                                        "top_row": sheet.horz_split_first_visible,
                                        "active": sheet.split_active_pane}})
    return out


def lines(path, fmt):
    """The book one item a line, texts as ASCII-only JSON:

        sheet <name>
        cell <row> <col> <ctype> <value> <xf>   numbers and dates as %.17g,
                                                booleans 0/1; empty cells left out
        xf <index> <format> <bold> <halign> <valign> <wrap> <fill pattern>
           <fill colour> <borders>              with fmt: every XF a cell uses
    """
    book = xlrd.open_workbook(path, formatting_info=fmt)
    used = set()
    out = []
    for sh in book.sheets():
        out.append("sheet " + json.dumps(sh.name))
        for r in range(sh.nrows):
            for c in range(sh.row_len(r)):
                cell = sh.cell(r, c)
                t = cell.ctype
                if t in (xlrd.XL_CELL_EMPTY, xlrd.XL_CELL_BLANK):
                    continue
                if t in (xlrd.XL_CELL_NUMBER, xlrd.XL_CELL_DATE):
                    v = "%.17g" % cell.value
                elif t == xlrd.XL_CELL_TEXT:
                    v = json.dumps(cell.value)
                else:
                    v = str(int(cell.value))
                xf = cell.xf_index if cell.xf_index is not None else -1
                used.add(xf)
                out.append("cell %d %d %d %s %d" % (r, c, t, v, xf))
    if fmt:
        for i in sorted(used):
            x = xf_info(book, i)
            out.append("xf %d %s %d %d %d %d %d %d %s" % (
                i, json.dumps(x["format"]), x["bold"], x["halign"], x["valign"], x["wrap"],
                x["fill_pattern"], book.xf_list[i].background.pattern_colour_index,
                "".join(str(b) for b in x["borders"])))
    return "\n".join(out) + "\n"


if __name__ == "__main__":
    if sys.argv[1] == "--lines":
        sys.stdout.write(lines(sys.argv[2], len(sys.argv) > 3 and sys.argv[3] == "fmt"))
    else:
        max_rows = int(sys.argv[2]) if len(sys.argv) > 2 else None
        json.dump(dump(sys.argv[1], max_rows), sys.stdout, ensure_ascii=False)
