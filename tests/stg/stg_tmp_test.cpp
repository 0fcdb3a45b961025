// The spool: bytes come back as written wherever they lie (buffer, file, or
// across the two), in order and at random, and the file has no name.
#include "stg/stg_tmp.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "TK/tk_excep.h"
#include "stg_test_util.h"

namespace fs = std::filesystem;

namespace {

// Writes `data` in uneven pieces, both ways the spool takes bytes.
void fill(stg_spool& s, const std::vector<uint8_t>& data) {
    size_t at = 0;
    for (size_t k = 0; at < data.size(); ++k) {
        const size_t n = std::min(data.size() - at, (k * 7919) % 70000 + 1);
        if (k % 2) {
            std::memcpy(s.reserve(n), data.data() + at, n);
            s.commit(n);
        } else {
            s.append(data.data() + at, n);
        }
        at += n;
    }
}

}  // namespace

TEST(stg_tmp, bytes_come_back_in_order_and_at_random) {
    const std::string dir = fs::temp_directory_path() / ("stg_tmp_" + std::to_string(getpid()));
    fs::create_directories(dir);
    // Below the buffer (no file), then past it several times.
    for (size_t size : {size_t(1000), 3 * stg_spool::k_buffer + 12345}) {
        const auto data = stg_test::pattern(size, static_cast<uint32_t>(size));
        stg_spool s(dir);
        fill(s, data);
        ASSERT_EQ(s.size(), data.size());
        // Nothing named appears in the folder.
        EXPECT_TRUE(fs::is_empty(dir));
        // Random reads, also across the file's end and the buffer.
        for (uint64_t off : {uint64_t(0), uint64_t(size / 3), uint64_t(size - 600)}) {
            std::vector<uint8_t> got(600);
            s.read_at(off, got.data(), got.size());
            EXPECT_TRUE(std::equal(got.begin(), got.end(), data.begin() + off)) << off;
        }
        EXPECT_EQ(s.peek(size - 10, 10) != nullptr, true);
        if (size > stg_spool::k_buffer) {
            EXPECT_EQ(s.peek(0, 10), nullptr);
        }
        EXPECT_THROW(s.read_at(size - 5, nullptr, 6), tk_mail_assertion);
        // In order, twice (a close may be tried again), in pieces of both
        // kinds, some straddling what the reader holds.
        for (int round = 0; round < 2; ++round) {
            stg_spool_reader rd(s);
            std::vector<uint8_t> back;
            for (size_t k = 0; rd.left() > 0; ++k) {
                size_t n = std::min<uint64_t>(rd.left(), (k * 104729) % 200000 + 1);
                const uint8_t* p = k % 2 ? rd.take(n) : rd.take_some(n, n);
                ASSERT_GT(n, 0u);
                back.insert(back.end(), p, p + n);
            }
            EXPECT_TRUE(back == data) << size;
        }
        // Cleared, the spool starts over.
        s.clear();
        EXPECT_EQ(s.size(), 0u);
        s.append("abc", 3);
        char abc[3];
        s.read_at(0, abc, 3);
        EXPECT_EQ(std::string(abc, 3), "abc");
    }
    // A folder that cannot take the file: the system's temporary folder.
    stg_spool elsewhere(dir + "/missing");
    const auto data = stg_test::pattern(2 * stg_spool::k_buffer, 9);
    fill(elsewhere, data);
    std::vector<uint8_t> got(data.size());
    elsewhere.read_at(0, got.data(), got.size());
    EXPECT_TRUE(got == data);
    fs::remove_all(dir);
}
