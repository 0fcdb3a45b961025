#!/usr/bin/python3
"""End-to-end tests of what a run does with values and sources it cannot take as they
are: bad values, numbers out of a column's kind, wide items, texts with NULs, the
source database itself and the trace log. Workbooks are read back with xlrd."""
import os
import sqlite3
import stat
import subprocess
import time
import unittest

from e2e_support import TSLAGENT, Workdir, column, make_db, read_book, run_agent, write_text


class ValuesE2E(unittest.TestCase):
    def setUp(self):
        self.w = Workdir()

    def tearDown(self):
        self.w.cleanup()

    def run_on(self, src, *extra, ver=1):
        dest = self.w("out.xls")
        # A profile sets "src" and "dest" whether it has them or not: it comes first.
        first = [a for a in extra if a.startswith("--profile=")]
        rest = [a for a in extra if not a.startswith("--profile=")]
        rc, out, err = run_agent(*first, f"--src={src}", f"--dest={dest}", f"--xls_ver={ver}",
                                 *rest)
        self.assertIn(rc, (0, 1), out + err)
        return dest, out + err

    def profile(self, *lines):
        return write_text(self.w("p.tsl"), "\n".join(lines) + "\n")

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
