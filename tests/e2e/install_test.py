"""The installed tree: `cmake --install` into a temporary prefix gives the
programs, the private OCI provider, the manual, the demo database, the
manual pages and the desktop files in their places, and the installed
tslagent (with the build tree out of reach) converts the installed demo
database through the installed provider. The desktop entry passes
desktop-file-validate."""
import os
import subprocess
import tempfile
import unittest

import e2e_support as e2e

BUILD_DIR = os.environ["TSL_BUILD_DIR"]
SOURCE_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
HAVE_WIZARD = os.environ.get("TSL_HAVE_WIZARD") == "1"
HELP_PAGES = ["index.html", "steps.html", "options.html", "profile.html", "connection.html",
              "selection.html", "help.css"]


def install_dirs(prefix):
    """bin and lib folders as GNUInstallDirs chose them for this build."""
    cache = {}
    with open(os.path.join(BUILD_DIR, "CMakeCache.txt")) as f:
        for line in f:
            if line.startswith("CMAKE_INSTALL_") and "=" in line:
                key, value = line.split("=", 1)
                cache[key.split(":")[0]] = value.strip()
    return (os.path.join(prefix, cache.get("CMAKE_INSTALL_BINDIR", "bin")),
            os.path.join(prefix, cache.get("CMAKE_INSTALL_LIBDIR", "lib")))


class InstalledTree(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory(prefix="tsl_install_")
        cls.prefix = os.path.join(cls.tmp.name, "usr")
        p = subprocess.run(["cmake", "--install", BUILD_DIR, "--prefix", cls.prefix],
                           capture_output=True, text=True, timeout=300)
        assert p.returncode == 0, p.stdout + p.stderr
        cls.bindir, cls.libdir = install_dirs(cls.prefix)
        cls.share = os.path.join(cls.prefix, "share")

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def test_layout(self):
        expected = [os.path.join(self.bindir, "tslagent"),
                    os.path.join(self.libdir, "tessal", "libtsl_ocilite.so"),
                    os.path.join(self.share, "tessal", "demo.db"),
                    os.path.join(self.share, "man", "man1", "tslagent.1.gz")]
        expected += [os.path.join(self.share, "tessal", "help", p) for p in HELP_PAGES]
        if HAVE_WIZARD:
            expected += [os.path.join(self.bindir, "tessal"),
                         os.path.join(self.share, "man", "man1", "tessal.1.gz"),
                         os.path.join(self.share, "metainfo",
                                      "example.brannock.tessaline.metainfo.xml"),
                         os.path.join(self.share, "applications", "tessal.desktop"),
                         os.path.join(self.share, "icons", "hicolor", "scalable", "apps",
                                      "tessal.svg")]
        for path in expected:
            self.assertTrue(os.path.isfile(path), path)
        self.assertTrue(os.access(os.path.join(self.bindir, "tslagent"), os.X_OK))

    def test_installed_agent_converts_the_demo_database(self):
        demo = os.path.join(self.share, "tessal", "demo.db")
        out = os.path.join(self.tmp.name, "demo.xls")
        env = {k: v for k, v in os.environ.items() if k != "LD_LIBRARY_PATH"}
        p = subprocess.run([os.path.join(self.bindir, "tslagent"), "--src=file:" + demo,
                            "--dest=" + out, "--xls_ver=1"], capture_output=True, text=True,
                           timeout=300, env=env, cwd=self.tmp.name)
        self.assertTrue(e2e.demo_run_ok(p.returncode, p.stdout), p.stdout + p.stderr)
        e2e.check_demo_book(self, demo, out)

    def test_desktop_entry_is_valid(self):
        entry = os.path.join(SOURCE_DIR, "data", "tessal.desktop")
        p = subprocess.run(["desktop-file-validate", entry], capture_output=True, text=True)
        self.assertEqual(p.returncode, 0, p.stdout + p.stderr)
        self.assertEqual(p.stdout.strip(), "", p.stdout)  # no warnings either


if __name__ == "__main__":
    unittest.main()
