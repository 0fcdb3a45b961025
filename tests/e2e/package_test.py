"""The Debian package: CPack's DEB generator, run on this build tree, makes
tessaline_<version>_<arch>.deb whose control fields name the package, the
project's version and the machine's architecture, and whose Depends holds
exactly the packages of the shared libraries its programs and provider link
against; its files are the install rules' and nothing else, stripped and
without a run path into the build tree. Unpacked with dpkg-deb into a
temporary root, the agent converts the demo database through the unpacked
provider, the manual pages format without a single groff warning and name
every option and environment variable the programs know, and the AppStream
metainfo validates."""
import glob
import gzip
import os
import re
import shutil
import subprocess
import tempfile
import unittest

import e2e_support as e2e

BUILD_DIR = os.environ["TSL_BUILD_DIR"]
SOURCE_DIR = os.path.abspath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
HAVE_WIZARD = os.environ.get("TSL_HAVE_WIZARD") == "1"
METAINFO = "example.brannock.tessaline.metainfo.xml"
# Packages named in Depends that no shared library brings: Qt's platform
# plugins are loaded at run time.
RUNTIME_DEPENDS = {"qt6-qpa-plugins"} if HAVE_WIZARD else set()
HELP_PAGES = ["index.html", "steps.html", "options.html", "profile.html", "connection.html",
              "selection.html", "help.css"]


def run(*cmd, **kw):
    return subprocess.run(list(cmd), capture_output=True, text=True, timeout=600, **kw)


def cache_value(key):
    with open(os.path.join(BUILD_DIR, "CMakeCache.txt")) as f:
        for line in f:
            if line.startswith(key + ":"):
                return line.split("=", 1)[1].strip()
    raise KeyError(key)


def is_elf(path):
    with open(path, "rb") as f:
        return f.read(4) == b"\x7fELF"


def owner(path):
    """The Debian package that holds `path` (merged /usr: either spelling)."""
    for p in (path, os.path.realpath(path)):
        q = run("dpkg", "-S", p)
        if q.returncode == 0:
            return q.stdout.split(":")[0]
    return None


def loader_cache():
    """soname -> path, as the dynamic loader's cache has them (x86-64)."""
    found = {}
    for line in run("/sbin/ldconfig", "-p").stdout.splitlines():
        m = re.match(r"\s*(\S+) \((.*)\) => (\S+)", line)
        if m and "x86-64" in m.group(2):
            found.setdefault(m.group(1), m.group(3))
    return found


def depends_names(field):
    """Package names of a Depends field ("a (>= 1), b | c" gives a, b, c)."""
    names = set()
    for alt in re.split(r"[,|]", field):
        alt = alt.strip()
        if alt:
            names.add(re.match(r"[a-z0-9][a-z0-9+.-]*", alt).group(0))
    return names


class DebianPackage(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory(prefix="tsl_package_")
        out = os.path.join(cls.tmp.name, "out")
        p = run(cache_value("CMAKE_CPACK_COMMAND"), "-G", "DEB",
                "--config", os.path.join(BUILD_DIR, "CPackConfig.cmake"), "-B", out)
        assert p.returncode == 0, p.stdout + p.stderr
        debs = glob.glob(os.path.join(out, "*.deb"))
        assert len(debs) == 1, debs
        cls.deb = debs[0]
        cls.root = os.path.join(cls.tmp.name, "root")
        p = run("dpkg-deb", "-x", cls.deb, cls.root)
        assert p.returncode == 0, p.stderr
        cls.usr = os.path.join(cls.root, "usr")

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def field(self, name):
        p = run("dpkg-deb", "-f", self.deb, name)
        self.assertEqual(p.returncode, 0, p.stderr)
        return p.stdout.strip()

    def elf_files(self):
        found = []
        for folder, _, files in os.walk(self.root):
            found += [os.path.join(folder, f) for f in files if is_elf(os.path.join(folder, f))]
        return sorted(found)

    def test_control_fields_and_name(self):
        version = cache_value("CMAKE_PROJECT_VERSION")
        arch = run("dpkg", "--print-architecture").stdout.strip()
        self.assertEqual(self.field("Package"), "tessaline")
        self.assertEqual(self.field("Version"), version)
        self.assertEqual(self.field("Architecture"), arch)
        self.assertEqual(os.path.basename(self.deb), f"tessaline_{version}_{arch}.deb")
        # The package is the version the programs say they are.
        banner = run(os.path.join(self.usr, "bin", "tslagent"), "--help").stderr
        self.assertIn(f" v{version} ", banner)
        self.assertIn("<", self.field("Maintainer"))
        self.assertTrue(self.field("Description"))
        # dpkg -I describes the package with its dependencies.
        info = run("dpkg", "-I", self.deb)
        self.assertEqual(info.returncode, 0, info.stderr)
        self.assertIn(" Depends: ", info.stdout)

    def test_depends_are_the_linked_libraries_packages(self):
        expected = set(RUNTIME_DEPENDS)
        libraries = loader_cache()
        for path in self.elf_files():
            dyn = run("readelf", "-d", path).stdout
            for soname in re.findall(r"\(NEEDED\)\s+Shared library: \[(.*?)\]", dyn):
                lib = libraries.get(soname)
                self.assertIsNotNone(lib, f"{soname} of {path}")
                pkg = owner(lib)
                self.assertIsNotNone(pkg, lib)
                expected.add(pkg)
        depends = self.field("Depends")
        self.assertEqual(depends_names(depends), expected, depends)
        # What dpkg-shlibdeps computed carries the minimum versions.
        self.assertRegex(depends, r"libc6 \(>= [0-9.]+\)")
        if HAVE_WIZARD:
            self.assertIn("libqt6widgets6", expected)

    def test_file_list(self):
        libdir = cache_value("CMAKE_INSTALL_LIBDIR")
        expected = ["bin/tslagent", f"{libdir}/tessal/libtsl_ocilite.so",
                    "share/tessal/demo.db", "share/man/man1/tslagent.1.gz"]
        expected += ["share/tessal/help/" + p for p in HELP_PAGES]
        if HAVE_WIZARD:
            expected += ["bin/tessal", "share/applications/tessal.desktop",
                         "share/icons/hicolor/scalable/apps/tessal.svg",
                         "share/man/man1/tessal.1.gz", "share/metainfo/" + METAINFO]
        listing = run("dpkg-deb", "-c", self.deb).stdout.splitlines()
        files = {}
        for line in listing:
            mode, owner_group, _size, _date, _time, name = line.split(None, 5)
            self.assertEqual(owner_group, "root/root", line)
            if mode.startswith("-"):
                files[name] = mode
        self.assertEqual(sorted(files), sorted("./usr/" + p for p in expected))
        for name, mode in files.items():
            program = name.startswith("./usr/bin/")
            self.assertEqual(mode, "-rwxr-xr-x" if program else "-rw-r--r--", name)
        for path in self.elf_files():
            sections = run("readelf", "-S", "-W", path).stdout
            self.assertNotIn(".debug_info", sections, path)  # stripped
            dyn = run("readelf", "-d", path).stdout
            self.assertNotRegex(dyn, r"\((RPATH|RUNPATH)\)", path)

    def test_unpacked_agent_converts_the_demo_database(self):
        agent = os.path.join(self.usr, "bin", "tslagent")
        demo = os.path.join(self.usr, "share", "tessal", "demo.db")
        out = os.path.join(self.tmp.name, "demo.xls")
        env = {k: v for k, v in os.environ.items() if k != "LD_LIBRARY_PATH"}
        p = run(agent, "--src=file:" + demo, "--dest=" + out, "--xls_ver=1", env=env,
                cwd=self.tmp.name)
        self.assertTrue(e2e.demo_run_ok(p.returncode, p.stdout), p.stdout + p.stderr)
        e2e.check_demo_book(self, demo, out, ("DEPT", "EMP", "ALL_TYPES"))

    def pages(self):
        names = ["tslagent.1.gz"] + (["tessal.1.gz"] if HAVE_WIZARD else [])
        return {n: os.path.join(self.usr, "share", "man", "man1", n) for n in names}

    def test_manual_pages_format_without_warnings(self):
        env = dict(os.environ, MANROFFOPT="-ww", MANWIDTH="80", LC_ALL="C.UTF-8")
        env.pop("MANPAGER", None)
        env.pop("PAGER", None)
        for name, path in self.pages().items():
            p = run("man", "-l", path, env=env)
            self.assertEqual(p.returncode, 0, name + p.stderr)
            self.assertEqual(p.stderr, "", name)
            for section in ("NAME", "SYNOPSIS", "DESCRIPTION", "OPTIONS", "ENVIRONMENT",
                            "EXIT STATUS", "FILES", "EXAMPLES", "SEE ALSO"):
                self.assertRegex(p.stdout, "(?m)^" + section + "$", name)
            with gzip.open(path, "rt", encoding="utf-8") as f:
                p = subprocess.run(["groff", "-ww", "-man", "-z"], input=f.read(),
                                   capture_output=True, text=True)
            self.assertEqual((p.returncode, p.stderr), (0, ""), name)
            # The NAME line is what whatis and apropos show.
            p = run("lexgrog", path)
            self.assertEqual(p.returncode, 0, name + p.stdout + p.stderr)
            self.assertIn(name.split(".")[0] + " - ", p.stdout)

    def test_manual_pages_name_every_option_and_variable(self):
        # Each option of the usage text is an item of the page's OPTIONS.
        page = run("man", "-l", self.pages()["tslagent.1.gz"],
                   env=dict(os.environ, MANWIDTH="200", LC_ALL="C")).stdout
        options_section = page[page.index("\nOPTIONS\n"):page.index("\nPROFILE FILES\n")]
        usage = run(os.path.join(self.usr, "bin", "tslagent"), "--help").stderr
        options = set(re.findall(r"^\s+(--[a-z0-9_]+=?)", usage, re.M))
        self.assertIn("--xls_ver=", options)
        for option in options:
            self.assertTrue(re.search(r"(?m)^ {7}" + re.escape(option), options_section),
                            "tslagent(1) has no item " + option)
        # Every variable the programs and the provider read is in a page.
        variables = set()
        for src in glob.glob(os.path.join(SOURCE_DIR, "src", "**", "*.cpp"), recursive=True):
            with open(src, encoding="utf-8") as f:
                variables.update(re.findall(r'(?:getenv|env_text)\("([A-Z_]+)"\)', f.read()))
        self.assertIn("TSL_CODEPAGE", variables)
        self.assertIn("TSL_OCILITE_ROUNDTRIP_MS", variables)
        sources = []
        for path in glob.glob(os.path.join(SOURCE_DIR, "man", "*.1")):
            with open(path, encoding="utf-8") as f:
                sources.append(f.read())
        pages = "\n".join(sources)
        for var in variables:
            self.assertTrue(re.search(r"\b" + var + r"\b", pages), "no page names " + var)

    @unittest.skipUnless(HAVE_WIZARD, "the metainfo describes the wizard")
    def test_metainfo_is_valid(self):
        path = os.path.join(self.usr, "share", "metainfo", METAINFO)
        p = run("appstreamcli", "validate", "--no-net", "--explain", path)
        self.assertEqual(p.returncode, 0, p.stdout + p.stderr)
        self.assertNotRegex(p.stdout, r"(?m)^[EW]:", p.stdout)
        # With the desktop entry and icon of the unpacked tree.
        p = run("appstreamcli", "validate-tree", "--no-net", "--explain", self.root)
        self.assertEqual(p.returncode, 0, p.stdout + p.stderr)
        with open(path, encoding="utf-8") as f:
            newest = re.search(r'<release version="([^"]+)"', f.read()).group(1)
        self.assertEqual(newest, self.field("Version"))

    def test_tools_come_from_deps_sh(self):
        with open(os.path.join(SOURCE_DIR, "scripts", "deps.sh")) as f:
            pkgs = set(re.search(r"PKGS=\((.*?)\)", f.read(), re.S).group(1).split())
        for tool in (cache_value("CMAKE_CPACK_COMMAND"), "dpkg-shlibdeps", "file", "readelf",
                     "man", "lexgrog", "groff", "appstreamcli"):
            path = shutil.which(tool)
            self.assertIsNotNone(path, tool)
            self.assertIn(owner(path), pkgs, tool)


if __name__ == "__main__":
    unittest.main()
