#!/usr/bin/python3
"""End-to-end tests of what a run must never do to the user's files: replace the
source database, leave a half-written or no workbook behind when it fails, is
killed or interrupted, mix two runs, or lose a destination's protection. Every
test runs for an .xls version and for the .xlsx one."""
import os
import resource
import signal
import sqlite3
import subprocess
import tempfile
import time
import unittest
import zipfile

from e2e_support import (TSLAGENT, XLSX, Workdir, ext, make_db, read_book, read_bytes, run_agent,
                         write_text)

BIG_ROWS = 300000


class AgentGuard(unittest.TestCase):
    VER = 1

    @classmethod
    def setUpClass(cls):
        # One big source for every test that needs a long run: --split makes
        # the agent write all of it (five BIFF8 files).
        cls.shared = tempfile.TemporaryDirectory(prefix="tsl_guard_src_")
        cls.big = make_db(os.path.join(cls.shared.name, "big.db"),
                          "CREATE TABLE BIG (N NUMBER(9), S VARCHAR2(40));",
                          {"BIG": [(i, f"row {i} of the big table") for i in range(BIG_ROWS)]})
        cls.small = make_db(os.path.join(cls.shared.name, "small.db"),
                            "CREATE TABLE SMALL (N NUMBER(9));", {"SMALL": [(1,), (2,)]})

    @classmethod
    def tearDownClass(cls):
        cls.shared.cleanup()

    def setUp(self):
        self.w = Workdir()
        self.addCleanup(self.w.cleanup)
        self.ext = ext(self.VER)
        self.ver = f"--xls_ver={self.VER}"
        self.dest = self.w("out" + self.ext)

    def old_workbook(self, path=None):
        """Writes a workbook with a real conversion; returns its bytes."""
        path = path or self.dest
        rc, out, err = run_agent(f"--src={self.small}", f"--dest={path}", self.ver)
        self.assertEqual(rc, 0, out + err)
        return read_bytes(path)

    def start_big(self, dest=None):
        """Starts a long run and returns once it is copying rows."""
        p = subprocess.Popen([TSLAGENT, f"--src={self.big}", f"--dest={dest or self.dest}",
                              self.ver, "--split"],
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.addCleanup(p.stderr.close)
        self.addCleanup(p.stdout.close)
        line = p.stdout.readline().decode()
        while line and not line.startswith("Converting table"):
            line = p.stdout.readline().decode()
        self.assertTrue(line, "the run never started copying")
        # The whole table takes about half a second on an idle machine: stop it
        # soon after it starts copying, while its files are surely unfinished.
        time.sleep(0.05)
        self.assertIsNone(p.poll(), "the run ended too soon to be stopped mid-way")
        return p

    def listing(self, folder=None):
        return sorted(os.listdir(folder or self.w.path))

    # -- the source is never the destination ----------------------------------------------

    def test_destination_that_is_the_source_database_is_refused(self):
        x = self.w("x" + self.ext)
        src = make_db(x, "CREATE TABLE D (N NUMBER(3));", {"D": [(1,)]})
        before = read_bytes(x)
        rc, out, err = run_agent(f"--src={src}", f"--dest={x}", self.ver)
        self.assertEqual(rc, -1, out + err)
        self.assertIn("is the source database file", out)
        # ... or one of the continuation files of a split run
        part = self.w("out(2)" + self.ext)
        os.rename(x, part)
        rc, out, err = run_agent(f"--src=file:{part}", f"--dest={self.dest}", self.ver, "--split")
        self.assertEqual(rc, -1, out + err)
        self.assertEqual(read_bytes(part), before)
        self.assertEqual(self.listing(), ["out(2)" + self.ext])
        # A profile's destination gets the workbook extension as --dest does.
        src = make_db(self.w("victim.db"), "CREATE TABLE D (N NUMBER(3));", {"D": [(1,)]})
        before = read_bytes(self.w("victim.db"))
        prof = write_text(self.w("p.tsl"), f"[Generic settings]\nsrc={src}\n"
                          f"dest={self.w('victim.db')}\n[Selected Tables]\nD\n")
        rc, out, err = run_agent(f"--profile={prof}", self.ver)
        self.assertEqual(rc, 0, out + err)
        self.assertEqual(read_bytes(self.w("victim.db")), before)
        self.assertEqual(read_book(self.w("victim" + self.ext))["sheets"][0]["name"], "D")
        # A profile's destination longer than any path is refused, not an internal error.
        write_text(prof, f"[Generic settings]\nsrc={src}\ndest=/tmp/{'v' * 5000}.xls\n")
        rc, out, err = run_agent(f"--profile={prof}", self.ver)
        self.assertEqual((rc, err.strip()), (-1, "The MS Excel spreadsheet name is too long."),
                         out)

    def test_files_that_are_not_ours_are_neither_replaced_nor_removed(self):
        # An existing destination that is no workbook (the agent asks nothing).
        write_text(self.dest, "my notes")
        rc, out, err = run_agent(f"--src={self.small}", f"--dest={self.dest}", self.ver)
        self.assertEqual(rc, -1, out + err)
        self.assertIn(f"The file {self.dest} is not a workbook and is not replaced", out)
        self.assertEqual(read_bytes(self.dest), b"my notes")
        os.remove(self.dest)
        # A source database named like a temporary of the destination, or
        # like its lock file.
        for name, status in ((f".out{self.ext}.tsl-abc123", 0), (f".out{self.ext}.tsl-lock", -1)):
            src = make_db(self.w(name), "CREATE TABLE D (N NUMBER(3));", {"D": [(1,)]})
            before = read_bytes(self.w(name))
            rc, out, err = run_agent(f"--src={src}", f"--dest={self.dest}", self.ver)
            self.assertEqual(rc, status, out + err)
            self.assertEqual(read_bytes(self.w(name)), before)
            os.remove(self.w(name))
        self.assertIn("is the source database file", out)
        self.assertEqual(self.listing(), ["out" + self.ext])

    # -- a run that does not complete leaves the old files -----------------------------------

    def test_killed_run_leaves_old_workbook_and_nothing_after_next_run(self):
        old = self.old_workbook()
        p = self.start_big()
        p.kill()
        p.wait()
        self.assertEqual(read_bytes(self.dest), old)
        # The files being written vanished with the process; only the lock
        # file it held is left, for the next run to take over.
        self.assertEqual([n for n in self.listing() if not n.endswith(".tsl-lock")],
                         ["out" + self.ext])
        rc, out, err = run_agent(f"--src={self.small}", f"--dest={self.dest}", self.ver)
        self.assertEqual(rc, 0, out + err)
        self.assertEqual(self.listing(), ["out" + self.ext])

    def test_interrupted_run_cleans_up_and_ends_by_its_signal(self):
        for sig in (signal.SIGINT, signal.SIGTERM):
            old = self.old_workbook()
            p = self.start_big()
            p.send_signal(sig)
            _, err = p.communicate(timeout=60)
            self.assertEqual(p.returncode, -sig, err)
            self.assertIn(b"interrupted", err)
            self.assertEqual(read_bytes(self.dest), old)
            self.assertEqual(self.listing(), ["out" + self.ext])

    def test_full_disk_or_file_size_limit_ends_the_run_with_one_report(self):
        disk = self.w("disk")
        os.mkdir(disk)
        mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=2m", "tmpfs", disk],
                                 capture_output=True)
        if mounted.returncode != 0:
            self.skipTest("cannot mount a small tmpfs here: " + mounted.stderr.decode().strip())
        self.addCleanup(subprocess.run, ["umount", disk])
        million = "file:" + self.w("million.db")
        con = sqlite3.connect(self.w("million.db"))
        con.executescript("CREATE TABLE M (N NUMBER(9), S VARCHAR2(40));"
                          "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c "
                          "WHERE x < 1000000) INSERT INTO M SELECT x, 'row ' || x FROM c;")
        con.close()
        dest = os.path.join(disk, "out" + self.ext)
        old = self.old_workbook(dest)
        # The disk full, then a file-size limit (SIGXFSZ would end the run).
        filler = os.path.join(disk, "filler")
        fd = os.open(filler, os.O_WRONLY | os.O_CREAT)
        try:
            while os.write(fd, b"\0" * 4096):
                pass
        except OSError:
            pass
        os.close(fd)
        for limit in (None, 1 << 20):
            if limit:
                os.remove(filler)
            def set_limit(limit=limit):
                if limit:
                    resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))
            p = subprocess.run([TSLAGENT, f"--src={million}", f"--dest={dest}", self.ver,
                                "--split"], capture_output=True, timeout=120,
                               preexec_fn=set_limit)
            out = p.stdout.decode()
            self.assertEqual(p.returncode, 1, out + p.stderr.decode())
            self.assertEqual(out.count("Error:"), 1, out)
            self.assertIn(dest + ": The workbook could not be written", out)
            self.assertEqual(read_bytes(dest), old)
            self.assertEqual(self.listing(disk), ["filler", "out" + self.ext] if not limit
                             else ["out" + self.ext])

    # -- signals and memory ------------------------------------------------------------------

    def test_a_source_that_would_block_is_refused_or_interrupted(self):
        fifo = self.w("fifo.db")
        os.mkfifo(fifo)
        rc, out, err = run_agent(f"--src=file:{fifo}", f"--dest={self.dest}", self.ver,
                                 timeout=30)
        self.assertEqual(rc, -1, out + err)
        self.assertIn("it is a FIFO", out)
        # A query that never ends answers SIGINT and SIGTERM at once.
        prof = write_text(self.w("q.tsl"), f"[Generic settings]\nsrc={self.small}\n"
                          f"dest={self.dest}\n[Selected Tables]\nQ=WITH RECURSIVE c(x) AS "
                          "(SELECT 1 UNION ALL SELECT x + 1 FROM c) SELECT count(*) FROM c\n")
        for sig in (signal.SIGINT, signal.SIGTERM):
            p = subprocess.Popen([TSLAGENT, f"--profile={prof}", self.ver],
                                 stdout=subprocess.PIPE, stderr=subprocess.PIPE)
            self.assertTrue(p.stdout.readline().startswith(b"Converting database"))
            time.sleep(0.5)
            self.assertIsNone(p.poll())
            p.send_signal(sig)
            _, err = p.communicate(timeout=5)
            self.assertEqual(p.returncode, -sig, err)
            self.assertEqual(self.listing(), ["fifo.db", "q.tsl"])

    @unittest.skipIf(os.environ.get("TSL_SANITIZED") == "1",
                     "a sanitizer build cannot run under a limit of its address space")
    def test_a_value_too_large_for_memory_refuses_its_record_only(self):
        src = make_db(self.w("blob.db"), "CREATE TABLE B (N NUMBER(9), D BLOB);"
                      "INSERT INTO B VALUES (1, x'00'); INSERT INTO B VALUES (2, zeroblob(100000000));"
                      "INSERT INTO B VALUES (3, x'01'); INSERT INTO B VALUES (4, x'02');")
        limit = 200 << 20
        p = subprocess.run([TSLAGENT, f"--src={src}", f"--dest={self.dest}", self.ver],
                           capture_output=True, timeout=120,
                           preexec_fn=lambda: resource.setrlimit(resource.RLIMIT_AS,
                                                                 (limit, limit)))
        out = p.stdout.decode()
        self.assertEqual(p.returncode, 1, out + p.stderr.decode())
        self.assertEqual(out.count("Error:"), 1, out)
        self.assertIn("B, record #2:", out)
        rows = read_book(self.dest)["sheets"][0]["rows"]
        self.assertEqual([r[0][1] for r in rows[1:]], [1.0, 3.0, 4.0])

    # -- one run per destination ----------------------------------------------------------------

    def test_second_run_on_the_same_destination_is_refused_at_once(self):
        p = self.start_big()
        try:
            started = time.monotonic()
            rc, out, err = run_agent(f"--src={self.small}", f"--dest={self.dest}",
                                     self.ver)
            self.assertEqual(rc, -1, out + err)
            self.assertIn("is being written by another conversion", out)
            self.assertLess(time.monotonic() - started, 5)
        finally:
            p.kill()
            p.wait()

    # -- protection of the destination -----------------------------------------------------------

    def test_replacing_file_keeps_permission_bits_and_read_only_is_refused(self):
        self.old_workbook()
        os.chmod(self.dest, 0o600)
        self.old_workbook()
        self.assertEqual(os.stat(self.dest).st_mode & 0o777, 0o600)
        os.chmod(self.dest, 0o444)
        old = read_bytes(self.dest)
        rc, out, err = run_agent(f"--src={self.small}", f"--dest={self.dest}", self.ver)
        self.assertEqual(rc, -1, out + err)
        self.assertIn("Destination name specifies an existing read-only file.", out)
        self.assertEqual(read_bytes(self.dest), old)

    # -- exit status -----------------------------------------------------------------------------

    def test_every_named_table_missing_exits_one_and_keeps_old_workbook(self):
        old = self.old_workbook()
        tabs = write_text(self.w("t.txt"), "NOPE\nNADA\n")
        rc, out, err = run_agent(f"--src={self.small}", f"--dest={self.dest}", self.ver,
                                 f"--tab_file={tabs}")
        self.assertEqual(rc, 1, out + err)
        self.assertIn("Table NOPE not exists", err)
        self.assertEqual(read_bytes(self.dest), old)


class AgentGuardXlsx(AgentGuard):
    VER = XLSX

    def test_a_disk_that_fills_while_the_workbook_is_packed_ends_the_run(self):
        # libxlsxwriter copies a worksheet's rows from one temporary file into
        # another as it packs the workbook: a disk with room for the rows once
        # but not twice fills only then.
        full = self.w("full" + self.ext)
        rc, out, err = run_agent(f"--src={self.big}", f"--dest={full}", self.ver)
        self.assertEqual(rc, 0, out + err)
        with zipfile.ZipFile(full) as z:
            rows = z.getinfo("xl/worksheets/sheet1.xml").file_size
        os.remove(full)
        disk = self.w("disk")
        os.mkdir(disk)
        mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", f"size={rows * 3 // 2}", "tmpfs",
                                  disk], capture_output=True)
        if mounted.returncode != 0:
            self.skipTest("cannot mount a tmpfs here: " + mounted.stderr.decode().strip())
        self.addCleanup(subprocess.run, ["umount", disk])
        dest = os.path.join(disk, "out" + self.ext)
        old = self.old_workbook(dest)
        rc, out, err = run_agent(f"--src={self.big}", f"--dest={dest}", self.ver)
        self.assertEqual(rc, 1, out + err)
        self.assertEqual(out.count("Error:"), 1, out)
        self.assertIn(dest + ": The workbook could not be written (No space left on device)", out)
        self.assertEqual(err, "")
        self.assertEqual(read_bytes(dest), old)
        self.assertEqual(self.listing(disk), ["out" + self.ext])


if __name__ == "__main__":
    unittest.main(verbosity=2)
