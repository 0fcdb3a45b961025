"""The wizard's HTML manual as the build tree holds it: every page is
well-formed enough to parse, and every link between pages (file and
fragment) and every stylesheet reference leads somewhere. The wizard opens
index.html, connection.html and selection.html by name."""
import html.parser
import os
import unittest
import urllib.parse

HELP_DIR = os.environ.get("TSL_HELP_DIR", "")


class Page(html.parser.HTMLParser):
    def __init__(self):
        super().__init__()
        self.ids, self.refs, self.open = set(), [], []

    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        if "id" in a:
            self.ids.add(a["id"])
        for key in ("href", "src"):
            if a.get(key):
                self.refs.append(a[key])
        if tag not in ("meta", "link", "br", "img"):
            self.open.append(tag)

    def handle_endtag(self, tag):
        if tag not in ("meta", "link", "br", "img"):
            assert self.open and self.open[-1] == tag, f"</{tag}> closes <{self.open[-1:]}>"
            self.open.pop()


def parse(path):
    p = Page()
    with open(path, encoding="utf-8") as f:
        p.feed(f.read())
    p.close()
    assert not p.open, f"unclosed tags {p.open}"
    return p


class HelpManual(unittest.TestCase):
    def test_pages_and_links(self):
        self.assertTrue(os.path.isdir(HELP_DIR), HELP_DIR)
        names = sorted(n for n in os.listdir(HELP_DIR) if n.endswith(".html"))
        for topic in ("index.html", "connection.html", "selection.html"):
            self.assertIn(topic, names)
        pages = {n: parse(os.path.join(HELP_DIR, n)) for n in names}
        for name, page in pages.items():
            self.assertIn("help.css", page.refs, name)
            for ref in page.refs:
                url = urllib.parse.urlsplit(ref)
                if url.scheme:
                    continue
                target = url.path or name
                self.assertTrue(os.path.exists(os.path.join(HELP_DIR, target)), f"{name}: {ref}")
                if url.fragment:
                    self.assertIn(url.fragment, pages[target].ids, f"{name}: {ref}")


if __name__ == "__main__":
    unittest.main()
