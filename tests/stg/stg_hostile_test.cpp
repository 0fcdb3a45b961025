// Damaged and hostile compound files: each must give stg_error(corrupt) (or
// open consistently), never a crash, a hang, or a write outside a stream.
#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>
#include <random>

#include "TK/tk_coding.h"
#include "stg/stg_file.h"
#include "stg/stg_format.h"
#include "stg_test_util.h"

using stg_test::build;
using stg_test::pattern;
using stg_test::temp_file;

namespace {

// Workbook: sectors 0-9 (5000 bytes); mini stream: sector 10; mini FAT: 11;
// FAT: 12; directory: 13 (root, Workbook, small, Other).
std::vector<uint8_t> sample() {
    return build({{u"Workbook", pattern(5000, 1)},
                  {u"small", pattern(300, 2)},
                  {u"Other", pattern(4096, 3)}});
}
// With "Other" (sectors 10-17) the tables move: mini 18, mini FAT 19, FAT 20, dir 21.
constexpr uint32_t kMiniSector = 18, kMiniFatSector = 19, kFatSector = 20, kDirSector = 21;

uint8_t* sec(std::vector<uint8_t>& f, uint32_t id) {
    return f.data() + 512 + size_t{id} * 512;
}
uint8_t* fat(std::vector<uint8_t>& f, uint32_t id) {
    return sec(f, kFatSector) + 4 * id;
}
uint8_t* dir(std::vector<uint8_t>& f, uint32_t i) {
    return sec(f, kDirSector) + 128 * i;
}

const std::string kScratch = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";

// Opens the file and reads (and, when read_write, overwrites) every stream.
// Returns the error code, or -1 when everything worked.
int exercise(const std::vector<uint8_t>& bytes, bool read_write) {
    temp_file tf("hostile", kScratch);
    tf.write(bytes);
    try {
        auto file = stg_file::open(tf.path(), read_write);
        std::vector<uint8_t> buf(1 << 14);
        for (const auto& e : file->entries()) {
            if (e.type != 2 || !file->has_stream(e.name))
                continue;
            auto s = file->open_stream(e.name);
            for (uint64_t off = 0; off < s->size(); off += buf.size()) {
                s->read_at(off, buf.data(), buf.size());
            }
            if (read_write) {
                std::fill(buf.begin(), buf.end(), 0xEE);
                for (uint64_t off = 0; off < s->size(); off += buf.size()) {
                    s->write_at(off, buf.data(),
                                size_t(std::min<uint64_t>(buf.size(), s->size() - off)));
                }
            }
        }
        return -1;
    } catch (const stg_error& e) {
        return static_cast<int>(e.code());
    }
}

const int kCorrupt = static_cast<int>(stg_errc::corrupt);

TEST(stg_hostile, SampleLayoutIsAsAssumed) {
    auto f = sample();
    EXPECT_EQ(kFatSector, tk::get_u32(f.data() + stg::kOffHeaderDifat));
    EXPECT_EQ(kDirSector, tk::get_u32(f.data() + stg::kOffFirstDirSector));
    EXPECT_EQ(kMiniFatSector, tk::get_u32(f.data() + stg::kOffFirstMiniFat));
    EXPECT_EQ(kMiniSector, tk::get_u32(dir(f, 0) + stg::kOffDirStart));
    EXPECT_EQ(-1, exercise(f, true));
}

TEST(stg_hostile, BadHeaders) {
    struct mutation {
        uint32_t off;
        uint32_t value;
        int width;
    };
    const mutation cases[] = {
        {stg::kOffSignature, 0, 1},
        {stg::kOffMajorVersion, 5, 2},
        {stg::kOffSectorShift, 7, 2},
        {stg::kOffSectorShift, 30, 2},
        {stg::kOffMiniSectorShift, 7, 2},
        {stg::kOffMiniCutoff, 0, 4},
        {stg::kOffNumFatSectors, 0, 4},
        {stg::kOffNumFatSectors, 0x7FFFFFFF, 4},
        {stg::kOffNumFatSectors, 2, 4},
        {stg::kOffFirstDirSector, 9999, 4},
        {stg::kOffFirstDirSector, stg::kEndOfChain, 4},
        {stg::kOffFirstDirSector, kFatSector, 4},
        {stg::kOffHeaderDifat, 99999, 4},
        {stg::kOffHeaderDifat, stg::kFreeSect, 4},
        {stg::kOffHeaderDifat, kDirSector, 4},
        {stg::kOffFirstMiniFat, 5000, 4},
        {stg::kOffFirstMiniFat, kFatSector, 4},
        {stg::kOffNumMiniFat, 0xFFFFFFF0, 4},
    };
    for (const auto& m : cases) {
        auto f = sample();
        if (m.width == 1)
            f[m.off] = static_cast<uint8_t>(m.value);
        if (m.width == 2)
            tk::put_u16(f.data() + m.off, static_cast<uint16_t>(m.value));
        if (m.width == 4)
            tk::put_u32(f.data() + m.off, m.value);
        EXPECT_EQ(kCorrupt, exercise(f, false)) << std::hex << m.off << " " << m.value;
    }
}

TEST(stg_hostile, ChainsThatLoopOrLeaveTheFile) {
    std::vector<std::function<void(std::vector<uint8_t>&)>> damage = {
        // Workbook's last sector links back to its first.
        [](auto& f) { tk::put_u32(fat(f, 9), 0); },
        // ... to itself in the middle.
        [](auto& f) { tk::put_u32(fat(f, 4), 4); },
        // A link past the end of the file and one to a free marker.
        [](auto& f) { tk::put_u32(fat(f, 3), 70000); },
        [](auto& f) { tk::put_u32(fat(f, 3), stg::kFreeSect); },
        // The chain ends before the size is reached.
        [](auto& f) { tk::put_u32(fat(f, 5), stg::kEndOfChain); },
        // Stream starts on the FAT sector or the directory (writes would hit them).
        [](auto& f) { tk::put_u32(dir(f, 1) + stg::kOffDirStart, kFatSector); },
        [](auto& f) { tk::put_u32(dir(f, 3) + stg::kOffDirStart, kDirSector - 7); },
        // Sizes past the end of the chain and of the file.
        [](auto& f) { tk::put_u32(dir(f, 1) + stg::kOffDirSize, 5121); },
        [](auto& f) { tk::put_u32(dir(f, 1) + stg::kOffDirSize, 0x7FFFFFFF); },
        [](auto& f) { tk::put_u32(dir(f, 1) + stg::kOffDirSize, 0xFFFFFFFF); },
        // Directory chain loops onto itself.
        [](auto& f) { tk::put_u32(fat(f, kDirSector), kDirSector); },
        // Mini FAT cycle and a mini link past the mini stream.
        [](auto& f) { tk::put_u32(sec(f, kMiniFatSector) + 4, 0); },
        [](auto& f) { tk::put_u32(sec(f, kMiniFatSector) + 4, 60); },
        // Root's mini stream larger than its chain.
        [](auto& f) { tk::put_u32(dir(f, 0) + stg::kOffDirSize, 600); },
        // Mini stream chain runs into the mini FAT sector.
        [](auto& f) { tk::put_u32(dir(f, 0) + stg::kOffDirStart, kMiniFatSector); },
    };
    for (size_t i = 0; i < damage.size(); ++i) {
        auto f = sample();
        damage[i](f);
        EXPECT_EQ(kCorrupt, exercise(f, true)) << i;
    }
}

TEST(stg_hostile, DirectoryTreeLoops) {
    std::vector<std::function<void(std::vector<uint8_t>&)>> damage = {
        [](auto& f) { tk::put_u32(dir(f, 2) + stg::kOffDirLeft, 2); },
        [](auto& f) { tk::put_u32(dir(f, 1) + stg::kOffDirRight, 0); },
        [](auto& f) { tk::put_u32(dir(f, 0) + stg::kOffDirChild, 1000); },
        [](auto& f) {  // two parents share a child
            tk::put_u32(dir(f, 1) + stg::kOffDirLeft, 3);
            tk::put_u32(dir(f, 2) + stg::kOffDirLeft, 3);
            tk::put_u32(dir(f, 3) + stg::kOffDirLeft, stg::kNoStream);
        },
        [](auto& f) { tk::put_u32(dir(f, 3) + stg::kOffDirLeft, 3); },
        [](auto& f) { tk::put_u32(dir(f, 3) + stg::kOffDirRight, 3); },
        [](auto& f) { tk::put_u16(dir(f, 1) + stg::kOffDirNameLength, 66); },
        [](auto& f) { dir(f, 0)[stg::kOffDirType] = 2; },
    };
    int corrupt_seen = 0;
    for (size_t i = 0; i < damage.size(); ++i) {
        auto f = sample();
        damage[i](f);
        int r = exercise(f, true);
        // Some of these only matter if the damaged link is on the tree's path.
        EXPECT_TRUE(r == kCorrupt || r == -1) << i;
        corrupt_seen += r == kCorrupt;
    }
    EXPECT_GE(corrupt_seen, 6);
}

TEST(stg_hostile, DifatChainCycle) {
    // A file with two DIFAT sectors whose second links back to the first.
    tk::memory_sink sink;
    stg_writer w(sink);
    std::vector<uint8_t> block(512, 1);
    w.begin_stream(u"Workbook");
    for (int i = 0; i < 236 * 127; ++i) w.write(block.data(), block.size());
    w.end_stream();
    w.finish();
    auto f = sink.data();
    ASSERT_EQ(2u, tk::get_u32(f.data() + stg::kOffNumDifat));
    uint32_t first = tk::get_u32(f.data() + stg::kOffFirstDifat);
    EXPECT_EQ(-1, exercise(f, false));
    tk::put_u32(sec(f, first + 1) + 127 * 4, first);      // cycle
    tk::put_u32(f.data() + stg::kOffNumFatSectors, 500);  // so the walk wants it
    EXPECT_EQ(kCorrupt, exercise(f, false));
    f = sink.data();
    tk::put_u32(sec(f, first) + 127 * 4, stg::kEndOfChain);  // chain ends early
    EXPECT_EQ(kCorrupt, exercise(f, false));
}

TEST(stg_hostile, TruncatedFiles) {
    auto f = sample();
    for (size_t cut :
         {size_t{0}, size_t{100}, size_t{511}, size_t{512}, size_t{2000}, f.size() - 512}) {
        std::vector<uint8_t> t(f.begin(), f.begin() + long(cut));
        int r = exercise(t, false);
        EXPECT_EQ(kCorrupt, r) << cut;
    }
    // A table sector cut short reads as zeros past the end: here only the
    // unused tail of the last directory entry is missing, so the file opens.
    std::vector<uint8_t> t(f.begin(), f.end() - 1);
    EXPECT_EQ(-1, exercise(t, false));
}

TEST(stg_hostile, RandomDamageNeverEscapes) {
    // Random byte damage in the header and the table sectors. Whatever
    // happens, the file keeps its size and its header and tables keep their
    // bytes when the streams are overwritten in place.
    const auto clean = sample();
    std::mt19937 rng(12345);
    std::vector<uint32_t> table_sectors = {kMiniFatSector, kFatSector, kDirSector};
    int opened = 0;
    for (int round = 0; round < 3000; ++round) {
        auto f = clean;
        int hits = 1 + int(rng() % 4);
        for (int h = 0; h < hits; ++h) {
            size_t where;
            uint32_t pick = rng() % 4;
            if (pick == 0) {
                where = rng() % 512;
            } else {
                where = 512 + size_t{table_sectors[pick - 1]} * 512 + rng() % 512;
            }
            f[where] = static_cast<uint8_t>(rng());
        }
        temp_file tf("fuzz", kScratch);
        tf.write(f);
        try {
            auto file = stg_file::open(tf.path(), true);
            std::vector<uint8_t> buf(6000, 0xEE);
            for (const auto& e : file->entries()) {
                if (e.type != 2 || !file->has_stream(e.name))
                    continue;
                auto s = file->open_stream(e.name);
                s->read_at(0, buf.data(), buf.size());
                s->write_at(0, buf.data(), size_t(std::min<uint64_t>(buf.size(), s->size())));
            }
            ++opened;
        } catch (const stg_error& e) {
            ASSERT_EQ(stg_errc::corrupt, e.code()) << e.what();
        }
        auto after = tf.read();
        ASSERT_EQ(f.size(), after.size());
        ASSERT_EQ(0, std::memcmp(f.data(), after.data(), 512)) << round;
        for (uint32_t t : table_sectors) {
            ASSERT_EQ(0, std::memcmp(f.data() + 512 + t * 512, after.data() + 512 + t * 512, 512))
                << round;
        }
    }
    EXPECT_GT(opened, 100);  // many damages are harmless (names, unused bytes)
}

}  // namespace
