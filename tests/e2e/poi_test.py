#!/usr/bin/python3
"""Resolves the header font of the demo workbooks with Apache POI (Debian's
libapache-poi-java), a third independent reader: HSSFCellStyle.getFont must
give a bold font for every first-row cell. POI reads BIFF8 only; it must
refuse BIFF5 as the old format (not fail on our records)."""
import os
import subprocess
import unittest

from e2e_support import Workdir, demo_run_ok, read_book, run_agent

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.join(HERE, "..", "..")
POI = "/usr/share/java/poi.jar"


class PoiReader(unittest.TestCase):
    def setUp(self):
        self.w = Workdir()
        db = self.w("demo.db")
        subprocess.run(["bash", os.path.join(ROOT, "demo", "make_demo.sh"), db], check=True,
                       stdout=subprocess.DEVNULL)
        self.src = "file:" + db
        classes = self.w("classes")
        subprocess.run(["javac", "-cp", POI, "-d", classes, os.path.join(HERE, "PoiHeader.java")],
                       check=True)
        self.cp = POI + ":" + classes

    def tearDown(self):
        self.w.cleanup()

    def poi(self, xls):
        p = subprocess.run(["java", "-cp", self.cp, "PoiHeader", xls], capture_output=True,
                           text=True, timeout=300)
        self.assertEqual(p.returncode, 0, p.stderr)
        return [line.split("\t") for line in p.stdout.splitlines()]

    def test_header_font_is_bold_in_poi(self):
        for ver in (1, 0):
            xls = self.w(f"demo{ver}.xls")
            rc, out, err = run_agent(f"--src={self.src}", f"--dest={xls}", f"--xls_ver={ver}")
            self.assertTrue(demo_run_ok(rc, out), out + err)
            lines = self.poi(xls)
            if ver == 0:
                self.assertEqual(len(lines), 1, lines)
                self.assertEqual(lines[0][0], "refused")
                self.assertIn("BIFF5", lines[0][1])
                continue
            expected = [(s["name"], str(c)) for s in read_book(xls)["sheets"]
                        for c in range(len(s["rows"][0]))]
            self.assertEqual([(name, col) for name, col, _ in lines], expected)
            self.assertEqual({bold for _, _, bold in lines}, {"true"}, lines)


if __name__ == "__main__":
    unittest.main(verbosity=2)
