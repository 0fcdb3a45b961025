#include "jet_testutil.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "TK/tk_coding.h"
#include "TK/tk_utf.h"

namespace jet_test {

bool cell::operator==(const cell& o) const {
    if (row != o.row || col != o.col || type != o.type)
        return false;
    if (type == 1)
        return text == o.text;
    // Exact, sign of zero included: both readers must give back what was written.
    return number == o.number && std::signbit(number) == std::signbit(o.number);
}

cell text(uint16_t r, uint16_t c, std::u16string s) {
    return {r, c, 1, 0, std::move(s)};
}
cell number(uint16_t r, uint16_t c, double v) {
    return {r, c, 2, v, {}};
}
cell date(uint16_t r, uint16_t c, double serial) {
    return {r, c, 3, serial, {}};
}
cell boolean(uint16_t r, uint16_t c, bool v) {
    return {r, c, 4, v ? 1.0 : 0.0, {}};
}

namespace {

void sort_cells(std::vector<cell>& v) {
    std::sort(v.begin(), v.end(), [](const cell& a, const cell& b) {
        return a.row != b.row ? a.row < b.row : a.col < b.col;
    });
}

bool date_format(const std::u16string& f) {
    bool quoted = false;
    for (char16_t c : f) {
        if (c == u'"')
            quoted = !quoted;
        if (!quoted && (c == u'y' || c == u'd' || c == u'Y' || c == u'D'))
            return true;
    }
    return false;
}

// A JSON string literal starting at s[i] (the opening quote).
std::u16string json_string(const std::string& s, size_t& i) {
    std::u16string out;
    ++i;
    while (i < s.size() && s[i] != '"') {
        char c = s[i++];
        if (c != '\\') {
            // Plain ASCII only: xls_dump escapes everything else.
            out.push_back(static_cast<unsigned char>(c));
            continue;
        }
        char e = s[i++];
        switch (e) {
            case 'n':
                out.push_back(u'\n');
                break;
            case 'r':
                out.push_back(u'\r');
                break;
            case 't':
                out.push_back(u'\t');
                break;
            case 'b':
                out.push_back(u'\b');
                break;
            case 'f':
                out.push_back(u'\f');
                break;
            case 'u':
                out.push_back(static_cast<char16_t>(std::stoul(s.substr(i, 4), nullptr, 16)));
                i += 4;
                break;
            default:
                out.push_back(static_cast<unsigned char>(e));
                break;
        }
    }
    ++i;
    return out;
}

}  // namespace

book from_reader(const jet_rbook& b) {
    book out;
    for (const auto& s : b.sheets) {
        sheet m;
        m.name = s.name;
        for (const auto& c : s.cells) {
            cell x{c.row, c.col, 0, 0, {}};
            switch (c.k) {
                case jet_rcell::kind::text:
                    x.type = 1;
                    x.text = c.text;
                    break;
                case jet_rcell::kind::number: {
                    x.type = 2;
                    x.number = c.number;
                    if (c.xf < b.xfs.size()) {
                        const uint16_t fmt = tk::get_u16(b.xfs[c.xf].data() + 2);
                        for (const auto& f : b.formats)
                            if (f.first == fmt && date_format(f.second))
                                x.type = 3;
                    }
                    break;
                }
                case jet_rcell::kind::boolean:
                    x.type = 4;
                    x.number = c.boolean ? 1 : 0;
                    break;
                default:
                    continue;
            }
            m.cells.push_back(std::move(x));
        }
        sort_cells(m.cells);
        out.push_back(std::move(m));
    }
    return out;
}

book from_xlrd(const std::string& path, std::string* raw, bool fmt) {
    const std::string cmd = std::string("/usr/bin/python3 ") + JET_SUPPORT_DIR +
                            "/xls_dump.py --lines '" + path + "'" + (fmt ? " fmt" : "") + " 2>&1";
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p)
        throw std::runtime_error("cannot run xlrd");
    std::string text;
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) text.append(buf, n);
    const int rc = ::pclose(p);
    if (rc != 0)
        throw std::runtime_error("xlrd failed: " + text.substr(0, 2000));
    if (raw)
        *raw = text;
    book out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("sheet ", 0) == 0) {
            size_t i = 6;
            out.push_back({json_string(line, i), {}});
        } else if (line.rfind("cell ", 0) == 0) {
            int r, c, t, used = 0;
            std::sscanf(line.c_str(), "cell %d %d %d %n", &r, &c, &t, &used);
            cell x{static_cast<uint16_t>(r), static_cast<uint16_t>(c), t, 0, {}};
            size_t i = used;
            if (t == 1) {
                x.text = json_string(line, i);
            } else {
                x.number = std::strtod(line.c_str() + used, nullptr);
            }
            out.back().cells.push_back(std::move(x));
        }
    }
    for (auto& s : out) sort_cells(s.cells);
    return out;
}

std::string diff(const book& want, const book& got) {
    if (want.size() != got.size())
        return "sheet count " + std::to_string(want.size()) + " vs " + std::to_string(got.size());
    for (size_t s = 0; s < want.size(); ++s) {
        const std::string sn = tk::utf16_to_utf8(want[s].name);
        if (want[s].name != got[s].name)
            return "sheet name " + sn + " vs " + tk::utf16_to_utf8(got[s].name);
        const auto& a = want[s].cells;
        const auto& b = got[s].cells;
        for (size_t i = 0; i < std::max(a.size(), b.size()); ++i) {
            if (i >= a.size() || i >= b.size() || !(a[i] == b[i])) {
                const cell& x = i < a.size() ? a[i] : b[i];
                std::string what =
                    sn + " " + std::to_string(x.row) + "," + std::to_string(x.col) + ": ";
                if (i >= a.size())
                    return what + "unexpected cell";
                if (i >= b.size())
                    return what + "missing cell";
                char num[96];
                std::snprintf(num, sizeof num, " (want type %d %.17g, got type %d %d,%d %.17g)",
                              a[i].type, a[i].number, b[i].type, b[i].row, b[i].col, b[i].number);
                return what + "differs" + num + " want text '" +
                       tk::utf16_to_utf8(a[i].text).substr(0, 80) + "' got '" +
                       tk::utf16_to_utf8(b[i].text).substr(0, 80) + "'";
            }
        }
    }
    return {};
}

temp_dir::temp_dir() {
    char tmpl[] = "/tmp/jet_test_XXXXXX";
    if (!::mkdtemp(tmpl))
        throw std::runtime_error("mkdtemp");
    path_ = tmpl;
}

temp_dir::~temp_dir() {
    for (const auto& f : list()) ::unlink(file(f).c_str());
    ::rmdir(path_.c_str());
}

std::vector<std::string> temp_dir::list() const {
    std::vector<std::string> out;
    if (DIR* d = ::opendir(path_.c_str())) {
        while (dirent* e = ::readdir(d)) {
            std::string n = e->d_name;
            if (n != "." && n != "..")
                out.push_back(n);
        }
        ::closedir(d);
    }
    std::sort(out.begin(), out.end());
    return out;
}

std::vector<uint8_t> slurp(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(f)),
                                std::istreambuf_iterator<char>());
}

void spill(const std::string& path, const std::vector<uint8_t>& data) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

}  // namespace jet_test
