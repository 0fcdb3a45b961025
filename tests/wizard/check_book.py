#!/usr/bin/python3
"""Checks a workbook the wizard wrote against the SQLite database it read.

    check_book.py BOOK DB NAME=SQL [NAME=SQL ...]

Every NAME must be a worksheet, in the order given; its header row must hold
the query's column names and its rows the query's rows (first column
compared value by value, the row count exactly). The header row must carry
the patched header format. Prints "OK" or what differs.
"""
import os
import sqlite3
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import xls_dump  # noqa: E402
import xlsx_dump  # noqa: E402


def same(cell, value):
    if isinstance(value, (int, float)) and not isinstance(value, bool):
        return isinstance(cell, (int, float)) and abs(cell - value) < 1e-9
    return str(cell) == str(value)


def main():
    book_path, db_path, items = sys.argv[1], sys.argv[2], sys.argv[3:]
    book = (xlsx_dump if book_path.endswith(".xlsx") else xls_dump).dump(book_path, None)
    con = sqlite3.connect(db_path)
    problems = []
    names = [s["name"] for s in book["sheets"]]
    wanted = [item.split("=", 1)[0] for item in items]
    if names != wanted:
        problems.append(f"sheets {names} != {wanted}")
    for item, sheet in zip(items, book["sheets"]):
        name, sql = item.split("=", 1)
        cur = con.execute(sql)
        columns = [d[0].upper() for d in cur.description]
        rows = cur.fetchall()
        header = [c[1] for c in sheet["rows"][0]] if sheet["rows"] else []
        if header != columns:
            problems.append(f"{name}: header {header} != {columns}")
        data = sheet["rows"][1:]
        if len(data) != len(rows):
            problems.append(f"{name}: {len(data)} rows != {len(rows)}")
        for got, want in zip(data, rows):
            if not same(got[0][1], want[0]):
                problems.append(f"{name}: {got[0][1]!r} != {want[0]!r}")
                break
        for fmt in sheet.get("header_formats", []):
            if not fmt["bold"]:
                problems.append(f"{name}: header bold is {fmt['bold']}")
                break
    print("OK" if not problems else "\n".join(problems))


main()
