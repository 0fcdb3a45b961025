#!/usr/bin/python3
"""The command line of the real tslagent program, run as a process: options,
usage text, messages, streams and exit codes. Sources are SQLite databases
read through the embedded OCI provider ("file:" data sources); workbooks are
read back with xlrd."""
import os
import sqlite3
import subprocess
import tempfile
import unittest

import xlrd

TSLAGENT = os.environ.get("TSLAGENT", "tslagent")

USAGE = """TSLAGENT v3.3 Copyright (C) Brannock. Converts Oracle tables into MS Excel spreadsheets.
Usage: TSLAGENT.EXE OPTIONS

   --date2str     convert dates into strings
   --dest=...     MS Excel spreadsheet name
   --direct       connect to Oracle server via IP + port
                  (in direct mode)
   --help         display this help message and exit
   --port=...     Oracle port (for direct mode only)
   --profile=...  path to the file to load conversion settings from
   --pswd=...     Oracle user password
   --split        split data into multiple spreadsheets if necessary
   --src=...      Oracle database name or IP address of Oracle server
   --tab_file=... file containing the list of tables to convert
                  (one table name per line)
   --user=...     Oracle user name
   --wrap         wrap text into multiple lines in a cell
   --xls_ver=...  format version for the destination MS Excel spreadsheet
                  (0 - MS Excel 5.0, 1 - MS Excel 2000, 2 - MS Excel 2007 (XLSX))

NOTES:
   1) Command line parameters that contain spaces should be enclosed in
      quotes (for example --dest=&quot;c:\\my documents\\sheet 1.xls&quot;)
   2) If you omit 'tab_file' parameter, all database tables will be converted.
   3) The default mode is 'overwrite'. You can change it using
      '--mode' parameter
"""


def run(*args):
    p = subprocess.run([TSLAGENT, *args], capture_output=True, timeout=600)
    rc = p.returncode - 256 if p.returncode > 127 else p.returncode
    return rc, p.stdout.decode("utf-8"), p.stderr.decode("utf-8")


def sheets(path):
    book = xlrd.open_workbook(path)
    return {s.name: [s.row_values(r) for r in range(s.nrows)] for s in book.sheets()}, book


class Agent(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory(prefix="tsl_agent_")
        self.dir = self.tmp.name
        self.dest = self.path("out.xls")

    def tearDown(self):
        self.tmp.cleanup()

    def path(self, name):
        return os.path.join(self.dir, name)

    def write(self, name, data):
        with open(self.path(name), "wb") as f:
            f.write(data if isinstance(data, bytes) else data.encode("utf-8"))
        return self.path(name)

    def db(self, tables):
        """tables: name -> (column DDL, rows). Returns the data source."""
        path = self.path("src.db")
        con = sqlite3.connect(path)
        for name, (ddl, rows) in tables.items():
            con.execute(f'CREATE TABLE "{name}" ({ddl})')
            if rows:
                marks = ",".join("?" * len(rows[0]))
                con.executemany(f'INSERT INTO "{name}" VALUES ({marks})', rows)
        con.commit()
        con.close()
        return "file:" + path

    def emp_db(self):
        return self.db({"EMP": ("EMPNO NUMBER(4), ENAME VARCHAR2(10)", [(7369, "SMITH"), (7499, "ALLEN")]),
                        "DEPT": ("DEPTNO NUMBER(2)", [(10,)])})

    def assert_fails(self, args, err, out=""):
        rc, o, e = run(*args)
        self.assertEqual((rc, o, e), (-1, out, err))

    # -- usage and checks of the options -------------------------------------------------

    def test_help_prints_the_usage_text_exactly(self):
        self.assert_fails(["--help"], USAGE)
        self.assert_fails([], USAGE)
        # Options after --help do not matter; --helpme counts as --help.
        self.assert_fails(["--helpme", "--src=X"], USAGE)

    def test_an_unknown_argument_gives_the_usage_text_and_converts_nothing(self):
        src = self.emp_db()
        self.assert_fails([f"--src={src}", f"--dest={self.dest}", "--xls_ver=1", "--mode=overwrite"],
                          USAGE)
        self.assertFalse(os.path.exists(self.dest))

    def test_checks_in_order_with_their_messages(self):
        self.assert_fails(["--xls_ver=1", "--src=X"], "You should enter MS Excel spredsheet name\n")
        self.assert_fails([f"--dest={self.dest}", "--src=X"],
                          "You should specify MS Excel format version (use '--xls_ver' option)\n")
        self.assert_fails([f"--dest={self.dest}", "--src=X", "--xls_ver=3"],
                          "You should specify MS Excel format version (use '--xls_ver' option)\n")
        self.assert_fails([f"--dest={self.dest}", "--xls_ver=1"],
                          "You should enter Oracle database name\n")

    def test_too_many_unknown_arguments_is_an_internal_error(self):
        rc, out, err = run(*[f"x{i}" for i in range(21)])
        self.assertEqual(rc, -1)
        self.assertTrue(out.startswith("Internal error: Internal error: \ncode="), out)

    # -- a run ---------------------------------------------------------------------------------

    def test_a_run_prints_its_progress_on_standard_output_only(self):
        src = self.emp_db()
        rc, out, err = run(f"--src={src}", f"--dest={self.path('book')}", "--xls_ver=abc")
        self.assertEqual(rc, 0, err)
        self.assertEqual(out, f"Converting database {src}(2 tables)\n"
                              "Converting table DEPT (1 records)\n"
                              "Converting table EMP (2 records)\n")
        self.assertEqual(err, "")  # no progress line: standard error is not a terminal
        data, book = sheets(self.path("book.xls"))  # extension added
        self.assertLess(book.biff_version, 80)  # "abc" reads as 0: Excel 5.0
        self.assertEqual(data["EMP"], [["EMPNO", "ENAME"], [7369.0, "SMITH"], [7499.0, "ALLEN"]])

    def test_a_failed_logon_ends_with_minus_one(self):
        rc, out, err = run(f"--src=file:{self.path('missing.db')}", f"--dest={self.dest}", "--xls_ver=1")
        self.assertEqual(rc, -1)
        self.assertEqual(out, "Error:\nOracle data source does not exist. Check to verify the correct "
                              "name was given.\n")
        self.assertFalse(os.path.exists(self.dest))

    def test_direct_form_without_an_oracle_client(self):
        env_home = os.environ.pop("ORACLE_HOME", None)
        try:
            rc, out, err = run("--direct", "--src=127.0.0.1", f"--dest={self.dest}", "--xls_ver=1")
        finally:
            if env_home is not None:
                os.environ["ORACLE_HOME"] = env_home
        self.assertEqual(rc, -1)
        self.assertTrue(out.startswith("Error:\nThe Oracle client and networking components were "
                                       "not found. These components"), out)

    def test_errors_during_a_run_are_reported_and_the_exit_is_one(self):
        src = self.emp_db()
        prof = self.write("q.tsl", f"[Generic settings]\nsrc={src}\n"
                                   "[Selected Tables]\nA_BAD=SELECT FROM WHERE\nDEPT\n")
        rc, out, err = run(f"--profile={prof}", f"--dest={self.dest}", "--xls_ver=1")
        self.assertEqual(rc, 1, out + err)
        self.assertIn("Error:\nA_BAD: ", out)
        self.assertEqual(list(sheets(self.dest)[0]), ["DEPT"])

    # -- profiles --------------------------------------------------------------------------------

    def test_missing_profile_is_reported_on_standard_output(self):
        rc, out, err = run(f"--profile={self.path('none.tsl')}")
        self.assertEqual((rc, out, err), (-1, "Error:\nProfile does not exist. Please verify the "
                                              "correct path/name was given.\n", ""))

    def test_a_profile_that_is_not_one_is_refused(self):
        prof = self.write("bad.tsl", "dest=x\n[Generic settings]\n")
        self.assert_fails([f"--profile={prof}"],
                          "Profile cannot be loaded: line 1 holds a setting before the first section.\n")

    def test_a_log_file_in_a_missing_folder_is_refused(self):
        prof = self.write("log.tsl", f"[Generic settings]\nlogfile={self.path('no/such/x.log')}\n")
        rc, out, err = run(f"--profile={prof}")
        self.assertEqual(rc, -1)
        self.assertEqual(out, "Error:\nLogfile path does not exist. Please verify the correct path "
                              "was given.\n")

    def test_a_profile_log_file_turns_tracing_on(self):
        src = self.emp_db()
        log = self.path("trace.log")
        prof = self.write("p.tsl", f"[Generic settings]\nsrc={src}\nlogfile={log}\n")
        rc, out, err = run(f"--profile={prof}", f"--dest={self.dest}", "--xls_ver=1")
        self.assertEqual(rc, 0, err)
        with open(log, "rb") as f:
            text = f.read().decode("utf-8")
        self.assertIn(f"Converting database {src} (2 tables)\r\n", text)
        self.assertIn("Converting table EMP (2 records)\r\n", text)

    def test_profile_and_table_file_combine_in_option_order(self):
        src = self.db({n: ("X NUMBER(2)", [(i,)]) for i, n in enumerate(["T1", "T2", "P1", "P2"])})
        tabs = self.write("t.txt", "T1\r\nT2\r\n")
        prof = self.write("p.tsl", f"[Generic settings]\nsrc={src}\n"
                                   "[Selected Tables]\nP1\nQ1=SELECT X FROM P2\n")
        # The names file first: its tables, then the profile's tables and queries.
        rc, out, err = run(f"--tab_file={tabs}", f"--profile={prof}", f"--dest={self.dest}", "--xls_ver=1")
        self.assertEqual(rc, 0, out + err)
        self.assertEqual(list(sheets(self.dest)[0]), ["P1", "Q1", "T1", "T2"])
        self.assertIn(f"Converting database {src}(3 tables)\n", out)
        # The profile first: the names file replaces the plain table list, but
        # the profile's items stay selected.
        rc, out, err = run(f"--profile={prof}", f"--tab_file={tabs}", f"--dest={self.dest}", "--xls_ver=1")
        self.assertEqual(rc, 0, out + err)
        self.assertEqual(list(sheets(self.dest)[0]), ["P1", "Q1", "T1", "T2"])
        self.assertIn(f"Converting database {src}(2 tables)\n", out)

    # -- table-names files -----------------------------------------------------------------------

    def test_table_names_file_encodings_and_blank_lines(self):
        src = self.db({"B\u00dcRO": ("X NUMBER(2)", [(1,)]), "K\u00d6LN": ("X NUMBER(2)", [(2,)]),
                       "EMP": ("X NUMBER(2)", [(3,)])})
        for name, data in [("bom.txt", "\ufeffB\u00dcRO\r\n\r\nK\u00d6LN\r\n".encode("utf-8")),
                           ("utf8.txt", "B\u00dcRO\n\nK\u00d6LN\n".encode("utf-8")),
                           ("ansi.txt", "B\u00dcRO\r\n\r\nK\u00d6LN\r\n".encode("cp1252"))]:
            tabs = self.write(name, data)
            rc, out, err = run(f"--src={src}", f"--tab_file={tabs}", f"--dest={self.dest}", "--xls_ver=1")
            self.assertEqual((rc, err), (0, ""), name)
            self.assertEqual(list(sheets(self.dest)[0]), ["B\u00dcRO", "K\u00d6LN"], name)

    def test_missing_table_names_file(self):
        self.assert_fails(["--src=X", f"--tab_file={self.path('none.txt')}"],
                          "Table names file does not exist.\nPlease verify the correct path/name was given.\n")

    def test_a_long_line_is_cut_and_the_run_goes_on(self):
        src = self.emp_db()
        tabs = self.write("long.txt", "EMP\n" + "\u00e9" * 200 + "\nDEPT\n")  # 400 bytes
        rc, out, err = run(f"--src={src}", f"--tab_file={tabs}", f"--dest={self.dest}", "--xls_ver=1")
        self.assertEqual(rc, 1)  # a table was missing
        cut = "\u00e9" * 127  # 254 bytes
        self.assertEqual(err, "Table names file, line 2: the line is longer than 254 bytes; the table "
                              f"name was cut to \"{cut}\"\nTable {cut} not exists\n")
        self.assertEqual(list(sheets(self.dest)[0]), ["DEPT", "EMP"])

    # -- full worksheets ---------------------------------------------------------------------------

    def test_split_continues_in_numbered_files_and_without_it_one_report(self):
        src = self.db({"BIG": ("N NUMBER(6)", [(i,) for i in range(1, 16383 + 6)])})
        rc, out, err = run(f"--src={src}", f"--dest={self.dest}", "--xls_ver=0", "--split")
        self.assertEqual((rc, err), (0, ""))
        self.assertNotIn("Error:", out)
        main, _ = sheets(self.dest)
        more, _ = sheets(self.path("out(1).xls"))
        self.assertEqual(len(main["BIG"]), 16384)
        self.assertEqual(more["BIG"], [["N"]] + [[float(i)] for i in range(16384, 16389)])

        rc, out, err = run(f"--src={src}", f"--dest={self.dest}", "--xls_ver=0")
        self.assertEqual(rc, 1)  # rows were left out
        # Without --split, continuation files of an earlier run are left alone.
        self.assertTrue(os.path.exists(self.path("out(1).xls")))
        self.assertEqual(out.count("Error:"), 1)
        self.assertIn("Error:\nBIG: The worksheet holds no more rows: 5 records from record #16384 on "
                      "were not written. Choose to split data into multiple spreadsheets (--split) "
                      "to keep them.\n", out)


if __name__ == "__main__":
    unittest.main()
