#include "xlsx/xlsx_deflate.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cerrno>
#include <string>
#include <vector>

namespace {

using bytes = std::vector<unsigned char>;

// Rows of a worksheet, as the library writes them: repetitive, with
// numbers that vary.
bytes sheet_xml(size_t size) {
    bytes b;
    b.reserve(size + 128);
    for (unsigned r = 2; b.size() < size; ++r) {
        const std::string row = "<row r=\"" + std::to_string(r) + "\"><c r=\"A" +
                                std::to_string(r) + "\" s=\"2\"><v>" +
                                std::to_string(r * 7919u % 100003u) + "</v></c></row>";
        b.insert(b.end(), row.begin(), row.end());
    }
    b.resize(size);
    return b;
}

bytes inflate_raw(const bytes& z) {
    z_stream s{};
    EXPECT_EQ(inflateInit2(&s, -15), Z_OK);
    bytes out(1 << 16), all;
    s.next_in = const_cast<unsigned char*>(z.data());
    s.avail_in = static_cast<uInt>(z.size());
    int r = Z_OK;
    while (r == Z_OK) {
        s.next_out = out.data();
        s.avail_out = static_cast<uInt>(out.size());
        r = inflate(&s, Z_NO_FLUSH);
        all.insert(all.end(), out.data(), s.next_out);
    }
    EXPECT_EQ(r, Z_STREAM_END);
    EXPECT_EQ(s.avail_in, 0u) << "bytes after the end of the stream";
    inflateEnd(&s);
    return all;
}

// The stream `data` gives, written in pieces of odd sizes.
bytes deflated(const bytes& data, unsigned threads) {
    bytes z;
    xlsx_deflate d(
        {Z_DEFAULT_COMPRESSION, -15, 8, Z_DEFAULT_STRATEGY},
        [&z](const unsigned char* p, size_t n) {
            z.insert(z.end(), p, p + n);
            return true;
        },
        threads);
    for (size_t at = 0, piece = 7; at < data.size(); piece = piece == 7 ? 16384 : 7) {
        const size_t n = std::min(piece, data.size() - at);
        EXPECT_TRUE(d.write(data.data() + at, n));
        at += n;
    }
    EXPECT_TRUE(d.finish());
    EXPECT_EQ(d.size(), data.size());
    EXPECT_EQ(d.crc(), crc32(0, data.data(), static_cast<uInt>(data.size())));
    return z;
}

}  // namespace

TEST(xlsx_deflate, ChunksMakeOneStreamOfTheSameBytesWhateverTheThreads) {
    const size_t chunk = xlsx_deflate::k_chunk;
    for (const size_t size : {size_t{0}, size_t{1000}, chunk, chunk + 1, 3 * chunk + chunk / 2}) {
        SCOPED_TRACE(size);
        const bytes data = sheet_xml(size);
        const bytes alone = deflated(data, 0), shared = deflated(data, 3);
        EXPECT_EQ(inflate_raw(shared), data);
        // Chunks fall at fixed offsets: the threads change nothing.
        EXPECT_EQ(shared, alone);
        // Each chunk sees the window before it: the stream is hardly
        // larger than one deflate of the whole.
        uLongf whole = compressBound(static_cast<uLong>(size));
        bytes one(whole);
        ASSERT_EQ(compress2(one.data(), &whole, data.data(), static_cast<uLong>(size),
                            Z_DEFAULT_COMPRESSION),
                  Z_OK);
        EXPECT_LE(shared.size(), (whole - 6) * 101 / 100 + 64);
        if (size <= chunk && size > 0) {
            // A part of one chunk: deflate's own stream (compress2 wraps
            // it in a 2-byte header and a 4-byte check).
            EXPECT_EQ(bytes(one.begin() + 2, one.begin() + whole - 4), shared);
        }
    }
}

TEST(xlsx_deflate, AFailedWriteEndsTheStreamOnceWithItsErrno) {
    const bytes data = sheet_xml(6 * xlsx_deflate::k_chunk);
    size_t calls = 0, taken = 0;
    xlsx_deflate d(
        {Z_DEFAULT_COMPRESSION, -15, 8, Z_DEFAULT_STRATEGY},
        [&](const unsigned char*, size_t n) {
            ++calls;
            if (taken > 100000) {
                errno = ENOSPC;
                return false;
            }
            taken += n;
            return true;
        },
        2);
    bool ok = true;
    for (size_t at = 0; at < data.size() && ok; at += 4096) ok = d.write(data.data() + at, 4096);
    EXPECT_FALSE(ok && d.finish());
    EXPECT_EQ(d.error(), ENOSPC);
    const size_t after = calls;
    EXPECT_FALSE(d.write(data.data(), 4096));
    EXPECT_FALSE(d.finish());
    EXPECT_EQ(calls, after) << "written again after the failure";
}
