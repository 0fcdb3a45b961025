#include "xlsx/xlsx_zip.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "TK/tk_coding.h"

namespace {

constexpr uint32_t k_end_sig = 0x06054b50;      // end of central directory
constexpr uint32_t k_locator_sig = 0x07064b50;  // zip64 end locator
constexpr uint32_t k_end64_sig = 0x06064b50;    // zip64 end of central directory
constexpr uint32_t k_entry_sig = 0x02014b50;    // central directory entry
constexpr size_t k_end_size = 22, k_locator_size = 20, k_end64_size = 56, k_entry_size = 46;
constexpr uint32_t k_zip64_extra = 0x0001;

bool read_at(int fd, uint64_t off, void* buf, size_t n) {
    auto* p = static_cast<uint8_t*>(buf);
    while (n > 0) {
        const ssize_t k = ::pread(fd, p, n, static_cast<off_t>(off));
        if (k < 0 && errno == EINTR)
            continue;
        if (k <= 0)
            return false;
        p += k;
        off += static_cast<uint64_t>(k);
        n -= static_cast<size_t>(k);
    }
    return true;
}

// The directory's offset, size and entry count from the end records.
bool find_directory(int fd, uint64_t file_size, uint64_t& at, uint64_t& size, uint64_t& count) {
    // The end record closes the file, followed only by its comment.
    const size_t tail = static_cast<size_t>(std::min<uint64_t>(file_size, k_end_size + 0xFFFF));
    std::vector<uint8_t> b(tail);
    if (tail < k_end_size || !read_at(fd, file_size - tail, b.data(), tail))
        return false;
    size_t e = tail - k_end_size + 1;
    do {
        --e;
        if (tk::get_u32(&b[e]) == k_end_sig && e + k_end_size + tk::get_u16(&b[e + 20]) == tail)
            break;
    } while (e > 0);
    if (tk::get_u32(&b[e]) != k_end_sig)
        return false;
    count = tk::get_u16(&b[e + 10]);
    size = tk::get_u32(&b[e + 12]);
    at = tk::get_u32(&b[e + 16]);
    if (count != 0xFFFF && size != 0xFFFFFFFF && at != 0xFFFFFFFF)
        return true;
    const uint64_t end_at = file_size - tail + e;
    uint8_t loc[k_locator_size], end64[k_end64_size];
    if (end_at < k_locator_size || !read_at(fd, end_at - k_locator_size, loc, sizeof loc) ||
        tk::get_u32(loc) != k_locator_sig ||
        !read_at(fd, tk::get_u64(loc + 8), end64, sizeof end64) ||
        tk::get_u32(end64) != k_end64_sig)
        return false;
    count = tk::get_u64(end64 + 32);
    size = tk::get_u64(end64 + 40);
    at = tk::get_u64(end64 + 48);
    return true;
}

}  // namespace

bool xlsx_zip_part_sizes(const std::string& path, std::map<std::string, uint64_t>& sizes) {
    sizes.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st {};
    uint64_t at = 0, size = 0, count = 0;
    std::vector<uint8_t> dir;
    bool ok = ::fstat(fd, &st) == 0 &&
              find_directory(fd, static_cast<uint64_t>(st.st_size), at, size, count) &&
              at + size <= static_cast<uint64_t>(st.st_size) && size < (uint64_t(1) << 30);
    if (ok) {
        dir.resize(static_cast<size_t>(size));
        ok = read_at(fd, at, dir.data(), dir.size());
    }
    ::close(fd);
    size_t p = 0;
    for (uint64_t i = 0; ok && i < count; ++i) {
        ok = p + k_entry_size <= dir.size() && tk::get_u32(&dir[p]) == k_entry_sig;
        if (!ok)
            break;
        uint64_t bytes = tk::get_u32(&dir[p + 24]);
        const size_t name_len = tk::get_u16(&dir[p + 28]);
        const size_t extra_len = tk::get_u16(&dir[p + 30]);
        const size_t comment_len = tk::get_u16(&dir[p + 32]);
        const size_t extra = p + k_entry_size + name_len;
        ok = extra + extra_len + comment_len <= dir.size();
        if (!ok)
            break;
        if (bytes == 0xFFFFFFFF) {
            // The size is in the zip64 field, which holds it first.
            ok = false;
            for (size_t x = extra; x + 4 <= extra + extra_len;) {
                const uint16_t id = tk::get_u16(&dir[x]);
                const uint16_t len = tk::get_u16(&dir[x + 2]);
                if (id == k_zip64_extra && len >= 8 && x + 4 + 8 <= extra + extra_len) {
                    bytes = tk::get_u64(&dir[x + 4]);
                    ok = true;
                    break;
                }
                x += 4 + len;
            }
        }
        sizes[std::string(reinterpret_cast<const char*>(&dir[p + k_entry_size]), name_len)] = bytes;
        p = extra + extra_len + comment_len;
    }
    if (!ok)
        sizes.clear();
    return ok;
}
