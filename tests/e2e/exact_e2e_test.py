#!/usr/bin/python3
"""End-to-end tests of values kept exactly, or said: numbers with more digits than a
spreadsheet number keeps, SQLite texts longer than their declared size or not valid UTF-8,
fractions of a second, years before the era and IEEE numbers. Workbooks are read back with
xlrd (.xls) and openpyxl (.xlsx)."""
import datetime
import re
import unittest
import zipfile

import openpyxl
import xlrd

from e2e_support import XLSX, Workdir, column, ext, make_db, read_book, run_agent


def cell(path, row, col):
    """The raw value and number format of a cell, as xlrd or openpyxl reads them (0-based)."""
    if path.endswith(".xlsx"):
        c = openpyxl.load_workbook(path).worksheets[0].cell(row=row + 1, column=col + 1)
        return c.value, c.number_format
    book = xlrd.open_workbook(path, formatting_info=True)
    sheet = book.sheet_by_index(0)
    xf = book.xf_list[sheet.cell_xf_index(row, col)]
    return sheet.cell_value(row, col), book.format_map[xf.format_key].format_str


class ExactE2E(unittest.TestCase):
    def setUp(self):
        self.w = Workdir()

    def tearDown(self):
        self.w.cleanup()

    def run_on(self, src, *extra, ver=1, rc=0):
        dest = self.w("out" + ext(ver))
        code, out, err = run_agent(f"--src={src}", f"--dest={dest}", f"--xls_ver={ver}", *extra)
        self.assertEqual(code, rc, out + err)
        return dest, out + err

    def test_numbers_keep_every_digit(self):
        # SQLite holds exact integers of 64 bits (wider numbers only as doubles).
        src = make_db(self.w("n.db"),
                      "CREATE TABLE N (ID NUMBER(38), BIG NUMBER(38), D NUMBER(20,2), "
                      "R NUMBER, I19 NUMBER(19));",
                      {"N": [(1, 9007199254740993, 12345678901234567, 1e20, 1234567890123456789),
                             (2, 9223372036854775807, 1.5, 0.25, 5),
                             (3, 123456789012345, 2.25, 1e23, -7)]})
        for ver in (1, 0, XLSX):
            dest, out = self.run_on(src, ver=ver)
            rows = read_book(dest)["sheets"][0]["rows"][1:]
            self.assertEqual([r[1] for r in rows],
                             [["text", "9007199254740993"], ["text", "9223372036854775807"],
                              ["number", 123456789012345.0]])
            self.assertEqual([r[2] for r in rows], [["text", "12345678901234567"],
                                                    ["number", 1.5], ["number", 2.25]])
            # Trailing zeros of an integer do not count: a number keeps 1e20.
            self.assertEqual([r[3] for r in rows], [["number", 1e20], ["number", 0.25],
                                                    ["number", 1e23]])
            self.assertEqual([r[4] for r in rows], [["text", "1234567890123456789"],
                                                    ["number", 5.0], ["number", -7.0]])
            # Told once per column, and no error.
            self.assertIn("N: Column BIG: 2 values with more than 15 significant digits were "
                          "written as text to keep every digit.", out)
            self.assertIn("N: Column D: 1 value with more than 15 significant digits was", out)
            self.assertNotIn("Column R:", out)
            self.assertNotIn("Error", out)

    def test_sqlite_texts_longer_than_declared_are_written_whole(self):
        long_text = "abc\u0416" * 1500  # 6,000 characters: a long text
        src = make_db(self.w("s.db"), "CREATE TABLE S (CODE VARCHAR2(5), NOTE VARCHAR2(10), "
                      "C CHAR(2));",
                      {"S": [("abcdefghij", long_text, "xyz"), ("ab", "short", "q")]})
        dest, out = self.run_on(src)
        rows = read_book(dest)["sheets"][0]["rows"][1:]
        self.assertEqual(rows, [[["text", "abcdefghij"], ["text", long_text], ["text", "xyz"]],
                                [["text", "ab"], ["text", "short"], ["text", "q"]]])

    def test_fractions_of_a_second_are_kept(self):
        src = make_db(self.w("t.db"), "CREATE TABLE T (TS TIMESTAMP, D DATE, WHOLE TIMESTAMP);",
                      {"T": [("2021-02-04 13:20:22.245677", "2021-02-04 13:20:22",
                              "2021-02-04 13:20:22")]})
        dest, _ = self.run_on(src)
        value, fmt = cell(dest, 1, 0)
        self.assertEqual(fmt, "yyyy-mm-dd hh:mm:ss.000")
        serial = 44231 + (13 * 3600 + 20 * 60 + 22.245677) / 86400
        self.assertAlmostEqual(value, serial, delta=1e-10)  # a microsecond is 1.2e-11 days
        self.assertEqual(cell(dest, 1, 1)[1], "yyyy-mm-dd hh:mm:ss")
        self.assertEqual(cell(dest, 1, 2)[1], "yyyy-mm-dd hh:mm:ss")
        dest, _ = self.run_on(src, ver=XLSX)
        self.assertEqual(cell(dest, 1, 0)[1], "yyyy-mm-dd hh:mm:ss.000")
        # openpyxl rounds a date to the millisecond: the serial as stored.
        with zipfile.ZipFile(dest) as z:
            sheet = z.read("xl/worksheets/sheet1.xml").decode()
        stored = re.search(r'<c r="A2"[^>]*><v>([^<]+)</v>', sheet).group(1)
        self.assertAlmostEqual(float(stored), serial, delta=1e-10)
        self.assertEqual(cell(dest, 1, 2), (datetime.datetime(2021, 2, 4, 13, 20, 22),
                                            "yyyy-mm-dd hh:mm:ss"))
        # As text the fraction stays as the source gives it; a DATE keeps its canonical text.
        for ver, extra in ((1, ("--date2str",)), (0, ()), (XLSX, ("--date2str",))):
            dest, _ = self.run_on(src, *extra, ver=ver)
            self.assertEqual(read_book(dest)["sheets"][0]["rows"][1],
                             [["text", "2021-02-04 13:20:22.245677"],
                              ["text", "2021-02-04 13:20:22"], ["text", "2021-02-04 13:20:22"]])

    def test_a_year_before_the_era_is_written_as_stored(self):
        src = make_db(self.w("e.db"), "CREATE TABLE E (D DATE);",
                      {"E": [("-0044-03-15",), ("2000-01-01",)]})
        dest, _ = self.run_on(src, "--date2str")
        self.assertEqual(column(read_book(dest)["sheets"][0], 0),
                         [["text", "-0044-03-15"], ["text", "2000-01-01"]])

    def test_text_that_is_not_utf8_is_read_in_the_code_page(self):
        src = make_db(self.w("l.db"), "CREATE TABLE L (ID NUMBER(2), N VARCHAR2(10), C CLOB, "
                      "OK VARCHAR2(10));"
                      "INSERT INTO L VALUES (1, CAST(x'636166E9' AS TEXT), "
                      "CAST(x'4772FCDF65' AS TEXT), 'Grüße');"
                      "INSERT INTO L VALUES (2, CAST(x'E9E8' AS TEXT), 'plain', 'x');")
        dest, out = self.run_on(src, rc=1)
        rows = read_book(dest)["sheets"][0]["rows"][1:]
        self.assertEqual([r[1:] for r in rows],
                         [[["text", "café"], ["text", "Grüße"], ["text", "Grüße"]],
                          [["text", "éè"], ["text", "plain"], ["text", "x"]]])
        self.assertIn("L: Column N: 2 values were not valid UTF-8 and were read in code page "
                      "1252.", out)
        self.assertIn("L: Column C: 1 value was not valid UTF-8", out)
        self.assertNotIn("Column OK", out)

    def test_ieee_numbers_are_numbers(self):
        src = make_db(self.w("f.db"), "CREATE TABLE F (ID NUMBER(2), BD BINARY_DOUBLE, "
                      "BF BINARY_FLOAT);",
                      {"F": [(1, 0.1, 0.5), (2, 1e308, -2.25), (3, float("inf"), 1.0),
                             (4, 2.0, float("-inf")), (5, None, None)]})
        dest, out = self.run_on(src, rc=1)
        rows = read_book(dest)["sheets"][0]["rows"][1:]
        self.assertEqual([r[0][1] for r in rows], [1.0, 2.0, 5.0])
        self.assertEqual([r[1:] for r in rows[:2]], [[["number", 0.1], ["number", 0.5]],
                                                     [["number", 1e308], ["number", -2.25]]])
        self.assertIn("F, record #3: The value of column BD is Inf", out)
        self.assertIn("F, record #4: The value of column BF is -Inf", out)
        self.assertEqual(out.count("Error:"), 2)


if __name__ == "__main__":
    unittest.main()
