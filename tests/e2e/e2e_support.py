"""Shared pieces of the end-to-end tests: build SQLite databases with Oracle
column types, run the real tslagent binary, read workbooks back with xlrd
(.xls) or openpyxl (.xlsx), in one shape for every format version."""
import os
import sqlite3
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import xls_dump  # noqa: E402
import xlsx_dump  # noqa: E402

TSLAGENT = os.environ.get("TSLAGENT", "tslagent")

# Format versions: 0 Excel 5.0 and 1 Excel 2000 (.xls), 2 Excel 2007 (.xlsx).
XLSX = 2


def ext(ver):
    """The extension of a format version's workbooks."""
    return ".xlsx" if ver == XLSX else ".xls"

# The header format the patch applies: bold, centred, solid grey fill (colour
# index 22), thin borders on all four sides.
HEADER = {"bold": True, "halign": 2, "fill": 22, "borders": [1, 1, 1, 1]}


def make_db(path, script, rows=None):
    """Creates a SQLite database from DDL and optional (table, rows) data."""
    if os.path.exists(path):
        os.remove(path)
    con = sqlite3.connect(path)
    con.executescript(script)
    for table, data in (rows or {}).items():
        if not data:
            continue
        marks = ",".join("?" * len(data[0]))
        con.executemany(f'INSERT INTO "{table}" VALUES ({marks})', data)
    con.commit()
    con.close()
    return "file:" + path


def locale_env(lang, codepage=None):
    """The environment with LANG set, LC_ALL and LC_CTYPE unset, and
    TSL_CODEPAGE set only when given."""
    env = {k: v for k, v in os.environ.items()
           if k not in ("LC_ALL", "LC_CTYPE", "LANG", "TSL_CODEPAGE")}
    env["LANG"] = lang
    if codepage is not None:
        env["TSL_CODEPAGE"] = codepage
    return env


def run_agent(*args, timeout=900, env=None):
    p = subprocess.run([TSLAGENT, *args], capture_output=True, timeout=timeout, env=env)
    rc = p.returncode if p.returncode < 128 else p.returncode - 256
    return rc, p.stdout.decode("utf-8", "replace"), p.stderr.decode("utf-8", "replace")


def read_book(path, max_rows=None):
    if path.endswith(".xlsx"):
        return xlsx_dump.dump(path, max_rows)
    return xls_dump.dump(path, max_rows)


class Workdir:
    def __init__(self):
        self._tmp = tempfile.TemporaryDirectory(prefix="tsl_e2e_")
        self.path = self._tmp.name

    def __call__(self, *parts):
        return os.path.join(self.path, *parts)

    def cleanup(self):
        self._tmp.cleanup()


def write_text(path, text, encoding="utf-8"):
    with open(path, "wb") as f:
        f.write(text.encode(encoding) if isinstance(text, str) else text)
    return path


def read_bytes(path):
    with open(path, "rb") as f:
        return f.read()


def header_is_patched(test, sheet):
    for fmt in sheet["header_formats"]:
        test.assertTrue(fmt["bold"], fmt)
        test.assertEqual(fmt["halign"], HEADER["halign"], fmt)
        test.assertEqual(fmt["fill"], HEADER["fill"], fmt)
        test.assertEqual(fmt["borders"], HEADER["borders"], fmt)


def demo_run_ok(rc, out):
    """A run over the demo database: its only reports are those the demo's data makes (its
    120,000-character CLOB cut to a cell's capacity; in Excel 5.0 more texts cut and the
    characters the code page lacks), and they end it with 1."""
    lines = out.splitlines()
    reports = [lines[i + 1] for i, line in enumerate(lines)
               if line == "Error:" and i + 1 < len(lines)]
    return rc == 1 and bool(reports) and all(
        " cut to " in r or "cannot hold" in r for r in reports)


def column(sheet, c):
    return [row[c] for row in sheet["rows"][1:]]


def check_demo_book(test, demo, book, tables=("DEPT", "EMP")):
    """The workbook converted from the demo database `demo` holds a sheet per
    table named, with the table's column names in the patched header format
    and one row per record."""
    con = sqlite3.connect(demo)
    expected = {t: ([c[1] for c in con.execute(f'PRAGMA table_info("{t}")')],
                    con.execute(f'SELECT COUNT(*) FROM "{t}"').fetchone()[0])
                for t in tables}
    con.close()
    sheets = {s["name"]: s for s in read_book(book)["sheets"]}
    for table, (columns, count) in expected.items():
        sheet = sheets[table]
        test.assertEqual([v for _, v in sheet["rows"][0]], columns, table)
        test.assertEqual(len(sheet["rows"]), count + 1, table)
        header_is_patched(test, sheet)
