// Helpers shared by the compound-file tests: temporary files, deterministic
// stream contents, and writing a set of streams into a compound file.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "TK/tk_sink.h"
#include "stg/stg_write.h"

namespace stg_test {

// Bytes that differ per stream and per offset, so a misplaced sector shows.
inline std::vector<uint8_t> pattern(size_t n, uint32_t seed) {
    std::vector<uint8_t> v(n);
    uint32_t x = seed * 2654435761u + 1;
    for (size_t i = 0; i < n; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        v[i] = static_cast<uint8_t>(x);
    }
    return v;
}

struct named_stream {
    std::u16string name;
    std::vector<uint8_t> data;
};

// Writes the streams (streaming form, in chunks of `chunk` bytes).
inline std::vector<uint8_t> build(const std::vector<named_stream>& streams, size_t chunk = 1000) {
    tk::memory_sink sink;
    stg_writer w(sink);
    for (const auto& s : streams) {
        w.begin_stream(s.name);
        for (size_t off = 0; off < s.data.size(); off += chunk) {
            w.write(s.data.data() + off, std::min(chunk, s.data.size() - off));
        }
        w.end_stream();
    }
    w.finish();
    return sink.data();
}

// A file under /tmp removed when the object goes away.
class temp_file {
  public:
    // `dir` /dev/shm suits tests that open files read-write by the thousand:
    // closing such a file syncs it, which is free on tmpfs.
    explicit temp_file(const std::string& stem, const std::string& dir = "/tmp") {
        path_ = dir + "/tsl_stg_" + stem + "_" + std::to_string(::getpid()) + "_" +
                std::to_string(counter()++) + ".bin";
    }
    ~temp_file() { std::remove(path_.c_str()); }
    const std::string& path() const { return path_; }
    void write(const std::vector<uint8_t>& bytes) const {
        std::ofstream f(path_, std::ios::binary | std::ios::trunc);
        f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    std::vector<uint8_t> read() const {
        std::ifstream f(path_, std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
    }

  private:
    static int& counter() {
        static int c = 0;
        return c;
    }
    std::string path_;
};

}  // namespace stg_test
