#!/usr/bin/python3
"""End-to-end tests of what a run does with values and sources it cannot take as they
are: bad values, numbers out of a column's kind, wide items, texts with NULs, the
source database itself and the trace log. Workbooks are read back with xlrd or
openpyxl; what every format version does is tested for the two that hold every
value (Excel 2000 and Excel 2007)."""
import os
import sqlite3
import stat
import subprocess
import time
import unittest

from e2e_support import (TSLAGENT, XLSX, Workdir, column, ext, make_db, read_book, run_agent,
                         write_text)

WIDE = (1, XLSX)


class ValuesE2E(unittest.TestCase):
    def setUp(self):
        self.w = Workdir()

    def tearDown(self):
        self.w.cleanup()

    def run_on(self, src, *extra, ver=1):
        dest = self.w("out" + ext(ver))
        # A profile sets "src" and "dest" whether it has them or not: it comes first.
        first = [a for a in extra if a.startswith("--profile=")]
        rest = [a for a in extra if not a.startswith("--profile=")]
        rc, out, err = run_agent(*first, f"--src={src}", f"--dest={dest}", f"--xls_ver={ver}",
                                 *rest)
        self.assertIn(rc, (0, 1), out + err)
        return dest, out + err

    def profile(self, *lines):
        return write_text(self.w("p.tsl"), "\n".join(lines) + "\n")

    # -- values ----------------------------------------------------------------------------------

    def test_a_value_that_cannot_be_read_refuses_its_record_only(self):
        src = make_db(self.w("d.db"), "CREATE TABLE D (ID NUMBER(3), D DATE);",
                      {"D": [(1, "1999-01-01"), (2, "2024-02-30"), (3, ""), (4, "garbage"),
                             (5, 7), (6, "2000-01-01")]})
        for ver in WIDE:
            dest, report = self.run_on(src, ver=ver)
            for n in (2, 3, 4, 5):
                self.assertIn(f"D, record #{n}: ORA-0", report)
            self.assertEqual(report.count("Error:"), 4)
            d = read_book(dest)["sheets"][0]
            self.assertEqual([r[0] for r in column(d, 0)], ["number", "number"])
            self.assertEqual([r[1] for r in column(d, 0)], [1.0, 6.0])
            self.assertEqual(column(d, 1)[1], ["date", [2000, 1, 1, 0, 0, 0]])
            # Written as text, a value that is no date is written as the source holds it.
            dest, report = self.run_on(src, "--date2str", ver=ver)
            self.assertNotIn("Error:", report)
            dates = column(read_book(dest)["sheets"][0], 1)
            self.assertEqual(len(dates), 6)
            self.assertEqual([dates[i] for i in (0, 1, 3, 4, 5)],
                             [["text", "1999-01-01"], ["text", "2024-02-30"], ["text", "garbage"],
                              ["text", "7"], ["text", "2000-01-01"]])

    def test_numbers_keep_their_values_or_refuse_their_record(self):
        inf = float("inf")
        src = make_db(self.w("n.db"), "CREATE TABLE N (ID NUMBER(3), A NUMBER(2), B NUMBER(9), "
                      "C NUMBER(15), E NUMBER(10,2));",
                      {"N": [(1, 300, 3.7, 1e20, 1e308), (2, -129, 9999999999, 5, 1.5),
                             (3, "abc", 1, 1, 1), (4, 1, "12abc", 1, 1), (5, 1, 1, inf, 1),
                             (6, 1, 1, 1, -inf), (7, 1, 2, 3, 4.25)]})
        for ver in WIDE:
            dest, report = self.run_on(src, ver=ver)
            for n in (3, 4, 5, 6):
                self.assertIn(f"N, record #{n}: ORA-01722: invalid number", report)
            self.assertEqual(report.count("Error:"), 4)
            rows = read_book(dest)["sheets"][0]["rows"][1:]
            self.assertEqual([r[0][1] for r in rows], [1.0, 2.0, 7.0])
            self.assertEqual([c[1] for c in rows[0][1:]], [300.0, 3.7, 1e20, 1e308])
            self.assertEqual([c[1] for c in rows[1][1:]], [-129.0, 9999999999.0, 5.0, 1.5])
            self.assertEqual([c[1] for c in rows[2][1:]], [1.0, 2.0, 3.0, 4.25])

    def test_columns_past_255_are_reported_once(self):
        cols = ", ".join(f"C{i} NUMBER(5)" for i in range(300))
        src = make_db(self.w("w.db"), f"CREATE TABLE W ({cols});",
                      {"W": [tuple(range(300)), tuple(range(300))]})
        for ver in WIDE:
            dest, report = self.run_on(src, ver=ver)
            self.assertEqual(report.count("45 columns"), 1, report)
            self.assertIn("W: The worksheet holds no more columns: 45 columns from column #256",
                          report)
            self.assertEqual(read_book(dest)["sheets"][0]["ncols"], 255)

    def test_a_nul_inside_a_text_is_dropped_and_the_rest_kept(self):
        src = make_db(self.w("z.db"), "CREATE TABLE Z (S VARCHAR2(10), C CLOB, L LONG);",
                      {"Z": [("ab\x00cd", "ab\x00cd\x00", "ab\x00cd")]})
        for ver in WIDE:
            dest, report = self.run_on(src, ver=ver)
            self.assertEqual(read_book(dest)["sheets"][0]["rows"][1],
                             [["text", "abcd"], ["text", "abcd"], ["text", "abcd"]])

    # -- the source is only read ---------------------------------------------------------------

    def test_a_profile_query_cannot_change_the_source(self):
        path = self.w("src.db")
        src = make_db(path, "CREATE TABLE T (X NUMBER(3));", {"T": [(1,)]})
        prof = self.profile("[Generic settings]", f"src={src}", "[Selected Tables]", "T",
                            "QP=PRAGMA journal_mode=WAL")
        dest, report = self.run_on(src, f"--profile={prof}")
        con = sqlite3.connect(path)
        self.assertEqual(con.execute("PRAGMA journal_mode").fetchone()[0], "delete")
        con.close()
        self.assertEqual(column(read_book(dest)["sheets"][0], 0), [["number", 1.0]])

    def test_a_locked_source_is_waited_for(self):
        path = self.w("busy.db")
        src = make_db(path, "CREATE TABLE T (X NUMBER(3));", {"T": [(1,)]})
        holder = sqlite3.connect(path, isolation_level=None)
        holder.execute("BEGIN EXCLUSIVE")
        holder.execute("UPDATE T SET X = 2")
        agent = subprocess.Popen([TSLAGENT, f"--src={src}", f"--dest={self.w('o.xls')}",
                                  "--xls_ver=1"], stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        time.sleep(1)
        holder.execute("COMMIT")
        holder.close()
        out = agent.communicate(timeout=60)[0].decode("utf-8", "replace")
        self.assertEqual(agent.returncode, 0, out)
        self.assertEqual(column(read_book(self.w("o.xls"))["sheets"][0], 0), [["number", 2.0]])

    def test_a_source_that_is_no_database_is_told_so(self):
        path = write_text(self.w("notes.db"), "plain text, long enough for a header " * 10)
        rc, out, err = run_agent(f"--src=file:{path}", f"--dest={self.w('o.xls')}", "--xls_ver=1")
        self.assertEqual(rc, -1)
        self.assertIn("file is not a database", out + err)
        self.assertNotIn("does not exist", out + err)

    # -- the trace log ------------------------------------------------------------------------

    def test_log_never_shows_the_password_and_is_private(self):
        src = make_db(self.w("sec.db"), "CREATE TABLE TSL_USERS (USERNAME VARCHAR2(30), "
                      "PASSWORD VARCHAR2(30)); CREATE TABLE T (X NUMBER);",
                      {"TSL_USERS": [("SCOTT", "S3cretPW")]})
        log = self.w("trace.log")
        prof = self.profile("[Generic settings]", f"src={src}", f"logfile={log}",
                            "[Oracle settings]", "user=scott", "password=S3cretPW")
        os.umask(0o022)
        rc, out, err = run_agent(f"--profile={prof}", f"--dest={self.w('o.xls')}", "--xls_ver=1")
        self.assertEqual(rc, 0, out + err)
        with open(log, "rb") as f:
            text = f.read().decode("utf-8", "replace")
        self.assertIn("ora_engine::open_db( " + src + ", scott, *** )", text)
        self.assertNotIn("S3cretPW", text)
        self.assertEqual(stat.S_IMODE(os.stat(log).st_mode), 0o600)


if __name__ == "__main__":
    unittest.main(verbosity=2)
