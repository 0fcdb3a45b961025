// Measuring values for column widths: the General number text and the
// display width of texts.
#include "jet/jet_colw.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>

TEST(jet_colw, general_length_is_the_length_of_the_15_digit_text) {
    std::vector<double> values = {0.1 + 0.2,
                                  1600.5,
                                  -1234567.25,
                                  0.99999999999999994,
                                  9.99999999999999995,
                                  999999999999999.5,
                                  1e15,
                                  123456789012345678.0,
                                  0.0001,
                                  0.00009999,
                                  -0.0,
                                  1e-300,
                                  5e300,
                                  2.5};
    std::mt19937_64 rng(13);
    for (int i = 0; i < 20000; ++i) {
        const int scale = static_cast<int>(rng() % 24) - 6;  // 1e-6 .. 1e17
        double v = static_cast<double>(rng() % 100000000) / 100.0;
        for (int k = 0; k < scale; ++k) v *= 10;
        for (int k = 0; k > scale; --k) v /= 10;
        values.push_back(rng() % 3 == 0 ? -v : v);
        values.push_back(static_cast<double>(rng() % 1000) / 7.0);
    }
    for (double v : values) {
        char buf[40];
        const int n = std::snprintf(buf, sizeof buf, "%.15g", v);
        const unsigned want = buf[0] == '-' && v == 0 ? n - 1 : n;  // -0 shows as 0
        ASSERT_EQ(jet_general_length(v), want) << buf;
    }
}

TEST(jet_colw, texts_count_characters_east_asian_double_in_biff8_only) {
    const std::u16string cjk = u"\u6771\u4eac\u90fd";  // three wide characters
    const std::u16string emoji = u"\U0001F600";        // one wide character, two units
    EXPECT_EQ(jet_text_quarters(u"abc", true, 1000), 3 * jet_text_quarters(u"a", true, 1000));
    EXPECT_EQ(jet_text_quarters(cjk, true, 1000), 2 * jet_text_quarters(u"abc", true, 1000));
    // BIFF5 shows each of them as one "?"
    EXPECT_EQ(jet_text_quarters(cjk, false, 1000), jet_text_quarters(u"???", false, 1000));
    EXPECT_EQ(jet_text_quarters(emoji, true, 1000), jet_text_quarters(u"\u6771", true, 1000));
    EXPECT_EQ(jet_text_quarters(emoji, false, 1000), jet_text_quarters(u"?", false, 1000));
    // Capitals are wider than digits; the count stops at the limit.
    EXPECT_GT(jet_text_quarters(u"W", true, 1000), jet_text_quarters(u"0", true, 1000));
    EXPECT_EQ(jet_text_quarters(std::u16string(40000, u'x'), true, 100), 100u);
}
