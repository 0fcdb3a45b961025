#!/usr/bin/python3
"""End-to-end tests of the real tslagent binary on SQLite databases through the
embedded OCI provider; every workbook is read back with xlrd (.xls) or openpyxl
(.xlsx). Tests of what every format version does run for each of them."""
import glob
import os
import sqlite3
import unicodedata
import unittest

import openpyxl

from e2e_support import (XLSX, Workdir, column, ext, header_is_patched, locale_env, make_db,
                         read_book, read_bytes, run_agent, write_text)

EMP_DDL = """
CREATE TABLE DEPT (DEPTNO NUMBER(2), DNAME VARCHAR2(14), LOC VARCHAR2(13));
CREATE TABLE EMP (EMPNO NUMBER(4), ENAME VARCHAR2(10), HIREDATE DATE, SAL NUMBER(7,2),
                  DEPTNO NUMBER(2));
"""
OLE_SIGNATURE = bytes.fromhex("D0CF11E0A1B11AE1")
ZIP_SIGNATURE = b"PK\x03\x04"
# The versions that hold every character and keep dates as dates.
WIDE = (1, XLSX)

EMP_ROWS = {
    "DEPT": [(10, "ACCOUNTING", "NEW YORK"), (20, "RESEARCH", "DALLAS")],
    "EMP": [(7369, "SMITH", "1980-12-17 00:00:00", 800, 20),
            (7499, "ALLEN", "1981-02-20 00:00:00", 1600.5, 10),
            (7521, None, None, None, None)],
}


class AgentE2E(unittest.TestCase):
    def setUp(self):
        self.w = Workdir()

    def tearDown(self):
        self.w.cleanup()

    def emp_db(self):
        return make_db(self.w("emp.db"), EMP_DDL, EMP_ROWS)

    def convert(self, src, *extra, ver=1, expect_rc=0, env=None):
        dest = self.w("out" + ext(ver))
        # A profile assigns "src" and "dest" whether it has them or not, so it
        # comes first and the command line overrides it.
        first = [a for a in extra if a.startswith("--profile=")]
        rest = [a for a in extra if not a.startswith("--profile=")]
        rc, out, err = run_agent(*first, f"--src={src}", f"--dest={dest}", f"--xls_ver={ver}",
                                 *rest, env=env)
        self.assertEqual(rc, expect_rc, f"stdout:\n{out}\nstderr:\n{err}")
        return dest, out, err

    def profile(self, name, sections):
        lines = []
        for section, entries in sections.items():
            lines.append(f"[{section}]")
            lines.extend(entries)
            lines.append("")
        return write_text(self.w(name), "\n".join(lines) + "\n")

    # -- basic conversion, both versions -------------------------------------------------

    def test_all_tables_both_versions_values_and_header(self):
        src = self.emp_db()
        for ver in (1, 0, XLSX):
            dest, out, _ = self.convert(src, ver=ver)
            self.assertIn("Converting database", out)
            self.assertIn("Converting table EMP (3 records)", out)
            book = read_book(dest)
            # xlrd names BIFF5 from a 1997 build "70" (Excel 95 wrote the same format)
            self.assertIn(book["biff_version"],
                          {1: (80,), 0: (50, 70), XLSX: (None,)}[ver])
            names = [s["name"] for s in book["sheets"]]
            self.assertEqual(names, ["DEPT", "EMP"])
            emp = book["sheets"][1]
            self.assertEqual([c[1] for c in emp["rows"][0]],
                             ["EMPNO", "ENAME", "HIREDATE", "SAL", "DEPTNO"])
            header_is_patched(self, emp)
            self.assertEqual(column(emp, 0), [["number", 7369.0], ["number", 7499.0],
                                              ["number", 7521.0]])
            self.assertEqual(column(emp, 3)[1], ["number", 1600.5])
            # NULLs are no cells at all
            self.assertIn(emp["rows"][3][1][0], ("empty", "blank"))
            self.assertIn(emp["rows"][3][3][0], ("empty", "blank"))
            hired = column(emp, 2)[0]
            if ver in WIDE:  # dates stay dates in Excel 2000 and 2007 ...
                self.assertEqual(hired, ["date", [1980, 12, 17, 0, 0, 0]])
            else:  # ... and always become text in Excel 5.0
                self.assertEqual(hired, ["text", "1980-12-17"])

    def test_date2str_writes_dates_as_text_in_biff8(self):
        for ver in WIDE:
            dest, _, _ = self.convert(self.emp_db(), "--date2str", ver=ver)
            emp = read_book(dest)["sheets"][1]
            self.assertEqual(column(emp, 2)[1], ["text", "1981-02-20"])

    def test_dest_extension_is_forced_to_xls(self):
        src = self.emp_db()
        rc, out, err = run_agent(f"--src={src}", f"--dest={self.w('book.txt')}", "--xls_ver=1")
        self.assertEqual(rc, 0, out + err)
        self.assertTrue(os.path.exists(self.w("book.xls")))
        self.assertFalse(os.path.exists(self.w("book.txt")))
        # ... and to .xlsx for Excel 2007, whatever the option order
        rc, out, err = run_agent("--xls_ver=2", f"--src={src}", f"--dest={self.w('book.xls')}")
        self.assertEqual(rc, 0, out + err)
        self.assertEqual(read_bytes(self.w("book.xlsx"))[:4], ZIP_SIGNATURE)
        self.assertEqual(read_book(self.w("book.xlsx"))["sheets"][0]["name"], "DEPT")

    # -- selection and order -------------------------------------------------------------

    def test_tables_and_queries_intermixed_in_ordinal_order(self):
        src = make_db(self.w("mix.db"), """
            CREATE TABLE B_T (X NUMBER(4)); CREATE TABLE D_T (X NUMBER(4));""",
                      {"B_T": [(1,)], "D_T": [(2,)]})
        prof = self.profile("p.tsl", {
            "Generic settings": [f"src={src}"],
            "Selected Tables": ["D_T", "B_T", "C_Q=SELECT X + 10 AS Y FROM D_T",
                                "b_q=SELECT X FROM D_T", "A_Q=SELECT X FROM B_T WHERE X = 1"],
        })
        for ver in WIDE:
            dest, out, err = self.convert(src, f"--profile={prof}", ver=ver)
            book = read_book(dest)
            # ordinal, case-sensitive: upper-case names before lower-case ones
            self.assertEqual([s["name"] for s in book["sheets"]],
                             ["A_Q", "B_T", "C_Q", "D_T", "b_q"])
            self.assertEqual(column(book["sheets"][2], 0), [["number", 12.0]])

    def test_table_names_file_missing_table_is_reported_and_skipped(self):
        src = self.emp_db()
        tab = write_text(self.w("tabs.txt"), "EMP\r\n\r\nNOPE\r\nDEPT\r\n")
        dest, out, err = self.convert(src, f"--tab_file={tab}", expect_rc=1)
        self.assertIn("Table NOPE not exists", err)
        self.assertEqual([s["name"] for s in read_book(dest)["sheets"]], ["DEPT", "EMP"])

    def test_names_keep_their_declared_case_and_match_ignoring_case(self):
        src = make_db(self.w("case.db"), EMP_DDL + """
            CREATE TABLE "Таблица Ünïcødé" ("Имя" VARCHAR2(10), "mixedCol" NUMBER(4));
            CREATE TABLE lower_t (colA NUMBER(4));""",
                      {**EMP_ROWS, "Таблица Ünïcødé": [("Ёж", 1)], "lower_t": [(5,)]})
        for ver in WIDE:
            dest, out, err = self.convert(src, ver=ver)
            sheets = {s["name"]: s for s in read_book(dest)["sheets"]}
            self.assertEqual(sorted(sheets), ["DEPT", "EMP", "lower_t", "Таблица Ünïcødé"])
            self.assertEqual([c[1] for c in sheets["Таблица Ünïcødé"]["rows"][0]],
                             ["Имя", "mixedCol"])
            self.assertEqual([c[1] for c in sheets["Таблица Ünïcødé"]["rows"][1]],
                             ["Ёж", 1.0])
            self.assertEqual([c[1] for c in sheets["lower_t"]["rows"][0]], ["colA"])
        # A table-names file finds a table in any ASCII letter case; the
        # worksheet takes the declared spelling.
        for line in ("emp", "EMP", "Emp"):
            tab = write_text(self.w("tabs.txt"), line + "\n")
            dest, out, err = self.convert(src, f"--tab_file={tab}")
            self.assertNotIn("not exists", err)
            book = read_book(dest)
            self.assertEqual([s["name"] for s in book["sheets"]], ["EMP"], line)
            self.assertEqual(len(book["sheets"][0]["rows"]), 4, line)
        tab = write_text(self.w("tabs.txt"), "Таблица Ünïcødé\nLOWER_T\nТАБЛИЦА ÜNÏCØDÉ\n")
        dest, out, err = self.convert(src, f"--tab_file={tab}", expect_rc=1)
        # SQLite ignores ASCII case only, so the upper-cased Cyrillic name is
        # another name.
        self.assertIn("Table ТАБЛИЦА ÜNÏCØDÉ not exists", err)
        self.assertEqual(sorted(s["name"] for s in read_book(dest)["sheets"]),
                         ["lower_t", "Таблица Ünïcødé"])

    # -- Excel 5.0 texts in the locale's code page ---------------------------------------

    SCRIPTS = {
        "ru_RU.UTF-8": ("Заказы", "Имя", ["Ёлка", "Щука ж"], 1251),
        "el_GR.UTF-8": ("Παραγγελίες", "Όνομα", ["Αθήνα", "ωμέγα ς"], 1253),
        "ja_JP.UTF-8": ("注文", "名前", ["東京", "ｶﾀｶﾅ と ひらがな"], 932),
    }

    def script_db(self, sheet, col, values):
        return make_db(self.w(f"{sheet}.db"), f'CREATE TABLE "{sheet}" ("{col}" VARCHAR2(40), '
                       f'"N" NUMBER(4));', {sheet: [(v, i) for i, v in enumerate(values)]})

    def test_biff5_texts_names_and_columns_in_the_locales_code_page(self):
        for lang, (sheet, col, values, cp) in self.SCRIPTS.items():
            src = self.script_db(sheet, col, values)
            dest, out, err = self.convert(src, ver=0, env=locale_env(lang))
            self.assertNotIn("cannot hold", out)
            book = read_book(dest)
            self.assertEqual(book["codepage"], cp, lang)
            self.assertEqual([s["name"] for s in book["sheets"]], [sheet])
            rows = book["sheets"][0]["rows"]
            self.assertEqual([c[1] for c in rows[0]], [col, "N"])
            self.assertEqual([r[0][1] for r in rows[1:]], values)
            header_is_patched(self, book["sheets"][0])
        # TSL_CODEPAGE wins over the locale.
        sheet, col, values, _ = self.SCRIPTS["el_GR.UTF-8"]
        dest, out, err = self.convert(self.script_db(sheet, col, values), ver=0,
                                      env=locale_env("ru_RU.UTF-8", "windows-1253"))
        self.assertEqual(read_book(dest)["codepage"], 1253)
        self.assertEqual(read_book(dest)["sheets"][0]["name"], sheet)

    def test_biff5_characters_the_code_page_lacks_are_reported_per_item(self):
        sheet, col, values, _ = self.SCRIPTS["ru_RU.UTF-8"]
        src = make_db(self.w("lost.db"), f'CREATE TABLE "{sheet}" ("{col}" VARCHAR2(40)); '
                      'CREATE TABLE PLAIN (X VARCHAR2(9));',
                      {sheet: [(v,) for v in values] + [("abc",)], "PLAIN": [("Café €",)]})
        dest, out, err = self.convert(src, ver=0, env=locale_env("C.UTF-8"), expect_rc=1)
        # 6 in the sheet name, 3 in the column name, 4 + 5 in the values;
        # the table whose texts all fit says nothing.
        self.assertIn(f"{sheet}: 18 characters that code page 1252 cannot hold were written "
                      'as "?"', out)
        self.assertEqual(out.count("cannot hold"), 1, out)
        book = read_book(dest)
        self.assertEqual(book["codepage"], 1252)
        lost = [s for s in book["sheets"] if s["name"] != "PLAIN"][0]
        self.assertEqual(lost["name"], "______")
        self.assertEqual([r[0][1] for r in lost["rows"]], ["???", "????", "???? ?", "abc"])
        self.assertEqual(column([s for s in book["sheets"] if s["name"] == "PLAIN"][0], 0),
                         [["text", "Café €"]])
        # BIFF8 and .xlsx hold every character: nothing to report.
        wide, out, err = self.convert(src, ver=XLSX, env=locale_env("C.UTF-8"))
        self.assertNotIn("cannot hold", out)
        self.assertIn(["text", "Ёлка"], column(read_book(wide)["sheets"][1], 0))
        dest, out, err = self.convert(src, ver=1, env=locale_env("C.UTF-8"))
        self.assertNotIn("cannot hold", out)
        # An unknown TSL_CODEPAGE is refused before anything is converted.
        os.remove(dest)
        dest, out, err = self.convert(src, ver=0, expect_rc=-1,
                                      env=locale_env("C.UTF-8", "utf-8"))
        self.assertIn("Error:\nTSL_CODEPAGE=utf-8 is not a code page", out)
        self.assertFalse(os.path.exists(dest))

    def test_illegal_sheet_name_converted_under_safe_name(self):
        src = make_db(self.w("odd.db"), 'CREATE TABLE "A:B" (X NUMBER(4)); '
                      'CREATE TABLE "A_B" (X NUMBER(4));', {"A:B": [(1,)], "A_B": [(2,)]})
        for ver in WIDE:
            dest, out, err = self.convert(src, ver=ver)
            names = [s["name"] for s in read_book(dest)["sheets"]]
            self.assertEqual(len(names), 2)
            self.assertEqual(len(set(n.lower() for n in names)), 2, names)
            for n in names:
                self.assertNotIn(":", n)

    def test_nothing_to_convert_keeps_old_workbook_and_exits_one(self):
        src = make_db(self.w("empty.db"), "CREATE TABLE IGNORED_BY_NOBODY (X NUMBER); "
                      "DROP TABLE IGNORED_BY_NOBODY;")
        # (a workbook: the agent replaces no other file)
        for ver in WIDE:
            old = (ZIP_SIGNATURE if ver == XLSX else OLE_SIGNATURE) + b" old content"
            write_text(self.w("out" + ext(ver)), old)
            dest, out, err = self.convert(src, ver=ver, expect_rc=1)
            self.assertIn("No workbook was written", out)
            self.assertEqual(read_bytes(dest), old)

    def test_only_queries_are_written_and_get_the_header_format(self):
        src = self.emp_db()
        prof = self.profile("q.tsl", {"Generic settings": [f"src={src}"],
                                      "Selected Tables": ["Q=SELECT ENAME FROM EMP"]})
        for ver in (1, 0):
            dest, out, err = self.convert(src, f"--profile={prof}", ver=ver)
            sheet = read_book(dest)["sheets"][0]
            self.assertEqual(sheet["name"], "Q")
            self.assertEqual(sheet["rows"][0], [["text", "ENAME"]])
            header_is_patched(self, sheet)

    def test_query_with_syntax_error_is_reported_and_next_item_converted(self):
        src = self.emp_db()
        prof = self.profile("bad.tsl", {"Generic settings": [f"src={src}"],
                                        "Selected Tables": ["A_BAD=SELECT FROM WHERE", "DEPT"]})
        for ver in WIDE:
            dest, out, err = self.convert(src, f"--profile={prof}", ver=ver, expect_rc=1)
            self.assertIn("Error:", out)
            self.assertIn("A_BAD: ", out)
            self.assertEqual([s["name"] for s in read_book(dest)["sheets"]], ["DEPT"])

    # -- values ----------------------------------------------------------------------------

    def test_texts_cleaned_and_cut_per_version(self):
        long_text = "x" * 40000
        src = make_db(self.w("t.db"), "CREATE TABLE T (S CLOB, V VARCHAR2(4000));",
                      {"T": [("a\r\nb\rc", "y" * 300), (long_text, None)]})
        for ver, cut in ((1, 32766), (0, 254), (XLSX, 32767)):
            # A cut is reported once per column, so the run ends with 1.
            dest, out, err = self.convert(src, ver=ver, expect_rc=1)
            t = read_book(dest)["sheets"][0]
            self.assertEqual(column(t, 0)[0], ["text", "a\nb\nc"])
            self.assertEqual(column(t, 0)[1], ["text", "x" * cut])
            self.assertEqual(column(t, 1)[0][1], "y" * min(300, cut))
            self.assertIn(f"T: Column S: 1 value was cut to {cut} characters, the most a cell "
                          "holds.", out)
            self.assertEqual("Column V:" in out, ver == 0, out)

    def test_clob_of_100000_characters(self):
        text = ("\u0416\u4e2d" * 50000)
        src = make_db(self.w("c.db"), "CREATE TABLE C (DOC CLOB);", {"C": [(text,)]})
        for ver, cut in ((1, 32766), (XLSX, 32767)):
            dest, out, _ = self.convert(src, ver=ver, expect_rc=1)
            self.assertEqual(column(read_book(dest)["sheets"][0], 0)[0], ["text", text[:cut]])
            self.assertIn(f"C: Column DOC: 1 value was cut to {cut} characters", out)

    def test_binary_columns_become_marker_text(self):
        src = make_db(self.w("b.db"), "CREATE TABLE B (R RAW(8), L LONG RAW, BL BLOB);",
                      {"B": [(b"\x01\x02", b"\xff" * 100, b"\x00" * 5000)]})
        for ver in WIDE:
            dest, _, _ = self.convert(src, ver=ver)
            b = read_book(dest)["sheets"][0]
            self.assertEqual(b["rows"][1], [["text", "<Binary Field>"]] * 3)

    def test_numbers_keep_their_values(self):
        src = make_db(self.w("n.db"), "CREATE TABLE N (A NUMBER(2,-3), B NUMBER(12), "
                      "C NUMBER(38,4), D NUMBER(7,2));",
                      {"N": [(99000, 5000000000, 1.5e30, -12345.67)]})
        for ver in WIDE:
            dest, _, _ = self.convert(src, ver=ver)
            row = read_book(dest)["sheets"][0]["rows"][1]
            self.assertEqual(row[0], ["number", 99000.0])
            self.assertEqual(row[1], ["number", 5000000000.0])
            self.assertEqual(row[2][0], "number")
            self.assertAlmostEqual(row[2][1] / 1.5e30, 1.0, places=12)
            self.assertEqual(row[3], ["number", -12345.67])

    def test_300_columns_give_255(self):
        cols = ", ".join(f"C{i} NUMBER(5)" for i in range(300))
        src = make_db(self.w("w.db"), f"CREATE TABLE W ({cols});",
                      {"W": [tuple(range(300))]})
        # The columns left out are reported, so the run ends with 1.
        for ver in WIDE:
            dest, out, err = self.convert(src, ver=ver, expect_rc=1)
            w = read_book(dest)["sheets"][0]
            self.assertEqual(w["ncols"], 255)
            self.assertEqual(w["rows"][1][254], ["number", 254.0])

    def test_date_before_1900_refused_once_and_next_rows_written(self):
        src = make_db(self.w("d.db"), "CREATE TABLE D (ID NUMBER(3), DT DATE);",
                      {"D": [(1, "1950-01-01 00:00:00"), (2, "1850-06-01 00:00:00"),
                             (3, "2000-02-29 12:30:00")]})
        for ver in WIDE:
            dest, out, err = self.convert(src, ver=ver, expect_rc=1)
            self.assertIn("D, record #2: Date fields of the source database do not fall in the "
                          "range accepted by MS Excel.", out)
            self.assertEqual(out.count("Error:"), 1)
            d = read_book(dest)["sheets"][0]
            ids = [r[0][1] for r in d["rows"][1:]]
            self.assertEqual(ids, [1.0, 3.0])
            self.assertEqual(d["rows"][-1][1], ["date", [2000, 2, 29, 12, 30, 0]])
            if ver == XLSX:
                self.assertEqual(d["data_formats"][1]["format"], "yyyy-mm-dd")

    # -- connection failures ---------------------------------------------------------------

    def test_wrong_password_fails_with_exit_minus_one(self):
        src = make_db(self.w("sec.db"), "CREATE TABLE TSL_USERS (USERNAME VARCHAR2(30), "
                      "PASSWORD VARCHAR2(30)); CREATE TABLE T (X NUMBER);",
                      {"TSL_USERS": [("SCOTT", "tiger")]})
        dest, out, err = self.convert(src, "--user=scott", "--pswd=wrong", expect_rc=-1)
        self.assertIn("Error:", out)
        self.assertIn("Invalid user name or password.", out)
        self.assertFalse(os.path.exists(dest))

    def test_missing_database_file_fails(self):
        dest, out, err = self.convert("file:" + self.w("nothere.db"), expect_rc=-1)
        self.assertIn("Error:", out)
        self.assertFalse(os.path.exists(self.w("nothere.db")))

    # -- worksheet view: columns fit their content, the header row stays in view ---------

    def test_columns_fit_their_content_and_header_row_is_frozen(self):
        cjk = "\u6771\u4eac\u90fd\u5343\u4ee3\u7530\u533a"  # 7 wide characters
        src = make_db(self.w("v.db"),
                      "CREATE TABLE FIRST (N NUMBER(9));"
                      "CREATE TABLE MIX (N NUMBER(9), D NUMBER(12,2), S VARCHAR2(40), "
                      "W NVARCHAR2(20), HIRED DATE, LONG_TEXT VARCHAR2(400), "
                      "A_VERY_LONG_COLUMN_NAME NUMBER(1), F VARCHAR2(1));",
                      {"FIRST": [(1,)],
                       "MIX": [(7, 1600.5, "Plain ASCII text", cjk, "1980-12-17 00:00:00",
                                "z" * 300, 1, "x"),
                               (123456789, -1234567.25, "short", None, None, "a", None, None)]})

        def shown(kind, value):  # characters a reader shows, East Asian wide ones twice
            if kind == "number":
                return len("%.15g" % value)
            if kind == "date":
                return len("yyyy-mm-dd")
            return sum(2 if unicodedata.east_asian_width(ch) in "WF" else 1
                       for ch in str(value))

        for ver in (1, 0, XLSX):
            for extra, cap in (((), 60), (("--wrap",), 40)):
                # Excel 5.0 in a code page that holds the CJK text
                # (where the 300 characters of LONG_TEXT are cut to 254 and reported)
                dest, _, _ = self.convert(src, *extra, ver=ver, expect_rc=0 if ver else 1,
                                          env=None if ver else locale_env("ja_JP.UTF-8"))
                sheets = read_book(dest)["sheets"]
                # FIRST was written before the workbook was reopened for MIX
                self.assertEqual([s["name"] for s in sheets], ["FIRST", "MIX"])
                for sheet in sheets:
                    self.assertEqual(sheet["panes"], {"frozen": True, "rows": 1, "cols": 0,
                                                      "top_row": 1, "active": 2})
                    self.assertEqual(sorted(sheet["col_widths"]), list(range(sheet["ncols"])))
                mix = sheets[1]
                widths = mix["col_widths"]
                # Texts wrap in every cell when asked, the header's too.
                formats = mix["header_formats"] + mix["data_formats"][:3]
                if ver == XLSX:
                    self.assertEqual({f["wrap"] for f in formats}, {bool(extra)}, extra)
                for c in range(mix["ncols"]):
                    need = min(cap, max(shown(*row[c]) for row in mix["rows"]
                                        if row[c][0] not in ("empty", "blank")))
                    ctx = (ver, cap, mix["rows"][0][c][1], need, widths[c])
                    self.assertGreaterEqual(widths[c], max(2340, 256 * need), ctx)
                    self.assertLessEqual(widths[c], max(2340, 256 * (1.4 * need + 1)), ctx)
                    self.assertLessEqual(widths[c], 256 * (cap + 1), ctx)
                self.assertGreaterEqual(widths[5], 256 * cap)  # 300 characters: the cap
                self.assertEqual(widths[7], 2340)  # "F"/"x": the default width

    # -- capacity and split ------------------------------------------------------------------

    def big_db(self, n):
        return make_db(self.w(f"big{n}.db"), "CREATE TABLE BIG (N NUMBER(9), S VARCHAR2(20));"
                       "CREATE TABLE SMALL (N NUMBER(9));",
                       {"BIG": [(i, f"row {i}") for i in range(1, n + 1)], "SMALL": [(1,)]})

    def check_split(self, ver, n, capacity):
        src = self.big_db(n)
        # Workbooks left by an earlier run go when the new set is published; a
        # file that is not a workbook is not ours and stays.
        for k in (1, 2, 4):
            write_text(self.w(f"out({k}).xls"), OLE_SIGNATURE + b"stale")
        write_text(self.w("out(3).xls"), b"x\n")
        dest, out, err = self.convert(src, "--split", ver=ver)
        self.assertEqual(read_bytes(self.w("out(3).xls")), b"x\n")
        os.remove(self.w("out(3).xls"))
        files = [dest] + sorted(glob.glob(self.w("out(*).xls")))
        books = [read_book(f) for f in files]
        seen = []
        for book in books:
            big = [s for s in book["sheets"] if s["name"] == "BIG"]
            self.assertEqual(len(big), 1)
            header_is_patched(self, big[0])
            self.assertLessEqual(big[0]["nrows"], capacity + 1)
            self.assertTrue(big[0]["panes"]["frozen"])
            self.assertEqual(sorted(big[0]["col_widths"]), [0, 1])
            seen += [int(r[0][1]) for r in big[0]["rows"][1:]]
        self.assertEqual(seen, list(range(1, n + 1)))
        self.assertEqual(len(files), -(-n // capacity))

    def test_split_biff8_70000_rows(self):
        self.check_split(1, 70000, 65535)

    def test_split_biff5_20000_rows(self):
        self.check_split(0, 20000, 16383)

    def test_xlsx_sheets_past_1048575_rows_continue_or_are_reported(self):
        n = 1048575 + 5
        path = self.w("huge.db")
        con = sqlite3.connect(path)
        con.executescript("CREATE TABLE BIG (N NUMBER(9), S VARCHAR2(20));"
                          "CREATE TABLE SMALL (N NUMBER(9)); INSERT INTO SMALL VALUES (1);"
                          f"WITH RECURSIVE c(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM c "
                          f"WHERE n < {n}) INSERT INTO BIG SELECT n, 'row ' || n FROM c;")
        con.commit()
        con.close()
        src = "file:" + path
        for k in (1, 2):  # an earlier run's continuation files
            write_text(self.w(f"out({k}).xlsx"), ZIP_SIGNATURE + b"stale")
        dest, out, err = self.convert(src, "--split", ver=XLSX)
        self.assertFalse(os.path.exists(self.w("out(2).xlsx")))
        # The full sheet, as openpyxl reads its size (its rows would take long).
        book = openpyxl.load_workbook(dest, read_only=True)
        self.assertEqual(book.sheetnames, ["BIG", "SMALL"])
        self.assertEqual((book["BIG"].max_row, book["BIG"].max_column), (1048576, 2))
        self.assertEqual(next(book["BIG"].iter_rows(min_row=2, max_row=2, values_only=True)),
                         (1, "row 1"))
        book.close()
        rest = read_book(self.w("out(1).xlsx"))
        self.assertEqual([s["name"] for s in rest["sheets"]], ["BIG"])
        big = rest["sheets"][0]
        header_is_patched(self, big)
        self.assertTrue(big["panes"]["frozen"])
        self.assertEqual([r[0][1] for r in big["rows"][1:]], list(range(1048576, n + 1)))
        # Without --split the records left out are reported once.
        os.remove(self.w("out(1).xlsx"))
        dest, out, err = self.convert(src, ver=XLSX, expect_rc=1)
        self.assertIn("BIG: The worksheet holds no more rows: 5 records from record #1048576 on "
                      "were not written.", out)
        self.assertEqual(out.count("Error:"), 1)
        self.assertFalse(glob.glob(self.w("out(*).xlsx")))

    def test_overflow_without_split_is_reported_once(self):
        src = self.big_db(20000)
        dest, out, err = self.convert(src, ver=0, expect_rc=1)
        big = [s for s in read_book(dest)["sheets"] if s["name"] == "BIG"][0]
        self.assertEqual(big["nrows"], 16384)
        report = out + err
        self.assertIn("BIG", report)
        self.assertIn("3617", report)  # 20000 - 16383 records not written
        self.assertEqual(out.count("Error:"), 1)
        self.assertFalse(glob.glob(self.w("out(*).xls")))


if __name__ == "__main__":
    unittest.main(verbosity=2)
