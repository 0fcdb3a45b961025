// The writer's layout, checked on the bytes it produces: header fields,
// sector placement, FAT/DIFAT, mini stream and directory.
#include "stg/stg_write.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

#include "TK/tk_coding.h"
#include "stg/stg_format.h"
#include "stg/stg_name.h"
#include "stg_test_util.h"
#include "support/fail_sink.h"

using stg_test::build;
using stg_test::pattern;

namespace {

uint32_t hdr(const std::vector<uint8_t>& f, uint32_t off) {
    return tk::get_u32(f.data() + off);
}
const uint8_t* sector(const std::vector<uint8_t>& f, uint32_t id) {
    return f.data() + 512 + size_t{id} * 512;
}
// The FAT entry of sector `id`, found through the header DIFAT and the
// DIFAT chain exactly as a reader would.
uint32_t fat_entry(const std::vector<uint8_t>& f, uint32_t id) {
    uint32_t fs = id / 128;
    uint32_t fat_sector;
    if (fs < 109) {
        fat_sector = hdr(f, stg::kOffHeaderDifat + 4 * fs);
    } else {
        uint32_t k = fs - 109;
        uint32_t d = hdr(f, stg::kOffFirstDifat);
        while (k >= 127) {
            d = tk::get_u32(sector(f, d) + 127 * 4);
            k -= 127;
        }
        fat_sector = tk::get_u32(sector(f, d) + 4 * k);
    }
    return tk::get_u32(sector(f, fat_sector) + 4 * (id % 128));
}
const uint8_t* dir_entry(const std::vector<uint8_t>& f, uint32_t i) {
    uint32_t s = hdr(f, stg::kOffFirstDirSector);
    for (uint32_t k = 0; k < i / 4; ++k) s = fat_entry(f, s);
    return sector(f, s) + (i % 4) * 128;
}
std::u16string entry_name(const uint8_t* e) {
    std::u16string n;
    for (int i = 0; i < tk::get_u16(e + 0x40) / 2 - 1; ++i) n += tk::get_u16(e + 2 * i);
    return n;
}

TEST(stg_writer, HeaderFieldsOfAVersion3File) {
    auto f = build({{u"Workbook", pattern(5000, 1)}});
    ASSERT_GE(f.size(), 512u);
    EXPECT_EQ(0, std::memcmp(f.data(), stg::kSignature, 8));
    EXPECT_EQ(0x3E, tk::get_u16(f.data() + 0x18));
    EXPECT_EQ(3, tk::get_u16(f.data() + 0x1A));
    EXPECT_EQ(0xFFFE, tk::get_u16(f.data() + 0x1C));
    EXPECT_EQ(9, tk::get_u16(f.data() + 0x1E));
    EXPECT_EQ(6, tk::get_u16(f.data() + 0x20));
    EXPECT_EQ(0u, hdr(f, 0x28));
    EXPECT_EQ(4096u, hdr(f, 0x38));
    EXPECT_EQ(0u, (f.size() - 512) % 512);
    // 5000 bytes -> sectors 0..9, FAT at 10, directory at 11.
    EXPECT_EQ(1u, hdr(f, stg::kOffNumFatSectors));
    EXPECT_EQ(10u, hdr(f, stg::kOffHeaderDifat));
    EXPECT_EQ(stg::kFreeSect, hdr(f, stg::kOffHeaderDifat + 4));
    EXPECT_EQ(11u, hdr(f, stg::kOffFirstDirSector));
    EXPECT_EQ(stg::kEndOfChain, hdr(f, stg::kOffFirstMiniFat));
    EXPECT_EQ(0u, hdr(f, stg::kOffNumMiniFat));
    EXPECT_EQ(stg::kEndOfChain, hdr(f, stg::kOffFirstDifat));
    EXPECT_EQ(0u, hdr(f, stg::kOffNumDifat));
    EXPECT_EQ(512u + 12 * 512, f.size());
    // The stream's bytes start at sector 0, the padding is zero.
    auto want = pattern(5000, 1);
    EXPECT_EQ(0, std::memcmp(sector(f, 0), want.data(), want.size()));
    for (size_t i = 5000; i < 10 * 512; ++i) ASSERT_EQ(0, sector(f, 0)[i]);
    for (uint32_t i = 0; i < 9; ++i) EXPECT_EQ(i + 1, fat_entry(f, i));
    EXPECT_EQ(stg::kEndOfChain, fat_entry(f, 9));
    EXPECT_EQ(stg::kFatSect, fat_entry(f, 10));
    EXPECT_EQ(stg::kEndOfChain, fat_entry(f, 11));
    EXPECT_EQ(stg::kFreeSect, fat_entry(f, 12));
}

TEST(stg_writer, ThreeFullSectorStreamsGiveTheTemplateLayout) {
    // Three 4096-byte streams: 24 data sectors, FAT at 24, directory at 25,
    // 13,824 bytes in all, as the built-in empty workbooks are laid out.
    tk::memory_sink sink;
    stg_writer w(sink);
    const uint8_t clsid[16] = {0x20, 0x08, 0x02, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46};
    w.set_root_clsid(clsid);
    w.add_stream(u"Workbook", pattern(4096, 1).data(), 4096);
    w.add_stream(u"\x05SummaryInformation", pattern(4096, 2).data(), 4096);
    w.add_stream(
        u"\x05"
        u"DocumentSummaryInformation",
        pattern(4096, 3).data(), 4096);
    w.finish();
    const auto& f = sink.data();
    ASSERT_EQ(13824u, f.size());
    EXPECT_EQ(24u, hdr(f, stg::kOffHeaderDifat));
    EXPECT_EQ(25u, hdr(f, stg::kOffFirstDirSector));
    EXPECT_EQ(stg::kEndOfChain, hdr(f, stg::kOffFirstMiniFat));
    for (uint32_t s = 0; s < 3; ++s) {
        auto want = pattern(4096, s + 1);
        EXPECT_EQ(0, std::memcmp(sector(f, 8 * s), want.data(), 4096)) << s;
    }
    const uint8_t* root = dir_entry(f, 0);
    EXPECT_EQ(u"Root Entry", entry_name(root));
    EXPECT_EQ(5, root[0x42]);
    EXPECT_EQ(0, std::memcmp(root + 0x50, clsid, 16));
    EXPECT_EQ(stg::kEndOfChain, tk::get_u32(root + 0x74));
    EXPECT_EQ(0u, tk::get_u64(root + 0x78));
    EXPECT_EQ(u"Workbook", entry_name(dir_entry(f, 1)));
    EXPECT_EQ(u"\x05SummaryInformation", entry_name(dir_entry(f, 2)));
    for (uint32_t i = 1; i <= 3; ++i) {
        EXPECT_EQ(2, dir_entry(f, i)[0x42]);
        EXPECT_EQ(8 * (i - 1), tk::get_u32(dir_entry(f, i) + 0x74));
        EXPECT_EQ(4096u, tk::get_u64(dir_entry(f, i) + 0x78));
    }
}

TEST(stg_writer, StreamsBelowTheCutoffGoToTheMiniStream) {
    auto small = pattern(100, 7);
    auto edge = pattern(4095, 8);
    auto f = build({{u"a", small}, {u"big", pattern(4096, 9)}, {u"b", edge}, {u"empty", {}}}, 333);
    // Regular sectors: "big" 0-7, mini container 8-16 (4224 bytes), mini FAT 17.
    EXPECT_EQ(17u, hdr(f, stg::kOffFirstMiniFat));
    EXPECT_EQ(1u, hdr(f, stg::kOffNumMiniFat));
    const uint8_t* root = dir_entry(f, 0);
    EXPECT_EQ(8u, tk::get_u32(root + 0x74));
    EXPECT_EQ((2u + 64u) * 64u, tk::get_u64(root + 0x78));
    EXPECT_EQ(0u, tk::get_u32(dir_entry(f, 1) + 0x74));
    EXPECT_EQ(0u, tk::get_u32(dir_entry(f, 2) + 0x74));
    EXPECT_EQ(2u, tk::get_u32(dir_entry(f, 3) + 0x74));
    EXPECT_EQ(stg::kEndOfChain, tk::get_u32(dir_entry(f, 4) + 0x74));
    EXPECT_EQ(0u, tk::get_u64(dir_entry(f, 4) + 0x78));
    EXPECT_EQ(0, std::memcmp(sector(f, 8), small.data(), small.size()));
    EXPECT_EQ(0, std::memcmp(sector(f, 8) + 128, edge.data(), edge.size()));
    // Mini FAT: "a" is two mini sectors (0, 1), "b" 64 of them (2..65).
    const uint8_t* mf = sector(f, 17);
    EXPECT_EQ(1u, tk::get_u32(mf));
    EXPECT_EQ(stg::kEndOfChain, tk::get_u32(mf + 4));
    EXPECT_EQ(3u, tk::get_u32(mf + 8));
    EXPECT_EQ(stg::kEndOfChain, tk::get_u32(mf + 4 * 65));
    EXPECT_EQ(stg::kFreeSect, tk::get_u32(mf + 4 * 66));
}

TEST(stg_writer, DirectoryTreeIsAValidRedBlackSearchTree) {
    for (size_t n : {1, 2, 3, 4, 5, 7, 8, 12, 31}) {
        std::vector<stg_test::named_stream> streams;
        for (size_t i = 0; i < n; ++i) {
            // Names of varying length, so the length-first order matters.
            std::u16string name = u"s";
            for (size_t k = 0; k < (i * 7) % 5; ++k) name += u'x';
            name += static_cast<char16_t>(u'a' + i);
            streams.push_back({name, pattern(10, uint32_t(i))});
        }
        auto f = build(streams);
        uint32_t top = tk::get_u32(dir_entry(f, 0) + 0x4C);
        std::vector<std::u16string> inorder;
        int black_height = -1;
        bool ok = true;
        // Recursive check of order, colours and black height.
        std::function<void(uint32_t, int, bool)> walk = [&](uint32_t id, int blacks,
                                                            bool parent_red) {
            if (id == stg::kNoStream) {
                if (black_height < 0)
                    black_height = blacks;
                ok = ok && black_height == blacks;
                return;
            }
            const uint8_t* e = dir_entry(f, id);
            bool red = e[0x43] == stg::kColorRed;
            ok = ok && !(red && parent_red);
            walk(tk::get_u32(e + 0x44), blacks + (red ? 0 : 1), red);
            inorder.push_back(entry_name(e));
            walk(tk::get_u32(e + 0x48), blacks + (red ? 0 : 1), red);
        };
        ASSERT_NE(stg::kNoStream, top);
        EXPECT_EQ(stg::kColorBlack, dir_entry(f, top)[0x43]);
        walk(top, 0, false);
        EXPECT_TRUE(ok) << n;
        ASSERT_EQ(n, inorder.size());
        for (size_t i = 1; i < inorder.size(); ++i) {
            EXPECT_LT(stg::compare_names(inorder[i - 1], inorder[i]), 0) << n;
        }
    }
}

TEST(stg_writer, PatchRewritesBytesInBothPhases) {
    // In the buffered head (stream still < 4096) and after the commit to sectors.
    tk::memory_sink sink;
    stg_writer w(sink);
    auto data = pattern(20000, 5);
    w.begin_stream(u"Book");
    w.write(data.data(), 100);
    const uint8_t a[4] = {1, 2, 3, 4};
    w.patch(10, a, 4);
    EXPECT_EQ(100u, w.stream_pos());
    w.write(data.data() + 100, data.size() - 100);
    const uint8_t b[3] = {9, 8, 7};
    w.patch(19997, b, 3);
    w.patch(511, b, 3);  // across a sector boundary
    EXPECT_THROW(w.patch(19999, b, 3), std::logic_error);
    w.end_stream();
    w.finish();
    std::memcpy(data.data() + 10, a, 4);
    std::memcpy(data.data() + 19997, b, 3);
    std::memcpy(data.data() + 511, b, 3);
    EXPECT_EQ(0, std::memcmp(sector(sink.data(), 0), data.data(), data.size()));
}

TEST(stg_writer, MisuseIsRejected) {
    tk::memory_sink sink;
    stg_writer w(sink);
    uint8_t x = 0;
    EXPECT_THROW(w.write(&x, 1), std::logic_error);
    EXPECT_THROW(w.end_stream(), std::logic_error);
    EXPECT_THROW(w.begin_stream(u""), std::logic_error);
    EXPECT_THROW(w.begin_stream(u"a/b"), std::logic_error);
    EXPECT_THROW(w.begin_stream(std::u16string(32, u'x')), std::logic_error);
    w.begin_stream(std::u16string(31, u'x'));
    EXPECT_THROW(w.begin_stream(u"other"), std::logic_error);
    EXPECT_THROW(w.finish(), std::logic_error);
    w.end_stream();
    w.add_stream(u"Book", &x, 1);
    EXPECT_THROW(w.begin_stream(u"bOOK"), std::logic_error);  // names ignore case
    w.finish();
    EXPECT_THROW(w.finish(), std::logic_error);
}

// Where the FAT outgrows the 109 header slots, DIFAT sectors carry the rest.
struct difat_case {
    uint64_t stream_sectors;
    uint32_t fat_sectors;
    uint32_t difat_sectors;
};

class stg_writer_difat : public ::testing::TestWithParam<difat_case> {};

TEST_P(stg_writer_difat, FatAndDifatCountsAndChains) {
    const auto c = GetParam();
    tk::memory_sink sink;
    stg_writer w(sink);
    w.begin_stream(u"Workbook");
    std::vector<uint8_t> block(512);
    for (uint64_t s = 0; s < c.stream_sectors; ++s) {
        tk::put_u32(block.data(), static_cast<uint32_t>(s));
        w.write(block.data(), block.size());
    }
    w.end_stream();
    w.finish();
    const auto& f = sink.data();
    EXPECT_EQ(c.fat_sectors, hdr(f, stg::kOffNumFatSectors));
    EXPECT_EQ(c.difat_sectors, hdr(f, stg::kOffNumDifat));
    uint64_t total = c.stream_sectors + c.fat_sectors + c.difat_sectors + 1;
    EXPECT_EQ(512 + total * 512, f.size());
    // Every stream sector links to the next; the FAT/DIFAT sectors are marked.
    for (uint32_t s = 0; s + 1 < c.stream_sectors; ++s) ASSERT_EQ(s + 1, fat_entry(f, s)) << s;
    EXPECT_EQ(stg::kEndOfChain, fat_entry(f, uint32_t(c.stream_sectors - 1)));
    for (uint32_t k = 0; k < c.fat_sectors; ++k) {
        ASSERT_EQ(stg::kFatSect, fat_entry(f, uint32_t(c.stream_sectors + k)));
    }
    for (uint32_t k = 0; k < c.difat_sectors; ++k) {
        ASSERT_EQ(stg::kDifSect, fat_entry(f, uint32_t(c.stream_sectors + c.fat_sectors + k)));
    }
    if (c.difat_sectors == 0) {
        EXPECT_EQ(stg::kEndOfChain, hdr(f, stg::kOffFirstDifat));
    } else {
        EXPECT_EQ(c.stream_sectors + c.fat_sectors, hdr(f, stg::kOffFirstDifat));
    }
    for (uint64_t s = 0; s < c.stream_sectors; s += 997) {
        ASSERT_EQ(s, tk::get_u32(sector(f, uint32_t(s))));
    }
}

// 109 FAT sectors hold 13,952 entries; with the directory the stream may have
// 109*127 - 1 sectors before a 110th FAT sector (and a DIFAT sector) is needed.
INSTANTIATE_TEST_SUITE_P(Thresholds, stg_writer_difat,
                         ::testing::Values(difat_case{8, 1, 0}, difat_case{126, 1, 0},
                                           difat_case{127, 2, 0}, difat_case{13842, 109, 0},
                                           difat_case{13843, 110, 1},
                                           difat_case{236 * 127 - 3, 236, 1},
                                           difat_case{236 * 127 - 1, 237, 2}));

TEST(stg_writer, FailingSinkStopsWithTheSinkError) {
    // Every budget up to the full size: the writer throws the sink's
    // exception and never reports success; the full budget succeeds.
    std::vector<stg_test::named_stream> streams = {{u"Workbook", pattern(9000, 1)},
                                                   {u"\x05SummaryInformation", pattern(300, 2)}};
    auto full = build(streams, 700);
    size_t ok = 0;
    for (uint64_t budget = 0; budget <= full.size(); budget += 97) {
        tsl_test::fail_sink sink(budget);
        bool done = false;
        try {
            stg_writer w(sink);
            for (const auto& s : streams) {
                w.begin_stream(s.name);
                for (size_t off = 0; off < s.data.size(); off += 700) {
                    w.write(s.data.data() + off, std::min<size_t>(700, s.data.size() - off));
                }
                w.end_stream();
            }
            w.finish();
            done = true;
        } catch (const tk_exception& e) {
            EXPECT_STREQ("No space left on device", e.what());
        }
        EXPECT_EQ(done, budget >= full.size()) << budget;
        if (done) {
            EXPECT_EQ(full, sink.data());
            ++ok;
        }
    }
    tsl_test::fail_sink exact(full.size());
    stg_writer w(exact);
    for (const auto& s : streams) w.add_stream(s.name, s.data.data(), s.data.size());
    w.finish();
    EXPECT_EQ(full, exact.data());
}

}  // namespace
