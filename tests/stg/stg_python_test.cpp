// Independent readers: the compound files we write are read by Debian's
// python3-olefile and by xlrd's own compound-document reader; both must list
// the same streams with the same bytes (compared by MD5) and report no
// inconsistency.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>

#include "TK/tk_utf.h"
#include "stg/stg_write.h"
#include "stg_test_util.h"

using stg_test::pattern;
using stg_test::temp_file;

namespace {

const char* kScript = R"PY(
import sys, hashlib, io
import olefile, xlrd.compdoc
path = sys.argv[1]
names = sys.argv[2:]
assert olefile.isOleFile(path)
ole = olefile.OleFileIO(path, raise_defects=olefile.DEFECT_INCORRECT)
for n in names:
    data = ole.openstream(n).read()
    print("olefile", n, len(data), hashlib.md5(data).hexdigest())
print("olefile-list", len(ole.listdir()))
ole.close()
log = io.StringIO()
mem = open(path, "rb").read()
cd = xlrd.compdoc.CompDoc(mem, logfile=log)
for n in names:
    data = cd.get_named_stream(n)
    print("xlrd", n, len(data), hashlib.md5(data).hexdigest())
print("xlrd-log", len(log.getvalue().strip()))
sys.stdout.write(log.getvalue())
)PY";

std::string run(const std::string& cmd) {
    std::string out;
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p)
        return out;
    std::array<char, 4096> buf;
    size_t k;
    while ((k = std::fread(buf.data(), 1, buf.size(), p)) > 0) out.append(buf.data(), k);
    int rc = ::pclose(p);
    if (rc != 0)
        out += "\nEXIT " + std::to_string(rc);
    return out;
}

std::string md5_of(const std::vector<uint8_t>& data) {
    temp_file tf("md5");
    tf.write(data);
    std::string out = run("md5sum " + tf.path());
    return out.substr(0, 32);
}

void check_with_python(const std::vector<stg_test::named_stream>& streams) {
    temp_file tf("py");
    {
        tk::file_sink sink(tf.path());
        stg_writer w(sink);
        for (const auto& s : streams) w.add_stream(s.name, s.data.data(), s.data.size());
        w.finish();
        sink.close();
    }
    temp_file script("script");
    {
        std::ofstream f(script.path());
        f << kScript;
    }
    std::string cmd = "/usr/bin/python3 " + script.path() + " " + tf.path();
    for (const auto& s : streams) cmd += " " + tk::utf16_to_utf8(s.name);
    std::string out = run(cmd + " 2>&1");
    for (const auto& s : streams) {
        std::string tail = " " + tk::utf16_to_utf8(s.name) + " " + std::to_string(s.data.size()) +
                           " " + md5_of(s.data) + "\n";
        EXPECT_NE(std::string::npos, out.find("olefile" + tail)) << out;
        EXPECT_NE(std::string::npos, out.find("xlrd" + tail)) << out;
    }
    EXPECT_NE(std::string::npos, out.find("olefile-list " + std::to_string(streams.size()))) << out;
    EXPECT_NE(std::string::npos, out.find("xlrd-log 0\n")) << out;
}

TEST(stg_python, SmallAndMiniStreams) {
    check_with_python({{u"Workbook", pattern(5000, 1)},
                       {u"tiny", pattern(10, 2)},
                       {u"edge", pattern(4095, 3)},
                       {u"exact", pattern(4096, 4)},
                       {u"empty", {}}});
}

TEST(stg_python, ManyStreamsInTheDirectoryTree) {
    std::vector<stg_test::named_stream> streams;
    for (int i = 0; i < 40; ++i) {
        streams.push_back({u"Stream" + tk::ascii_to_utf16(std::to_string(i * 37 % 101)),
                           pattern(size_t(i) * 211, uint32_t(i))});
    }
    check_with_python(streams);
}

TEST(stg_python, AroundTheDifatThreshold) {
    for (size_t sectors : {size_t{13842}, size_t{13843}, size_t{236 * 127}}) {
        check_with_python({{u"Workbook", pattern(sectors * 512 - 100, uint32_t(sectors))},
                           {u"small", pattern(1000, 9)}});
    }
}

}  // namespace
