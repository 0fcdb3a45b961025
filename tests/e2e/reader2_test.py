#!/usr/bin/python3
"""Opens the demo workbooks with a second independent reader, LibreOffice in
headless mode: it must load every sheet and show the same texts xlrd (or, for
.xlsx, openpyxl) shows."""
import csv
import glob
import html
import os
import re
import shutil
import subprocess
import unittest

from e2e_support import (XLSX, Workdir, demo_run_ok, ext, locale_env, make_db, read_book,
                         run_agent)

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
SOFFICE = shutil.which("soffice") or shutil.which("libreoffice")


@unittest.skipIf(SOFFICE is None and os.environ.get("CI") != "true",
                 "LibreOffice is not installed (scripts/deps.sh --reader installs it)")
class SecondReader(unittest.TestCase):
    def setUp(self):
        self.w = Workdir()
        db = self.w("demo.db")
        subprocess.run(["bash", os.path.join(ROOT, "demo", "make_demo.sh"), db], check=True)
        self.src = "file:" + db

    def tearDown(self):
        self.w.cleanup()

    def export_all_sheets(self, xls):
        outdir = self.w("csv")
        os.makedirs(outdir, exist_ok=True)
        # Filter options: comma, quote, UTF-8, first line 1, ..., sheet -1 = every sheet
        # into its own file named <book>-<sheet>.csv.
        fmt = "csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,false,false,false,-1"
        env = dict(os.environ, HOME=self.w())  # a private LibreOffice profile
        p = subprocess.run([SOFFICE, "--headless", "--norestore", "--convert-to", fmt,
                            "--outdir", outdir, xls], capture_output=True, env=env, timeout=300)
        self.assertEqual(p.returncode, 0, p.stderr)
        base = os.path.splitext(os.path.basename(xls))[0]
        sheets = {}
        for f in glob.glob(os.path.join(outdir, base + "-*.csv")):
            name = os.path.basename(f)[len(base) + 1:-4]
            with open(f, encoding="utf-8", newline="") as fh:
                sheets[name] = list(csv.reader(fh))
        return sheets

    def export_html(self, xls):
        outdir = self.w("html")
        env = dict(os.environ, HOME=self.w())
        p = subprocess.run([SOFFICE, "--headless", "--norestore", "--convert-to", "html",
                            "--outdir", outdir, xls], capture_output=True, env=env, timeout=300)
        self.assertEqual(p.returncode, 0, p.stderr)
        base = os.path.splitext(os.path.basename(xls))[0]
        with open(os.path.join(outdir, base + ".html"), encoding="utf-8") as f:
            return f.read()

    def test_header_font_is_bold_in_libreoffice(self):
        # LibreOffice's HTML export wraps a bold cell's text in <b> (with a
        # <font> naming the .xlsx theme's text colour inside).
        for ver in (1, 0, XLSX):
            xls = self.w(f"bold{ver}{ext(ver)}")
            rc, out, err = run_agent(f"--src={self.src}", f"--dest={xls}", f"--xls_ver={ver}")
            self.assertTrue(demo_run_ok(rc, out), out + err)
            page = self.export_html(xls)
            for sheet in read_book(xls)["sheets"]:
                for _, name in sheet["rows"][0]:
                    bold = "<b>(<font[^>]*>)?%s(</font>)?</b>" % re.escape(
                        html.escape(name, quote=False))
                    self.assertRegex(page, bold, (ver, sheet["name"], name))

    def test_cyrillic_excel5_workbook_reads_the_same(self):
        # Written in the Russian locale's code page 1251 (CODEPAGE record).
        src = make_db(self.w("ru.db"), 'CREATE TABLE "Заказы" ("Имя" VARCHAR2(20), "Город" '
                      'VARCHAR2(20));', {"Заказы": [("Ёлка", "Москва"), ("Щука", "Жуковский")]})
        xls = self.w("ru.xls")
        rc, out, err = run_agent(f"--src={src}", f"--dest={xls}", "--xls_ver=0",
                                 env=locale_env("ru_RU.UTF-8"))
        self.assertEqual(rc, 0, out + err)
        self.assertEqual(read_book(xls)["codepage"], 1251)
        theirs = self.export_all_sheets(xls)
        self.assertEqual(theirs, {"Заказы": [["Имя", "Город"], ["Ёлка", "Москва"],
                                             ["Щука", "Жуковский"]]})

    def test_demo_workbooks_open_in_libreoffice(self):
        for ver in (1, 0, XLSX):
            xls = self.w(f"demo{ver}{ext(ver)}")
            rc, out, err = run_agent(f"--src={self.src}", f"--dest={xls}", f"--xls_ver={ver}")
            self.assertTrue(demo_run_ok(rc, out), out + err)
            ours = read_book(xls)
            theirs = self.export_all_sheets(xls)
            self.assertEqual(sorted(theirs), sorted(s["name"] for s in ours["sheets"]))
            for sheet in ours["sheets"]:
                rows = theirs[sheet["name"]]
                self.assertEqual(len(rows), sheet["nrows"], sheet["name"])
                # the header row reads the same in both readers
                self.assertEqual(rows[0], [c[1] for c in sheet["rows"][0]])
                for r, row in enumerate(sheet["rows"]):
                    for c, (kind, value) in enumerate(row):
                        if kind == "text":
                            self.assertEqual(rows[r][c], value, (sheet["name"], r, c))


if __name__ == "__main__":
    unittest.main(verbosity=2)
