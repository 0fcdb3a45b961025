#include "core/cnv_val.h"

#include <gtest/gtest.h>

#include <memory>
#include <utility>

#include "OLE/ole_types.h"
#include "UDB/udb_sche.h"

namespace {

TEST(clean_text, TurnsCarriageReturnsIntoLineFeedsAndCuts) {
    std::u16string out;
    clean_text(u"\r\r\na\r\n\r", 100, out);
    EXPECT_EQ(out, u"\n\na\n\n");
    clean_text(u"a\r\nb\r\nc", 3, out);  // the limit counts cleaned characters
    EXPECT_EQ(out, u"a\nb");
    clean_text(u"abc", 3, out);
    EXPECT_EQ(out, u"abc");
}

TEST(clean_text, ACutNeverEndsInHalfASurrogatePair) {
    std::u16string out;
    clean_text(u"ab\U0001F600c", 3, out);
    EXPECT_EQ(out, u"ab");
    clean_text(u"ab\U0001F600", 4, out);
    EXPECT_EQ(out, u"ab\U0001F600");
}

// The rule stated one character at a time, as a model for the run-wise copy.
std::u16string clean_text_model(std::u16string_view src, size_t limit) {
    std::u16string dst;
    size_t i = 0;
    for (; i < src.size() && dst.size() < limit; ++i) {
        char16_t c = src[i];
        if (c == u'\r') {
            if (i + 1 < src.size() && src[i + 1] == u'\n')
                continue;
            c = u'\n';
        }
        dst.push_back(c);
    }
    if (i < src.size() && !dst.empty() && dst.back() >= 0xD800 && dst.back() <= 0xDBFF)
        dst.pop_back();
    return dst;
}

TEST(clean_text, AgreesWithTheCharacterRuleOnGeneratedTexts) {
    // Texts of 0 to 11 units drawn from letters, CR, LF and surrogate
    // halves, cut at every limit up to past their length; the output buffer
    // is reused and starts out holding an older, longer text.
    const char16_t alphabet[] = {u'a', u'\r', u'\n', 0xD83D, 0xDE00, u'\u0416'};
    uint32_t state = 12345;
    auto next = [&state] {
        state = state * 1103515245u + 12345u;
        return state >> 16;
    };
    std::u16string out = u"left over from an earlier row";
    for (int round = 0; round < 4000; ++round) {
        std::u16string src(next() % 12, u' ');
        for (char16_t& c : src) c = alphabet[next() % 6];
        for (size_t limit = 0; limit <= src.size() + 1; ++limit) {
            clean_text(src, limit, out);
            ASSERT_EQ(out, clean_text_model(src, limit)) << "round " << round << " limit " << limit;
        }
    }
    // Long runs on both sides of a CR LF and of the limit.
    const std::u16string run(300, u'x');
    const std::u16string mixed = run + u"\r\n" + run + u"\r" + run;
    for (size_t limit : {size_t(0), size_t(299), size_t(300), size_t(301), size_t(302), size_t(601),
                         size_t(602), size_t(900), size_t(1000), SIZE_MAX}) {
        clean_text(mixed, limit, out);
        EXPECT_EQ(out, clean_text_model(mixed, limit)) << limit;
    }
}

TEST(clean_text, FindsACarriageReturnAtEveryPlaceOfALongText) {
    // One CR (alone or before an LF) at each position of texts around the
    // sixteen-unit steps of the search.
    std::u16string out;
    for (size_t len = 1; len <= 40; ++len) {
        for (size_t at = 0; at < len; ++at) {
            for (bool lf : {false, true}) {
                std::u16string src(len, u'y');
                src[at] = u'\r';
                if (lf && at + 1 < len)
                    src[at + 1] = u'\n';
                clean_text(src, SIZE_MAX, out);
                ASSERT_EQ(out, clean_text_model(src, SIZE_MAX)) << len << " " << at;
            }
        }
    }
}

TEST(prepare_record, KeepsNamesAndFlagsAndReusesTheOutputRecord) {
    udb_record in;
    in.emplace_back(u"T", 20, ole_variant(u"x\r\ny"), true, false);
    in.emplace_back(u"B", 16, ole_variant(std::vector<uint8_t>{1, 2}));
    in.emplace_back(u"N", 22, ole_variant(2.5));
    in.emplace_back(u"Z", 22, ole_variant::null());
    udb_record out;
    out.emplace_back(u"old", 1, ole_variant(7));  // a number where a text goes now
    prepare_record(in, kMaxText80, out);
    ASSERT_EQ(out.size(), 4u);
    EXPECT_EQ(out[0].name, u"T");
    EXPECT_EQ(out[0].size, 20);
    EXPECT_TRUE(out[0].b_not_null);
    EXPECT_EQ(out[0].bstr(), u"x\ny");
    EXPECT_EQ(out[1].bstr(), u"<Binary Field>");
    EXPECT_EQ(out[2].r8(), 2.5);
    EXPECT_TRUE(out[3].is_null());

    in.clear();
    in.emplace_back(u"T", 20, ole_variant(u"short"));
    prepare_record(in, kMaxText50, out);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].bstr(), u"short");
    EXPECT_FALSE(out[0].b_not_null);
}

TEST(record_preparer, NumbersKeepEveryDigitAndWhatChangedIsCountedPerColumn) {
    udb_schema schema(true);
    for (auto [name, kind] : {std::pair{u"N", VT_R8}, std::pair{u"T", VT_BSTR},
                              std::pair{u"I", VT_I8}, std::pair{u"D", VT_DECIMAL}})
        schema.add(std::make_unique<t_ftd>(10, name, kind, false, false, ole_variant(), 0));
    record_preparer prep(schema, 4);
    DECIMAL wide{};  // 1234567890123456.78
    wide.scale = 2;
    wide.Lo64 = 123456789012345678ull;
    udb_record in, out;
    in.emplace_back(u"N", 0, ole_variant(u"12345678901234567890"));
    in.emplace_back(u"T", 10, ole_variant(u"abcdef"));
    in.emplace_back(u"I", 0, ole_variant(9007199254740993LL));
    in.emplace_back(u"D", 0, ole_variant(wide));
    prep.prepare(in, out);
    EXPECT_EQ(out[0].bstr(), u"12345678901234567890");
    EXPECT_EQ(out[1].bstr(), u"abcd");
    EXPECT_EQ(out[2].bstr(), u"9007199254740993");
    EXPECT_EQ(out[3].bstr(), u"1234567890123456.78");
    for (size_t i : {0, 2, 3}) EXPECT_TRUE(out[i].b_text_cell) << i;
    EXPECT_FALSE(out[1].b_text_cell);
    EXPECT_EQ(prep.notes()[0].digits_kept, 0u);  // nothing counts before the row is written
    prep.commit();

    // Fifteen digits or fewer (trailing zeros not counted) stay numbers; a
    // text read in the code page is counted.
    DECIMAL small{};
    small.scale = 1;
    small.Lo64 = 15;
    in[0].set_value(ole_variant(u"2.5"));
    in[1].set_value(ole_variant(u"ok"));
    in[1].b_recoded = true;
    in[2].set_value(ole_variant(10000000000000000LL));
    in[3].set_value(ole_variant(small));
    prep.prepare(in, out);
    prep.commit();
    EXPECT_EQ(out[0].r8(), 2.5);
    EXPECT_EQ(out[2].i8(), 10000000000000000LL);
    EXPECT_EQ(out[3].get_type(), VT_DECIMAL);
    for (const udb_field& f : out) EXPECT_FALSE(f.b_text_cell);
    prep.prepare(in, out);  // a row not written (refused) counts nothing

    const std::vector<column_notes>& n = prep.notes();
    EXPECT_EQ(n[0].digits_kept, 1u);
    EXPECT_EQ(n[1].cut, 1u);
    EXPECT_EQ(n[1].recoded, 1u);
    EXPECT_EQ(n[2].digits_kept, 1u);
    EXPECT_EQ(n[3].digits_kept, 1u);
    EXPECT_EQ(n[1].digits_kept + n[0].cut + n[2].cut, 0u);
}

TEST(prepare_record, TakesAtMost255Values) {
    udb_record in;
    for (int i = 0; i < 300; ++i) in.emplace_back(u"C", 4, ole_variant(i));
    udb_record out;
    prepare_record(in, kMaxText80, out);
    EXPECT_EQ(out.size(), kMaxColumns);
    EXPECT_EQ(max_text_length(0), 254u);
    EXPECT_EQ(max_text_length(1), 32766u);
}

}  // namespace
