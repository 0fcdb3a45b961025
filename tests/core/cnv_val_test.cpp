#include "core/cnv_val.h"

#include <gtest/gtest.h>

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
