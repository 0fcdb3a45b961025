// Cell values: RK encoding, 1900 date serials, conversions by column type.
#include "jet/jet_conv.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "jet/jet_error.h"
#include "support/de_locale.h"

namespace {

double bits_to_double(uint64_t b) {
    double d;
    std::memcpy(&d, &b, 8);
    return d;
}

long plan_error(const jet_value& v, int type, bool biff8 = true) {
    std::u16string scratch;
    jet_cell_plan p;
    try {
        jet_plan_cell(v, type, biff8, scratch, p, 7);
    } catch (const jet_error& e) {
        EXPECT_EQ(e.field(), 7);
        return e.number();
    }
    return 0;
}

jet_cell_plan plan(const jet_value& v, int type, std::u16string& scratch, bool biff8 = true) {
    jet_cell_plan p;
    jet_plan_cell(v, type, biff8, scratch, p, 0);
    return p;
}

}  // namespace

TEST(jet_conv, rk_forms_are_exact_or_refused) {
    struct {
        double v;
        uint32_t rk;
    } known[] = {
        {0, 0x2},                  // integer 0
        {1, 0x6},                  // integer 1
        {-1, 0xFFFFFFFE},          // integer -1
        {536870911, 0x7FFFFFFE},   // largest 30-bit integer
        {-536870912, 0x80000002},  // smallest
        {0.5, 0x3FE00000},         // double with 30 significant bits
        {1.25, 0x3FF40000},
        {0.01, 0x7},  // 1 / 100
        {123.45, (12345u << 2) | 3},
    };
    for (const auto& k : known) {
        uint32_t rk = 0;
        ASSERT_TRUE(jet_rk_encode(k.v, rk)) << k.v;
        EXPECT_EQ(rk, k.rk) << k.v;
        EXPECT_EQ(jet_rk_decode(rk), k.v);
    }
    uint32_t rk;
    ASSERT_TRUE(jet_rk_encode(0.1, rk));  // 10 / 100 gives back the same double
    EXPECT_EQ(rk, (10u << 2) | 3);
    EXPECT_FALSE(jet_rk_encode(0.123456789, rk));  // needs all 52 bits
    EXPECT_FALSE(jet_rk_encode(536870912.5, rk));
    EXPECT_FALSE(jet_rk_encode(NAN, rk));
    EXPECT_FALSE(jet_rk_encode(INFINITY, rk));
    // -0.0 keeps its sign through the double form.
    ASSERT_TRUE(jet_rk_encode(-0.0, rk));
    EXPECT_TRUE(std::signbit(jet_rk_decode(rk)));

    // Whatever is encoded decodes to the same bits.
    std::mt19937_64 rng(42);
    int encoded = 0;
    for (int i = 0; i < 200000; ++i) {
        double v;
        switch (i % 4) {
            case 0:
                v = bits_to_double(rng());
                break;
            case 1:
                v = static_cast<double>(static_cast<int64_t>(rng() % 2000000000) - 1000000000);
                break;
            case 2:
                v = static_cast<double>(static_cast<int64_t>(rng() % 2000000) - 1000000) / 100.0;
                break;
            default:
                v = bits_to_double(rng() & 0xFFFFFFFC00000000ull);
                break;
        }
        if (jet_rk_encode(v, rk)) {
            ++encoded;
            const double back = jet_rk_decode(rk);
            ASSERT_EQ(std::memcmp(&back, &v, 8), 0) << v;
        }
    }
    EXPECT_GT(encoded, 100000);
}

TEST(jet_conv, date_serials_of_the_1900_system) {
    double s;
    ASSERT_TRUE(jet_date_serial(1900, 1, 1, 0, 0, 0, s));
    EXPECT_EQ(s, 1);
    ASSERT_TRUE(jet_date_serial(1900, 2, 28, 0, 0, 0, s));
    EXPECT_EQ(s, 59);
    // 60 is the 29 February 1900 that never was.
    ASSERT_TRUE(jet_date_serial(1900, 3, 1, 0, 0, 0, s));
    EXPECT_EQ(s, 61);
    ASSERT_TRUE(jet_date_serial(1999, 12, 31, 0, 0, 0, s));
    EXPECT_EQ(s, 36525);
    ASSERT_TRUE(jet_date_serial(2024, 2, 29, 18, 0, 0, s));
    EXPECT_EQ(s, 45351.75);
    ASSERT_TRUE(jet_date_serial(9999, 12, 31, 0, 0, 0, s));
    EXPECT_EQ(s, 2958465);
    ASSERT_TRUE(jet_date_serial(1900, 1, 1, 23, 59, 59, s));
    EXPECT_DOUBLE_EQ(s, 1 + 86399.0 / 86400);

    EXPECT_FALSE(jet_date_serial(1899, 12, 31, 0, 0, 0, s));
    EXPECT_FALSE(jet_date_serial(1900, 2, 29, 0, 0, 0, s));
    EXPECT_FALSE(jet_date_serial(2023, 2, 29, 0, 0, 0, s));
    EXPECT_FALSE(jet_date_serial(2023, 13, 1, 0, 0, 0, s));
    EXPECT_FALSE(jet_date_serial(10000, 1, 1, 0, 0, 0, s));
    EXPECT_FALSE(jet_date_serial(2023, 1, 1, 24, 0, 0, s));

    // Back from serials, around the phantom day too.
    int y, mo, d, h, mi, se;
    jet_serial_date(59, y, mo, d, h, mi, se);
    EXPECT_EQ(y * 10000 + mo * 100 + d, 19000228);
    jet_serial_date(60, y, mo, d, h, mi, se);
    EXPECT_EQ(y * 10000 + mo * 100 + d, 19000229);
    jet_serial_date(61, y, mo, d, h, mi, se);
    EXPECT_EQ(y * 10000 + mo * 100 + d, 19000301);
    jet_serial_date(45351.75, y, mo, d, h, mi, se);
    EXPECT_EQ(y * 10000 + mo * 100 + d, 20240229);
    EXPECT_EQ(h, 18);
    for (int year : {1900, 1901, 1999, 2000, 2100, 9999}) {
        for (int month = 1; month <= 12; ++month) {
            ASSERT_TRUE(jet_date_serial(year, month, 28, 13, 14, 15, s));
            jet_serial_date(s, y, mo, d, h, mi, se);
            EXPECT_EQ(std::vector<int>({y, mo, d, h, mi, se}),
                      std::vector<int>({year, month, 28, 13, 14, 15}));
        }
    }
}

TEST(jet_conv, values_by_column_type) {
    using K = jet_cell_plan::form;
    std::u16string sc;
    // Numbers: integer types round half to even and check their range.
    EXPECT_EQ(plan(jet_value::of_number(2.5), jet_integer, sc).number, 2);
    EXPECT_EQ(plan(jet_value::of_number(3.5), jet_long, sc).number, 4);
    EXPECT_EQ(plan(jet_value::of_number(255), jet_byte, sc).number, 255);
    EXPECT_EQ(plan_error(jet_value::of_number(256), jet_byte), 3349);
    EXPECT_EQ(plan_error(jet_value::of_number(-1), jet_byte), 3349);
    EXPECT_EQ(plan_error(jet_value::of_number(32768), jet_integer), 3349);
    EXPECT_EQ(plan_error(jet_value::of_number(2147483648.0), jet_long), 3349);
    EXPECT_EQ(plan_error(jet_value::of_number(NAN), jet_double), 3349);
    EXPECT_EQ(plan_error(jet_value::of_number(INFINITY), jet_double), 3349);
    EXPECT_EQ(plan_error(jet_value::of_number(1e39), jet_single), 3349);
    EXPECT_EQ(plan(jet_value::of_number(0.1), jet_single, sc).number, static_cast<double>(0.1f));
    EXPECT_EQ(plan(jet_value::of_number(1.23456), jet_currency, sc).number, 1.2346);
    EXPECT_EQ(plan(jet_value::of_number(0.1), jet_double, sc).number, 0.1);
    EXPECT_EQ(plan(jet_value::of_text(u" 42.5 "), jet_double, sc).number, 42.5);
    EXPECT_EQ(plan(jet_value::of_boolean(true), jet_integer, sc).number, -1);
    EXPECT_EQ(plan_error(jet_value::of_text(u"forty"), jet_double), 3421);
    EXPECT_EQ(plan(jet_value(), jet_double, sc).f, K::none);

    // Dates: serial numbers with a date format; before 1900 refused.
    auto p = plan(jet_value::of_date(1900, 2, 28), jet_date, sc);
    EXPECT_EQ(p.f, K::number);
    EXPECT_TRUE(p.date);
    EXPECT_FALSE(p.has_time);
    EXPECT_EQ(p.number, 59);
    p = plan(jet_value::of_date(2001, 2, 3, 4, 5, 6), jet_date, sc);
    EXPECT_TRUE(p.has_time);
    EXPECT_EQ(plan_error(jet_value::of_date(1899, 12, 31), jet_date), 3349);
    EXPECT_EQ(plan_error(jet_value::of_date(1800, 1, 1, 12, 0, 0), jet_date), 3349);
    EXPECT_EQ(plan_error(jet_value::of_number(0.5), jet_date), 3349);
    EXPECT_EQ(plan(jet_value::of_text(u"2020-05-06 07:08:09"), jet_date, sc).number,
              plan(jet_value::of_date(2020, 5, 6, 7, 8, 9), jet_date, sc).number);
    EXPECT_EQ(plan_error(jet_value::of_text(u"yesterday"), jet_date), 3421);
    EXPECT_EQ(plan_error(jet_value::of_boolean(true), jet_date), 3421);

    // Booleans.
    EXPECT_TRUE(plan(jet_value::of_text(u"Yes"), jet_boolean, sc).boolean);
    EXPECT_FALSE(plan(jet_value::of_number(0), jet_boolean, sc).boolean);
    EXPECT_EQ(plan(jet_value::of_boolean(true), jet_boolean, sc).f, K::boolean);
    EXPECT_EQ(plan_error(jet_value::of_text(u"maybe"), jet_boolean), 3421);

    // Texts: other kinds in their text form; the cell's capacity checked.
    p = plan(jet_value::of_number(1.5), jet_text, sc);
    EXPECT_EQ(std::u16string(p.text), u"1.5");
    p = plan(jet_value::of_date(2001, 2, 3, 4, 5, 6), jet_memo, sc);
    EXPECT_EQ(std::u16string(p.text), u"2001-02-03 04:05:06");
    p = plan(jet_value::of_boolean(false), jet_text, sc);
    EXPECT_EQ(std::u16string(p.text), u"False");
    const std::u16string full(32767, u'x'), over(32768, u'x');
    EXPECT_EQ(plan(jet_value::of_text(full), jet_memo, sc).f, K::text);
    EXPECT_EQ(plan_error(jet_value::of_text(over), jet_memo), 3047);
    // BIFF5: 255 characters, a surrogate pair counting as one.
    std::u16string b5(254, u'y');
    b5 += u"\U0001F600";
    EXPECT_EQ(plan(jet_value::of_text(b5), jet_text, sc, false).f, K::text);
    EXPECT_EQ(plan_error(jet_value::of_text(b5 + u"z"), jet_text, false), 3047);
    EXPECT_EQ(jet_biff5_length(u"a\U0001F600b"), 3u);
}

TEST(jet_conv, numbers_and_texts_do_not_follow_the_process_locale) {
    de_locale german(LC_NUMERIC);
    if (!german.ok())
        GTEST_SKIP() << "no de_DE locale";
    std::u16string sc;
    EXPECT_EQ(plan(jet_value::of_text(u"2.5"), jet_double, sc).number, 2.5);
    EXPECT_EQ(plan_error(jet_value::of_text(u"2,5"), jet_double), 3421);
    EXPECT_EQ(std::u16string(plan(jet_value::of_number(1.5), jet_text, sc).text), u"1.5");
}

TEST(jet_conv, biff5_length_counts_a_pair_once_at_every_position) {
    // Surrogate halves, alone and paired, at every place of the four-unit
    // steps and after long runs without any.
    const char16_t alphabet[] = {u'a', 0x416, 0xD83D, 0xDE00};
    std::mt19937 rng(5);
    for (int round = 0; round < 20000; ++round) {
        std::u16string s(rng() % (round % 100 == 0 ? 300 : 14), u'a');
        for (char16_t& c : s) c = alphabet[rng() % (round % 2 ? 4 : 2)];
        size_t want = 0;
        for (size_t i = 0; i < s.size(); ++i, ++want)
            if (s[i] >= 0xD800 && s[i] <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 &&
                s[i + 1] <= 0xDFFF)
                ++i;
        ASSERT_EQ(jet_biff5_length(s), want) << round;
    }
}
