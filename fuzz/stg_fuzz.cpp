// libFuzzer target for the compound-file reader: any input must either open
// or fail with stg_error; reading and overwriting every stream must neither
// crash nor change the file's size.
//
// An input whose first byte has bit 7 set is an edit list for a valid file
// built here (3 bytes per edit: 16-bit position, XOR value), so a short run
// from an empty corpus still reaches deep into the reader; any other input
// is the file itself.
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "TK/tk_sink.h"
#include "stg/stg_file.h"
#include "stg/stg_write.h"

namespace {

// Regular, mini and exactly-cutoff streams, so every table is present.
const std::vector<uint8_t>& baseline() {
    static const std::vector<uint8_t> file = [] {
        tk::memory_sink sink;
        stg_writer w(sink);
        std::vector<uint8_t> data(5000);
        for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7);
        w.add_stream(u"Workbook", data.data(), data.size());
        w.add_stream(u"small", data.data(), 300);
        w.add_stream(u"Other", data.data(), 4096);
        w.add_stream(u"tiny", data.data(), 10);
        w.finish();
        return sink.data();
    }();
    return file;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t input_size) {
    std::vector<uint8_t> edited;
    const uint8_t* data = input;
    size_t size = input_size;
    if (input_size > 0 && (input[0] & 0x80)) {
        edited = baseline();
        for (size_t i = 1; i + 3 <= input_size; i += 3) {
            size_t pos = (static_cast<size_t>(input[i]) | static_cast<size_t>(input[i + 1]) << 8) %
                         edited.size();
            edited[pos] ^= input[i + 2];
        }
        data = edited.data();
        size = edited.size();
    }
    int fd = ::memfd_create("stg_fuzz", 0);
    if (fd < 0)
        return 0;
    if (::write(fd, data, size) != static_cast<ssize_t>(size)) {
        ::close(fd);
        return 0;
    }
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    try {
        auto file = stg_file::open(path, true);
        std::vector<uint8_t> buf(8192);
        for (const auto& e : file->entries()) {
            if (e.type != 2 || !file->has_stream(e.name))
                continue;
            auto s = file->open_stream(e.name);
            for (uint64_t off = 0; off < s->size() && off < (1u << 22); off += buf.size()) {
                size_t k = s->read_at(off, buf.data(), buf.size());
                s->write_at(off, buf.data(), k);
            }
        }
    } catch (const stg_error&) {
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || static_cast<size_t>(st.st_size) != size)
        std::abort();
    ::close(fd);
    return 0;
}
