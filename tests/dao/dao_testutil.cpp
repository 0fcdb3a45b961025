#include "dao_testutil.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "TK/tk_utf.h"

namespace dao_test {

namespace {

// Prints what xls_dump.dump reads, one line per item, texts as hex UTF-8:
//   B <biff version> <codepage> <datemode>
//   S <name> <nrows> <ncols>
//   C <row> <col> <kind> <value>      numbers %.17g, dates "y,m,d,h,mi,s"
//   H|D <bold> <halign> <valign> <wrap> <fill> <b1,b2,b3,b4> <format>
const char* const kScript = R"PY(
import sys
sys.path.insert(0, sys.argv[1])
import xls_dump, xlrd

def hx(s):
    return (s or "").encode("utf-8").hex() or "-"

path, max_rows, tail = sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
try:
    d = xls_dump.dump(path, None if max_rows < 0 else max_rows)
except Exception as e:
    print("E " + hx(repr(e)))
    sys.exit(0)
print("B %d %s %d" % (d["biff_version"], d["codepage"], d["datemode"]))
tails = {}
if tail > 0:
    book = xlrd.open_workbook(path)
    for i, sh in enumerate(book.sheets()):
        rows = {}
        for r in range(max(0, sh.nrows - tail), sh.nrows):
            rows[r] = [[xls_dump.CELL_TYPES[c.ctype], c.value] for c in sh.row(r)]
        tails[i] = rows

def cell(r, c, kind, value):
    if kind == "text":
        v = hx(value)
    elif kind == "date":
        v = ",".join(str(int(x)) for x in value)
    elif kind in ("number", "bool", "error"):
        v = "%.17g" % value
    else:
        v = "-"
    print("C %d %d %s %s" % (r, c, kind, v))

def fmt(tag, f):
    print("%s %d %d %d %d %d %s %s" % (tag, f["bold"], f["halign"], f["valign"], f["wrap"],
          -1 if f["fill"] is None else f["fill"], ",".join(str(b) for b in f["borders"]),
          hx(f["format"])))

for i, s in enumerate(d["sheets"]):
    print("S %s %d %d" % (hx(s["name"]), s["nrows"], s["ncols"]))
    for r, row in enumerate(s["rows"]):
        for c, (kind, value) in enumerate(row):
            cell(r, c, kind, value)
    for r, row in sorted(tails.get(i, {}).items()):
        if r < len(s["rows"]):
            continue
        for c, (kind, value) in enumerate(row):
            if kind == "date":
                kind = "number"
            cell(r, c, kind, value)
    for f in s["header_formats"]:
        fmt("H", f)
    for f in s["data_formats"]:
        fmt("D", f)
)PY";

std::string unhex(const std::string& h) {
    if (h == "-")
        return std::string();
    std::string out;
    for (size_t i = 0; i + 1 < h.size(); i += 2)
        out.push_back(static_cast<char>(std::stoi(h.substr(i, 2), nullptr, 16)));
    return out;
}

std::string run(const std::string& args) {
    const std::string script = "/tmp/tsl_dao_py_" + std::to_string(::getpid()) + ".py";
    {
        std::ofstream f(script);
        f << kScript;
    }
    std::string out;
    FILE* p = ::popen(("/usr/bin/python3 " + script + " " + args + " 2>&1").c_str(), "r");
    if (!p)
        throw std::runtime_error("cannot run python3");
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    ::pclose(p);
    std::remove(script.c_str());
    return out;
}

xfmt parse_fmt(std::istringstream& in) {
    xfmt f;
    int bold, wrap;
    std::string borders, format;
    in >> bold >> f.halign >> f.valign >> wrap >> f.fill >> borders >> format;
    f.bold = bold != 0;
    f.wrap = wrap != 0;
    std::istringstream b(borders);
    std::string item;
    while (std::getline(b, item, ',')) f.borders.push_back(std::stoi(item));
    f.format = unhex(format);
    return f;
}

void remove_tree(const std::string& path) {
    if (DIR* d = ::opendir(path.c_str())) {
        while (dirent* e = ::readdir(d)) {
            const std::string name = e->d_name;
            if (name == "." || name == "..")
                continue;
            const std::string full = path + "/" + name;
            struct stat st {};
            if (::lstat(full.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
                remove_tree(full);
            else
                ::unlink(full.c_str());
        }
        ::closedir(d);
    }
    ::rmdir(path.c_str());
}

int days_in_month(int y, int m) {
    static const int k[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return m == 2 && leap ? 29 : k[m - 1];
}

}  // namespace

temp_dir::temp_dir() {
    char tmpl[] = "/tmp/tsl_dao_XXXXXX";
    if (!::mkdtemp(tmpl))
        throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
}

temp_dir::~temp_dir() {
    remove_tree(path_);
}

std::u16string temp_dir::wfile(const std::string& name) const {
    return tk::utf8_to_utf16(file(name));
}

bool temp_dir::exists(const std::string& name) const {
    struct stat st {};
    return ::stat(file(name).c_str(), &st) == 0;
}

const xcell* xsheet::at(int row, int col) const {
    auto it = cells.find({row, col});
    if (it == cells.end() || it->second.kind == "empty" || it->second.kind == "blank")
        return nullptr;
    return &it->second;
}

const xsheet* xbook::sheet(const std::u16string& name) const {
    for (const xsheet& s : sheets)
        if (s.name == name)
            return &s;
    return nullptr;
}

xbook read_xlrd(const std::string& path, int max_rows, int tail_rows) {
    const std::string out = run(std::string(DAO_SUPPORT_DIR) + " '" + path + "' " +
                                std::to_string(max_rows) + " " + std::to_string(tail_rows));
    xbook book;
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream in(line);
        std::string tag;
        in >> tag;
        if (tag == "E") {
            std::string h;
            in >> h;
            book.error = unhex(h);
        } else if (tag == "B") {
            in >> book.biff_version >> book.codepage >> book.datemode;
        } else if (tag == "S") {
            xsheet s;
            std::string name;
            in >> name >> s.nrows >> s.ncols;
            s.name = tk::utf8_to_utf16(unhex(name));
            book.sheets.push_back(std::move(s));
        } else if (tag == "C" && !book.sheets.empty()) {
            int r, c;
            xcell x;
            std::string v;
            in >> r >> c >> x.kind >> v;
            if (x.kind == "text") {
                x.text = tk::utf8_to_utf16(unhex(v));
            } else if (x.kind == "date") {
                std::istringstream parts(v);
                std::string item;
                while (std::getline(parts, item, ',')) x.date.push_back(std::stoi(item));
            } else if (v != "-") {
                x.number = std::strtod(v.c_str(), nullptr);
            }
            book.sheets.back().cells[{r, c}] = std::move(x);
        } else if ((tag == "H" || tag == "D") && !book.sheets.empty()) {
            (tag == "H" ? book.sheets.back().header : book.sheets.back().data)
                .push_back(parse_fmt(in));
        } else if (!line.empty()) {
            book.error += line + "\n";
        }
    }
    return book;
}

jet_rbook read_ours(const std::string& path) {
    return jet_read_book(path);
}

std::u16string text_at(const jet_rsheet& s, uint16_t row, uint16_t col) {
    const jet_rcell* c = jet_rbook::cell(s, row, col);
    if (!c)
        return u"<none>";
    if (c->k != jet_rcell::kind::text)
        return u"<kind>";
    return c->text;
}

udb_record make_record(std::vector<ole_variant> values) {
    udb_record r;
    r.reserve(values.size());
    for (size_t i = 0; i < values.size(); ++i) {
        r.emplace_back(u"c" + tk::ascii_to_utf16(std::to_string(i)), 50, std::move(values[i]));
    }
    return r;
}

std::unique_ptr<udb_schema> make_schema(const std::vector<uint16_t>& kinds,
                                        const std::vector<std::u16string>& names,
                                        const std::vector<uint32_t>& sizes) {
    auto s = std::make_unique<udb_schema>(true);
    for (size_t i = 0; i < kinds.size(); ++i) {
        const std::u16string name =
            i < names.size() ? names[i] : u"c" + tk::ascii_to_utf16(std::to_string(i));
        const uint32_t size = i < sizes.size() ? sizes[i] : 50;
        s->add(std::make_unique<t_ftd>(size, name, kinds[i], false, false, ole_variant(), 0));
    }
    return s;
}

SYSTEMTIME when(int y, int mo, int d, int h, int mi, int s) {
    SYSTEMTIME st{};
    st.wYear = static_cast<uint16_t>(y);
    st.wMonth = static_cast<uint16_t>(mo);
    st.wDay = static_cast<uint16_t>(d);
    st.wHour = static_cast<uint16_t>(h);
    st.wMinute = static_cast<uint16_t>(mi);
    st.wSecond = static_cast<uint16_t>(s);
    return st;
}

double serial_1900(int y, int mo, int d, int h, int mi, int s) {
    long days = 0;
    for (int yy = 1900; yy < y; ++yy) days += 365 + (days_in_month(yy, 2) == 29 ? 1 : 0);
    for (int m = 1; m < mo; ++m) days += days_in_month(y, m);
    days += d;
    if (y > 1900 || mo >= 3)
        ++days;  // the 29 February 1900 the 1900 date system counts
    return static_cast<double>(days) + (h * 3600 + mi * 60 + s) / 86400.0;
}

engine_scope::engine_scope() : engine(std::make_unique<dao_engine>()) {
    engine->set_version_if(dao_engine::kDao36);
}

engine_scope::~engine_scope() = default;

}  // namespace dao_test
