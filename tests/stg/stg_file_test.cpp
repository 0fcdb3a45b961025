// Round trips through files: what the writer writes, the reader reads back,
// for every placement of a stream (mini, exact cutoff, large, DIFAT-sized),
// and in-place writes land in the file.
#include "stg/stg_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>

#include "TK/tk_coding.h"
#include "TK/tk_utf.h"
#include "stg/stg_format.h"
#include "stg_test_util.h"

using stg_test::build;
using stg_test::pattern;
using stg_test::temp_file;

namespace {

std::vector<uint8_t> read_all(stg_stream& s, size_t chunk) {
    std::vector<uint8_t> out(static_cast<size_t>(s.size()));
    size_t off = 0;
    s.seek(0);
    while (off < out.size()) {
        size_t k = s.read(out.data() + off, std::min(chunk, out.size() - off));
        if (k == 0)
            break;
        off += k;
    }
    EXPECT_EQ(off, out.size());
    return out;
}

TEST(stg_file, RoundTripOfEveryStreamPlacement) {
    // Sizes around the mini sector, the cutoff and the sector boundaries.
    std::vector<stg_test::named_stream> streams;
    const size_t sizes[] = {0, 1, 63, 64, 65, 511, 512, 513, 4095, 4096, 4097, 70000};
    uint32_t seed = 1;
    for (size_t n : sizes) {
        streams.push_back({u"s" + tk::ascii_to_utf16(std::to_string(n)), pattern(n, seed++)});
    }
    temp_file tf("roundtrip");
    tf.write(build(streams, 777));
    auto file = stg_file::open(tf.path(), false);
    EXPECT_EQ(3, file->major_version());
    EXPECT_EQ(512u, file->sector_size());
    auto list = file->entries();
    ASSERT_EQ(streams.size(), list.size());
    for (size_t i = 0; i < streams.size(); ++i) {
        EXPECT_EQ(streams[i].name, list[i].name);
        EXPECT_EQ(2, list[i].type);
        EXPECT_EQ(streams[i].data.size(), list[i].size);
        ASSERT_TRUE(file->has_stream(streams[i].name));
        auto s = file->open_stream(streams[i].name);
        EXPECT_EQ(streams[i].data.size(), s->size());
        for (size_t chunk : {size_t{1}, size_t{50}, size_t{4096}, size_t{100000}}) {
            EXPECT_EQ(streams[i].data, read_all(*s, chunk)) << list[i].size << " " << chunk;
        }
    }
}

TEST(stg_file, ReadAtClampsAtTheEnd) {
    temp_file tf("clamp");
    auto data = pattern(5000, 3);
    tf.write(build({{u"Book", data}}));
    auto file = stg_file::open(tf.path(), false);
    auto s = file->open_stream(u"book");  // case-insensitive
    uint8_t buf[100];
    EXPECT_EQ(100u, s->read_at(4900, buf, 100));
    EXPECT_EQ(0, std::memcmp(buf, data.data() + 4900, 100));
    EXPECT_EQ(40u, s->read_at(4960, buf, 100));
    EXPECT_EQ(0u, s->read_at(5000, buf, 100));
    EXPECT_EQ(0u, s->read_at(1ull << 40, buf, 100));
    s->seek(4990);
    EXPECT_EQ(10u, s->read(buf, 100));
    EXPECT_EQ(5000u, s->tell());
    EXPECT_EQ(0u, s->read(buf, 100));
}

TEST(stg_file, NamesAndRootClassId) {
    tk::memory_sink sink;
    stg_writer w(sink);
    uint8_t clsid[16];
    for (int i = 0; i < 16; ++i) clsid[i] = static_cast<uint8_t>(i * 3 + 1);
    w.set_root_clsid(clsid);
    w.add_stream(u"Workbook", "x", 1);
    w.add_stream(u"\x05SummaryInformation", "yy", 2);
    w.add_stream(u"\u0416\u00e9", "z", 1);
    w.finish();
    temp_file tf("names");
    tf.write(sink.data());
    auto file = stg_file::open(tf.path(), false);
    EXPECT_EQ(0, std::memcmp(clsid, file->root_clsid(), 16));
    EXPECT_TRUE(file->has_stream(u"WORKBOOK"));
    EXPECT_TRUE(file->has_stream(u"\x05summaryinformation"));
    EXPECT_TRUE(file->has_stream(u"\u0436\u00c9"));  // Cyrillic and Latin-1 fold too
    EXPECT_FALSE(file->has_stream(u"Book"));
    EXPECT_FALSE(file->has_stream(u"Workbook2"));
    try {
        file->open_stream(u"Book");
        FAIL();
    } catch (const stg_error& e) {
        EXPECT_EQ(stg_errc::not_found, e.code());
    }
}

TEST(stg_file, WriteAtChangesOnlyTheStreamBytes) {
    temp_file tf("patch");
    auto big = pattern(9000, 1);
    auto small = pattern(300, 2);
    auto before = build({{u"Workbook", big}, {u"small", small}});
    tf.write(before);
    {
        auto file = stg_file::open(tf.path(), true);
        auto s = file->open_stream(u"Workbook");
        const uint8_t bytes[5] = {0xA1, 0xA2, 0xA3, 0xA4, 0xA5};
        s->write_at(510, bytes, 5);  // across a sector boundary
        s->seek(8999);
        s->write(bytes, 1);
        EXPECT_EQ(9000u, s->tell());
        try {
            s->write_at(8998, bytes, 3);
            FAIL();
        } catch (const stg_error& e) {
            EXPECT_EQ(stg_errc::too_large, e.code());
        }
        auto m = file->open_stream(u"small");
        m->write_at(60, bytes, 5);  // across a mini sector boundary
        EXPECT_THROW(m->write_at(299, bytes, 2), stg_error);
        file->release();
        std::memcpy(big.data() + 510, bytes, 5);
        big[8999] = 0xA1;
        std::memcpy(small.data() + 60, bytes, 5);
    }
    auto after = tf.read();
    ASSERT_EQ(before.size(), after.size());
    size_t changed = 0;
    for (size_t i = 0; i < before.size(); ++i) changed += before[i] != after[i];
    EXPECT_EQ(11u, changed);  // 5 + 1 + 5 bytes, nothing else
    auto file = stg_file::open(tf.path(), false);
    auto s = file->open_stream(u"Workbook");
    EXPECT_EQ(big, read_all(*s, 1000));
    auto m = file->open_stream(u"small");
    EXPECT_EQ(small, read_all(*m, 1000));
}

TEST(stg_file, ReadOnlyFilesRefuseWrites) {
    temp_file tf("ro");
    tf.write(build({{u"Book", pattern(5000, 1)}}));
    auto file = stg_file::open(tf.path(), false);
    auto s = file->open_stream(u"Book");
    uint8_t b = 0;
    try {
        s->write_at(0, &b, 1);
        FAIL();
    } catch (const stg_error& e) {
        EXPECT_EQ(stg_errc::access_denied, e.code());
    }
}

TEST(stg_file, ExclusiveOpenLocksOutOthers) {
    temp_file tf("lock");
    tf.write(build({{u"Book", pattern(100, 1)}}));
    {
        auto rw = stg_file::open(tf.path(), true);
        for (bool mode : {true, false}) {
            try {
                stg_file::open(tf.path(), mode);
                FAIL() << mode;
            } catch (const stg_error& e) {
                EXPECT_EQ(stg_errc::locked, e.code());
            }
        }
    }
    {
        auto r1 = stg_file::open(tf.path(), false);
        auto r2 = stg_file::open(tf.path(), false);  // readers share
        EXPECT_THROW(stg_file::open(tf.path(), true), stg_error);
    }
    auto rw = stg_file::open(tf.path(), true);  // free again once closed
    EXPECT_TRUE(rw->has_stream(u"Book"));
}

TEST(stg_file, MissingAndForeignFiles) {
    try {
        stg_file::open("/tmp/tsl_stg_does_not_exist.xls", false);
        FAIL();
    } catch (const stg_error& e) {
        EXPECT_EQ(stg_errc::not_found, e.code());
    }
    temp_file tf("foreign");
    tf.write(std::vector<uint8_t>(2048, 'A'));
    try {
        stg_file::open(tf.path(), false);
        FAIL();
    } catch (const stg_error& e) {
        EXPECT_EQ(stg_errc::corrupt, e.code());
    }
    tf.write({});
    EXPECT_THROW(stg_file::open(tf.path(), false), stg_error);
    try {
        stg_file::open("/tmp", false);
        FAIL();
    } catch (const stg_error& e) {
        EXPECT_NE(stg_errc::not_found, e.code());
    }
}

// A version 4 file (4096-byte sectors) built by hand the way such writers lay
// it out: header padded to 4096, FAT, directory, one regular and one mini stream.
std::vector<uint8_t> version4_file(const std::vector<uint8_t>& big,
                                   const std::vector<uint8_t>& small) {
    const uint32_t ss = 4096;
    uint32_t big_sectors = static_cast<uint32_t>((big.size() + ss - 1) / ss);
    // Sectors: 0 FAT, 1 directory, 2 mini FAT, 3 mini stream, 4.. big stream.
    std::vector<uint8_t> f(ss * (5 + big_sectors), 0);
    uint8_t* h = f.data();
    std::memcpy(h, stg::kSignature, 8);
    tk::put_u16(h + 0x18, 0x3E);
    tk::put_u16(h + 0x1A, 4);
    tk::put_u16(h + 0x1C, 0xFFFE);
    tk::put_u16(h + 0x1E, 12);
    tk::put_u16(h + 0x20, 6);
    tk::put_u32(h + 0x28, 1);
    tk::put_u32(h + 0x2C, 1);
    tk::put_u32(h + 0x30, 1);
    tk::put_u32(h + 0x38, 4096);
    tk::put_u32(h + 0x3C, 2);
    tk::put_u32(h + 0x40, 1);
    tk::put_u32(h + 0x44, stg::kEndOfChain);
    for (int i = 0; i < 109; ++i) tk::put_u32(h + 0x4C + 4 * i, i == 0 ? 0 : stg::kFreeSect);
    auto sec = [&](uint32_t id) { return f.data() + ss * (id + 1); };
    uint8_t* fat = sec(0);
    for (uint32_t i = 0; i < ss / 4; ++i) tk::put_u32(fat + 4 * i, stg::kFreeSect);
    tk::put_u32(fat, stg::kFatSect);
    tk::put_u32(fat + 4, stg::kEndOfChain);
    tk::put_u32(fat + 8, stg::kEndOfChain);
    tk::put_u32(fat + 12, stg::kEndOfChain);
    for (uint32_t i = 0; i < big_sectors; ++i) {
        tk::put_u32(fat + 4 * (4 + i), i + 1 < big_sectors ? 5 + i : stg::kEndOfChain);
    }
    uint8_t* mf = sec(2);
    uint32_t small_minis = static_cast<uint32_t>((small.size() + 63) / 64);
    for (uint32_t i = 0; i < ss / 4; ++i) tk::put_u32(mf + 4 * i, stg::kFreeSect);
    for (uint32_t i = 0; i < small_minis; ++i) {
        tk::put_u32(mf + 4 * i, i + 1 < small_minis ? i + 1 : stg::kEndOfChain);
    }
    std::memcpy(sec(3), small.data(), small.size());
    std::memcpy(sec(4), big.data(), big.size());
    auto entry = [&](int i, std::u16string name, int type, uint32_t left, uint32_t right,
                     uint32_t child, uint32_t start, uint64_t size) {
        uint8_t* e = sec(1) + 128 * i;
        for (size_t k = 0; k < name.size(); ++k) tk::put_u16(e + 2 * k, name[k]);
        tk::put_u16(e + 0x40, static_cast<uint16_t>(2 * (name.size() + 1)));
        e[0x42] = static_cast<uint8_t>(type);
        e[0x43] = 1;
        tk::put_u32(e + 0x44, left);
        tk::put_u32(e + 0x48, right);
        tk::put_u32(e + 0x4C, child);
        tk::put_u32(e + 0x74, start);
        tk::put_u64(e + 0x78, size);
    };
    const uint32_t none = stg::kNoStream;
    entry(0, u"Root Entry", 5, none, none, 1, 3, small_minis * 64);
    entry(1, u"Workbook", 2, 2, none, none, 4, big.size());
    entry(2, u"Tiny", 2, none, none, none, 0, small.size());
    for (int i = 3; i < 32; ++i) {
        tk::put_u32(sec(1) + 128 * i + 0x44, none);
        tk::put_u32(sec(1) + 128 * i + 0x48, none);
        tk::put_u32(sec(1) + 128 * i + 0x4C, none);
    }
    return f;
}

TEST(stg_file, Version4FilesWith4096ByteSectors) {
    auto big = pattern(20000, 11);
    auto small = pattern(700, 12);
    temp_file tf("v4");
    tf.write(version4_file(big, small));
    {
        auto file = stg_file::open(tf.path(), true);
        EXPECT_EQ(4, file->major_version());
        EXPECT_EQ(4096u, file->sector_size());
        auto s = file->open_stream(u"Workbook");
        EXPECT_EQ(big, read_all(*s, 3000));
        auto t = file->open_stream(u"Tiny");
        EXPECT_EQ(small, read_all(*t, 100));
        s->write_at(4095, "ab", 2);
        t->write_at(63, "cd", 2);
    }
    auto file = stg_file::open(tf.path(), false);
    auto s = file->open_stream(u"Workbook");
    uint8_t b[2];
    s->read_at(4095, b, 2);
    EXPECT_EQ(0, std::memcmp(b, "ab", 2));
    file->open_stream(u"Tiny")->read_at(63, b, 2);
    EXPECT_EQ(0, std::memcmp(b, "cd", 2));
}

TEST(stg_file, DifatSizedFilesRoundTrip) {
    // Streams just below and above the size where DIFAT sectors begin (about
    // 6.8 MiB), and one needing a chain of three DIFAT sectors.
    for (uint64_t sectors : {13842ull, 13843ull, 109ull * 127 + 2 * 127 * 127}) {
        std::vector<uint8_t> data = pattern(size_t(sectors * 512 - 17), uint32_t(sectors));
        temp_file tf("difat");
        {
            tk::file_sink sink(tf.path());
            stg_writer w(sink);
            w.add_stream(u"Workbook", data.data(), data.size());
            w.add_stream(u"\x05SummaryInformation", data.data(), 200);
            w.finish();
            sink.close();
        }
        auto file = stg_file::open(tf.path(), false);
        auto s = file->open_stream(u"Workbook");
        EXPECT_EQ(data, read_all(*s, 1 << 20)) << sectors;
        std::vector<uint8_t> head(200);
        file->open_stream(u"\x05SummaryInformation")->read_at(0, head.data(), 200);
        EXPECT_EQ(0, std::memcmp(head.data(), data.data(), 200));
    }
}

TEST(stg_file, FileAbove100MiB) {
    // Written block by block through a file sink (constant memory), read
    // back by sampling blocks and checking each one's tag, then patched.
    temp_file tf("large");
    const size_t block = 1 << 16;
    const size_t blocks = 1700;  // 106.25 MiB
    std::vector<uint8_t> buf(block);
    {
        tk::file_sink sink(tf.path());
        stg_writer w(sink);
        w.begin_stream(u"Workbook");
        for (size_t b = 0; b < blocks; ++b) {
            for (size_t i = 0; i < block; i += 8) tk::put_u64(buf.data() + i, b * block + i);
            w.write(buf.data(), block);
        }
        w.end_stream();
        w.finish();
        sink.close();
    }
    {
        auto file = stg_file::open(tf.path(), true);
        auto s = file->open_stream(u"Workbook");
        ASSERT_EQ(uint64_t(block) * blocks, s->size());
        for (size_t b = 0; b < blocks; b += 37) {
            ASSERT_EQ(block, s->read_at(uint64_t(b) * block, buf.data(), block));
            for (size_t i = 0; i < block; i += 4096) {
                ASSERT_EQ(uint64_t(b) * block + i, tk::get_u64(buf.data() + i));
            }
        }
        uint8_t mark[8];
        tk::put_u64(mark, 0xDEADBEEF);
        s->write_at(s->size() - 8, mark, 8);
    }
    auto file = stg_file::open(tf.path(), false);
    auto s = file->open_stream(u"Workbook");
    uint8_t last[8];
    ASSERT_EQ(8u, s->read_at(s->size() - 8, last, 8));
    EXPECT_EQ(0xDEADBEEFu, tk::get_u64(last));
}

}  // namespace
