// The shared string table: dedup, CONTINUE splitting rules, EXTSST.
#include "jet/jet_sst.h"

#include <gtest/gtest.h>

#include <random>

#include "TK/tk_coding.h"
#include "jet/biff_format.h"
#include "jet/jet_error.h"
#include "jet/jet_out.h"

namespace {

struct record {
    uint64_t pos;
    uint16_t id;
    std::vector<uint8_t> body;
};

// Writes the table at stream position `start` and splits the bytes into
// records.
std::vector<record> write_table(jet_sst& sst, size_t max_body, uint64_t start = 1000) {
    std::vector<uint8_t> bytes;
    jet_out out([&](const uint8_t* p, size_t n) { bytes.insert(bytes.end(), p, p + n); }, start);
    sst.write(out, max_body);
    out.flush();
    std::vector<record> recs;
    for (size_t i = 0; i + 4 <= bytes.size();) {
        const uint16_t len = tk::get_u16(&bytes[i + 2]);
        recs.push_back({start + i,
                        tk::get_u16(&bytes[i]),
                        {bytes.begin() + i + 4, bytes.begin() + i + 4 + len}});
        i += 4 + len;
    }
    return recs;
}

// Reads the records back; checks the split rules and the EXTSST.
void read_back(const std::vector<record>& recs, size_t max_body,
               const std::vector<std::u16string>& want, uint32_t total) {
    ASSERT_GE(recs.size(), 2u);
    EXPECT_EQ(recs.front().id, biff::k_sst);
    EXPECT_EQ(recs.back().id, biff::k_extsst);
    jet_sst back;
    jet_sst_reader rd(back);
    std::vector<std::pair<uint32_t, uint32_t>> starts;
    rd.starts = &starts;
    for (size_t i = 0; i + 1 < recs.size(); ++i) {
        EXPECT_LE(recs[i].body.size(), max_body);
        if (i > 0) {
            EXPECT_EQ(recs[i].id, biff::k_continue);
        }
        rd.feed(recs[i].body.data(), recs[i].body.size());
    }
    rd.finish();
    EXPECT_EQ(rd.header_splits, 0u);
    ASSERT_EQ(back.unique(), want.size());
    EXPECT_EQ(back.total(), total);
    for (uint32_t i = 0; i < want.size(); ++i) ASSERT_EQ(back.text(i), want[i]) << i;

    const auto& ext = recs.back().body;
    const size_t per = tk::get_u16(ext.data());
    ASSERT_GE(per, 8u);
    const size_t buckets = (want.size() + per - 1) / per;
    ASSERT_EQ(ext.size(), 2 + 8 * buckets);
    EXPECT_LE(buckets, 128u);
    for (size_t k = 0; k < buckets; ++k) {
        const auto& s = starts[k * per];
        EXPECT_EQ(tk::get_u32(ext.data() + 2 + 8 * k), recs[s.first].pos + 4 + s.second);
        EXPECT_EQ(tk::get_u16(ext.data() + 6 + 8 * k), 4 + s.second);
    }
}

}  // namespace

TEST(jet_sst, repeated_texts_share_one_entry) {
    jet_sst sst;
    EXPECT_EQ(sst.add(u"alpha"), 0u);
    EXPECT_EQ(sst.add(u"beta"), 1u);
    EXPECT_EQ(sst.add(u"alpha"), 0u);
    EXPECT_EQ(sst.add(u""), 2u);
    EXPECT_EQ(sst.add(u"\u0394elta"), 3u);
    EXPECT_EQ(sst.add(u"\u0394elta"), 3u);
    EXPECT_EQ(sst.unique(), 4u);
    EXPECT_EQ(sst.total(), 6u);
    // Existing strings keep their places even when repeated.
    jet_sst old;
    old.add_existing(u"x");
    old.add_existing(u"x");
    old.add_existing(u"y");
    EXPECT_EQ(old.unique(), 3u);
    EXPECT_EQ(old.add(u"x"), 0u);
    EXPECT_EQ(old.add(u"z"), 3u);
    // Many strings: the table grows and still finds them.
    for (int i = 0; i < 50000; ++i)
        sst.add(u"s" + std::u16string(1, char16_t(0x100 + i % 7000)) + char16_t(u'a' + i % 26));
    EXPECT_EQ(sst.unique(), 4u + 50000u);
    const uint32_t u = sst.unique();
    for (int i = 0; i < 50000; ++i)
        sst.add(u"s" + std::u16string(1, char16_t(0x100 + i % 7000)) + char16_t(u'a' + i % 26));
    EXPECT_EQ(sst.unique(), u);
    // Lone surrogates are stored as U+FFFD.
    const uint32_t lone = sst.add(std::u16string(1, char16_t(0xD800)) + u"x");
    EXPECT_EQ(sst.text(lone), u"\uFFFDx");
    // ... so a text that holds U+FFFD there is the same entry, and a whole
    // pair is not.
    EXPECT_EQ(sst.add(u"\uFFFDx"), lone);
    EXPECT_EQ(sst.add(std::u16string(1, char16_t(0xDC00)) + u"x"), lone);
    EXPECT_NE(sst.add(u"\U0001F600x"), lone);
    EXPECT_EQ(
        sst.add(u"\uFFFDx" + std::u16string(40, u'w') + char16_t(0xD801)),
        sst.add(std::u16string(1, char16_t(0xDBFF)) + u"x" + std::u16string(40, u'w') + u"\uFFFD"));
}

TEST(jet_sst, strings_cross_continue_records_as_readers_expect) {
    // 8-bit, 16-bit, and surrogate pairs, of lengths that put string
    // starts and splits at every offset of small records.
    std::mt19937 rng(7);
    for (size_t max_body : {size_t(16), size_t(23), size_t(64), size_t(101), size_t(8224)}) {
        jet_sst sst;
        std::vector<std::u16string> want;
        for (int i = 0; i < 400; ++i) {
            std::u16string s;
            const int len = static_cast<int>(rng() % (max_body < 100 ? 60 : 20000));
            const int kind = i % 4;
            for (int k = 0; k < len; ++k) {
                if (kind == 0)
                    s.push_back(u'a' + k % 26);
                if (kind == 1)
                    s.push_back(0x410 + k % 32);
                if (kind == 2)
                    s.push_back(k % 5 ? u'b' : 0x3A9);  // mixed, stored 16-bit
                if (kind == 3)
                    s += (k % 3 ? u"\U0001F600" : u"c");
            }
            s += char16_t(u'0' + i % 10);
            s += char16_t(u'A' + i / 10 % 26);
            s += char16_t(u'A' + i / 260);
            want.push_back(s);
            EXPECT_EQ(sst.add(s), static_cast<uint32_t>(i));
        }
        const auto recs = write_table(sst, max_body);
        EXPECT_GT(recs.size(), max_body < 8224 ? 100u : 20u);
        read_back(recs, max_body, want, 400);
    }
}

TEST(jet_sst, longest_strings_and_split_at_exact_boundaries) {
    jet_sst sst;
    std::vector<std::u16string> want;
    want.push_back(std::u16string(32767, u'q'));
    want.push_back(std::u16string(32767, u'\u0416'));
    want.push_back(u"after");
    for (const auto& s : want) sst.add(s);
    const auto recs = write_table(sst, 8224);
    read_back(recs, 8224, want, 3);

    // Record of 12 bytes: counts (8) leave 4: header (3) + 1 character.
    jet_sst small;
    small.add(u"ab");
    small.add(u"\u0416\u0417");
    auto r = write_table(small, 12);
    read_back(r, 12, {u"ab", u"\u0416\u0417"}, 2);
    ASSERT_GE(r.size(), 3u);
    EXPECT_EQ(r[0].body.size(), 12u);  // counts, "ab"'s header and 'a'
    EXPECT_EQ(r[1].body[0], 0);        // the rest of "ab", 8-bit
    // A surrogate pair at a split stays whole.
    jet_sst pair;
    pair.add(u"\u0416\U0001F600\U0001F600");
    r = write_table(pair, 16);  // counts, header, then room for 2 units: U+0416 and half a pair
    read_back(r, 16, {u"\u0416\U0001F600\U0001F600"}, 1);
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(r[0].body.size(), 13u);  // the pair went on whole
    EXPECT_EQ(r[1].body.size(), 9u);
}

TEST(jet_sst, malformed_tables_are_refused) {
    auto feed = [](std::vector<std::vector<uint8_t>> recs) {
        jet_sst sst;
        jet_sst_reader rd(sst);
        for (auto& r : recs) rd.feed(r.data(), r.size());
        rd.finish();
    };
    // Too short for the counts.
    EXPECT_THROW(feed({{1, 0, 0}}), jet_error);
    // Two strings announced, one given.
    EXPECT_THROW(feed({{2, 0, 0, 0, 2, 0, 0, 0, 1, 0, 0, 'a'}}), jet_error);
    // A 16-bit character cut in half.
    EXPECT_THROW(feed({{1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 'a'}}), jet_error);
    // Header cut.
    EXPECT_THROW(feed({{1, 0, 0, 0, 1, 0, 0, 0, 1}}), jet_error);
    // Rich text and phonetic data are skipped, also across records.
    jet_sst sst;
    jet_sst_reader rd(sst);
    std::vector<uint8_t> a = {2, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0x0C, 1, 0, 3, 0, 0, 0, 'h', 'i', 9, 9};
    std::vector<uint8_t> b = {9, 9, 7, 7, 7, 1, 0, 0, 'z'};
    rd.feed(a.data(), a.size());
    rd.feed(b.data(), b.size());
    rd.finish();
    ASSERT_EQ(sst.unique(), 2u);
    EXPECT_EQ(sst.text(0), u"hi");
    EXPECT_EQ(sst.text(1), u"z");
}

TEST(jet_sst, entries_match_the_character_rule_at_every_position) {
    // Strings of 0 to 13 units over 8-bit letters, wide letters and
    // surrogate halves, so that every unit kind falls at every place of the
    // four-unit steps. Rule: 8-bit storage when every unit fits a byte;
    // otherwise 16-bit, with a pair kept and a lone half turned into U+FFFD.
    const char16_t alphabet[] = {u'a', 0xFF, 0x416, 0xD83D, 0xDE00, 0xFFFD, 0x100};
    std::mt19937 rng(11);
    jet_sst shared;
    for (int round = 0; round < 5000; ++round) {
        std::u16string s(rng() % 14, u' ');
        for (char16_t& c : s) c = alphabet[rng() % 7];
        std::u16string want = s;
        bool narrow = true;
        for (size_t i = 0; i < want.size(); ++i) {
            narrow = narrow && want[i] <= 0xFF;
            const bool high = want[i] >= 0xD800 && want[i] <= 0xDBFF;
            const bool low = want[i] >= 0xDC00 && want[i] <= 0xDFFF;
            if (high && i + 1 < want.size() && want[i + 1] >= 0xDC00 && want[i + 1] <= 0xDFFF)
                ++i;
            else if (high || low)
                want[i] = 0xFFFD;
        }
        jet_sst one;
        ASSERT_EQ(one.add(s), 0u);
        ASSERT_EQ(one.text(0), want) << round;
        // The record: counts (8), then the string's header and characters.
        const auto recs = write_table(one, 8224);
        ASSERT_EQ(recs[0].body.size(), 8 + 3 + want.size() * (narrow ? 1 : 2)) << round;
        EXPECT_EQ(recs[0].body[8 + 2], narrow ? 0 : biff::k_str_16bit) << round;
        // A text and its cleaned form are one entry.
        const uint32_t index = shared.add(s);
        EXPECT_EQ(shared.add(want), index) << round;
        EXPECT_EQ(shared.text(index), want);
    }
}

TEST(jet_sst, a_wide_character_anywhere_in_a_long_text_makes_it_wide) {
    // Lengths and positions around the sixteen-unit steps of the narrowing
    // copy: a unit above 0xFF at any place makes the whole string 16-bit;
    // 0xFF itself stays 8-bit.
    for (size_t len = 1; len <= 40; ++len) {
        for (size_t at = 0; at < len; ++at) {
            for (char16_t odd : {char16_t(0xFF), char16_t(0x100), char16_t(0xFF00)}) {
                std::u16string s(len, u'x');
                for (size_t k = 0; k < len; ++k) s[k] = char16_t(u'a' + k % 26);
                s[at] = odd;
                jet_sst one;
                ASSERT_EQ(one.add(s), 0u);
                EXPECT_EQ(one.text(0), s) << len << " " << at;
                const auto recs = write_table(one, 8224);
                const bool narrow = odd == 0xFF;
                EXPECT_EQ(recs[0].body[8 + 2], narrow ? 0 : biff::k_str_16bit) << len << " " << at;
                EXPECT_EQ(recs[0].body.size(), 8 + 3 + len * (narrow ? 1 : 2));
            }
        }
    }
}
