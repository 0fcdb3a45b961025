// libFuzzer target for the compound-file reader: any input must either open
// or fail with stg_error; reading and overwriting every stream must neither
// crash nor change the file's size.
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "stg/stg_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
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
