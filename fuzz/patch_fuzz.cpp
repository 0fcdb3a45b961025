// libFuzzer target for the BIFF patch walk: the input is a workbook stream
// (its first byte picks the version), stored in a compound file and patched.
// The patch may fail, but must end, and every byte it changes must be a byte
// of the stream: the file's other bytes and its size stay as they were.
//
// With bit 7 of the first byte set, the rest is an edit list (16-bit
// position, XOR value) for a valid workbook stream built here (real
// globals, two sheets with row blocks), so short runs reach the sheet walk.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "TK/tk_sink.h"
#include "TK/tk_utf.h"
#include "common/xls_engi.h"
#include "stg/stg_file.h"
#include "stg/stg_write.h"
#include "xls_book.h"

namespace {

std::vector<uint8_t> read_fd(int fd) {
    std::vector<uint8_t> out;
    uint8_t buf[65536];
    off_t off = 0;
    for (;;) {
        ssize_t k = ::pread(fd, buf, sizeof buf, off);
        if (k <= 0)
            break;
        out.insert(out.end(), buf, buf + k);
        off += k;
    }
    return out;
}

std::vector<uint8_t> stream_of(const std::string& path) {
    auto file = stg_file::open(path, false);
    auto s = file->open_stream(file->has_stream(u"Book") ? u"Book" : u"Workbook");
    std::vector<uint8_t> out(static_cast<size_t>(s->size()));
    s->read_at(0, out.data(), out.size());
    return out;
}

const std::vector<uint8_t>& baseline(int version) {
    static std::vector<uint8_t> books[2];
    if (books[version].empty()) {
        xls_test::book_plan plan;
        plan.version = version;
        plan.real_globals = true;
        plan.xfs = 26;
        xls_test::sheet_spec s{"Data", {}};
        for (uint16_t c = 0; c < 4; ++c) s.cells.push_back(xls_test::label(version, 0, c, "H"));
        for (uint16_t r = 1; r < 40; ++r) {
            s.cells.push_back(xls_test::number(r, 0, r));
            s.cells.push_back(xls_test::label(version, r, 2, "v"));
        }
        plan.sheets = {s, {"Empty", {}}};
        books[version] = xls_test::build_stream(plan, nullptr);
    }
    return books[version];
}

long differences(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    if (a.size() != b.size())
        return -1;
    long n = 0;
    for (size_t i = 0; i < a.size(); ++i) n += a[i] != b[i];
    return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    const int version = data[0] & 1;
    std::vector<uint8_t> before;
    if (data[0] & 0x80) {
        before = baseline(version);
        for (size_t i = 1; i + 3 <= size; i += 3) {
            size_t pos = (static_cast<size_t>(data[i]) | static_cast<size_t>(data[i + 1]) << 8) %
                         before.size();
            before[pos] ^= data[i + 2];
        }
    } else {
        before.assign(data + 1, data + size);
    }
    tk::memory_sink sink;
    stg_writer w(sink);
    w.add_stream(version ? u"Workbook" : u"Book", before.data(), before.size());
    w.add_stream(u"\x05SummaryInformation", "props", 5);
    w.finish();
    int fd = ::memfd_create("patch_fuzz", 0);
    if (fd < 0)
        return 0;
    if (::write(fd, sink.data().data(), sink.data().size()) !=
        static_cast<ssize_t>(sink.data().size())) {
        ::close(fd);
        return 0;
    }
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    xls_engine_50 e5;
    xls_engine_80 e8;
    xls_engine& e = version ? static_cast<xls_engine&>(e8) : e5;
    e.wrap = (data[0] & 2) != 0;
    e.patch(tk::utf8_to_utf16(path));
    const std::vector<uint8_t> after_file = read_fd(fd);
    const std::vector<uint8_t> after = stream_of(path);
    if (differences(before, after) != differences(sink.data(), after_file))
        std::abort();
    ::close(fd);
    return 0;
}
