#!/usr/bin/python3
"""Checks that scripts/deps.sh installs every Debian package the tests load:
each Python module imported by a test script (also the scripts embedded in
C++ tests) and each Java archive a test names. A machine that happens to have
a package installed by hand would otherwise hide the gap."""
import glob
import importlib.util
import os
import re
import subprocess
import sys
import unittest

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))


def read(path):
    with open(path, encoding="utf-8", errors="replace") as f:
        return f.read()


def deps_packages():
    text = read(os.path.join(ROOT, "scripts", "deps.sh"))
    m = re.search(r"PKGS=\((.*?)\)", text, re.S)
    return set(m.group(1).split())


def owner(path):
    p = subprocess.run(["dpkg", "-S", os.path.realpath(path)], capture_output=True, text=True)
    return p.stdout.split(":")[0] if p.returncode == 0 else None


class DepsCoverTests(unittest.TestCase):
    def test_every_test_dependency_is_installed_by_deps_sh(self):
        sources = [f for ext in ("py", "cpp", "h", "java", "txt")
                   for f in glob.glob(os.path.join(ROOT, "tests", "**", "*." + ext), recursive=True)]
        local = {os.path.splitext(os.path.basename(f))[0] for f in sources}
        modules, jars = set(), set()
        for f in sources:
            text = read(f)
            if f.endswith(".java"):
                text = re.sub(r"^\s*import\b.*$", "", text, flags=re.M)
            for m in re.finditer(r"^[ \t]*(?:import|from)[ \t]+([\w., \t]+?)(?:[ \t]+import\b|[ \t]*$)", text, re.M):
                for name in m.group(1).split(","):
                    words = name.split()  # "module as alias"
                    modules.add(words[0].split(".")[0] if words else "")
            jars.update(re.findall(r"/usr/share/java/[\w.+-]+\.jar", text))
        modules -= local | set(sys.stdlib_module_names) | {""}
        pkgs = deps_packages()
        self.assertIn("xlrd", modules)  # the scan itself works
        for name in sorted(modules):
            found = importlib.util.find_spec(name)
            self.assertIsNotNone(found, "module %s is not installed" % name)
            self.assertIn(owner(found.origin), pkgs, "module %s" % name)
        for jar in sorted(jars):
            self.assertIn(owner(jar), pkgs, jar)


if __name__ == "__main__":
    unittest.main()
