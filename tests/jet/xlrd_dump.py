#!/usr/bin/python3
"""Prints what xlrd reads from a workbook, one line per item, for the C++
tests to compare with what they wrote.

    sheet <name as JSON>
    cell <row> <col> <ctype> <value> <xf>
        numbers and dates as %.17g, texts as JSON, booleans 0/1
    xf <index> <format as JSON> <bold> <halign> <valign> <wrap> <fill pattern> <fill colour> <borders>
        (only with the argument "fmt": formatting_info=True, for every XF a cell uses)
"""
import json
import sys

import xlrd


def main():
    path = sys.argv[1]
    fmt = len(sys.argv) > 2 and sys.argv[2] == "fmt"
    book = xlrd.open_workbook(path, formatting_info=fmt, on_demand=False)
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
            x = book.xf_list[i]
            f = book.format_map[x.format_key].format_str
            font = book.font_list[x.font_index]
            a = x.alignment
            b = x.border
            borders = "%d%d%d%d" % (b.left_line_style, b.right_line_style, b.top_line_style,
                                    b.bottom_line_style)
            out.append("xf %d %s %d %d %d %d %d %d %s" % (
                i, json.dumps(f), font.bold, a.hor_align, a.vert_align, a.text_wrapped,
                x.background.fill_pattern, x.background.pattern_colour_index, borders))
    sys.stdout.write("\n".join(out) + "\n")


if __name__ == "__main__":
    main()
