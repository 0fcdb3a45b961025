// The built-in empty workbooks, byte for byte where their layout is fixed.
#include "jet/jet_tmpl.h"

#include <gtest/gtest.h>

#include <map>

#include "TK/tk_coding.h"
#include "TK/tk_utf.h"
#include "jet/jet_rdr.h"
#include "jet_testutil.h"

namespace {

// Expected stream built record by record from hex bodies.
class expect_stream {
  public:
    expect_stream& r(uint16_t id, const std::string& hex = "") {
        std::vector<uint8_t> body;
        int hi = -1;
        for (char c : hex) {
            int d = std::isxdigit(static_cast<unsigned char>(c))
                        ? std::stoi(std::string(1, c), nullptr, 16)
                        : -1;
            if (d < 0)
                continue;
            if (hi < 0) {
                hi = d;
            } else {
                body.push_back(static_cast<uint8_t>(hi * 16 + d));
                hi = -1;
            }
        }
        return raw(id, body);
    }
    expect_stream& raw(uint16_t id, const std::vector<uint8_t>& body) {
        tk::append_u16(bytes, id);
        tk::append_u16(bytes, static_cast<uint16_t>(body.size()));
        bytes.insert(bytes.end(), body.begin(), body.end());
        return *this;
    }
    std::vector<uint8_t> bytes;
};

const char* const k_formats[8][2] = {
    {"0500", "\"$\"#,##0_);\\(\"$\"#,##0\\)"},
    {"0600", "\"$\"#,##0_);[Red]\\(\"$\"#,##0\\)"},
    {"0700", "\"$\"#,##0.00_);\\(\"$\"#,##0.00\\)"},
    {"0800", "\"$\"#,##0.00_);[Red]\\(\"$\"#,##0.00\\)"},
    {"2A00", "_(\"$\"* #,##0_);_(\"$\"* \\(#,##0\\);_(\"$\"* \"-\"_);_(@_)"},
    {"2900", "_(* #,##0_);_(* \\(#,##0\\);_(* \"-\"_);_(@_)"},
    {"2C00", "_(\"$\"* #,##0.00_);_(\"$\"* \\(#,##0.00\\);_(\"$\"* \"-\"??_);_(@_)"},
    {"2B00", "_(* #,##0.00_);_(* \\(#,##0.00\\);_(* \"-\"??_);_(@_)"},
};

const char* const k_palette =
    "000000 FFFFFF FF0000 00FF00 0000FF FFFF00 FF00FF 00FFFF 800000 008000 000080 808000 800080 "
    "008080 "
    "C0C0C0 808080 9999FF 993366 FFFFCC CCFFFF 660066 FF8080 0066CC CCCCFF 000080 FF00FF FFFF00 "
    "00FFFF "
    "800080 800000 008080 0000FF 00CCFF CCFFFF CCFFCC FFFF99 99CCFF FF99CC CC99FF E3E3E3 3366FF "
    "33CCCC "
    "99CC00 FFCC00 FF9900 FF6600 666699 969696 003366 339966 003300 333300 993300 993366 333399 "
    "333333";

std::vector<uint8_t> expected_stream(bool b8) {
    expect_stream e;
    e.r(0x0809, b8 ? "00 06 05 00 AF 18 CD 07 C1 40 00 00 06 01 00 00" : "00 05 05 00 5F 1D CD 07");
    e.r(0x00E1, b8 ? "B0 04" : "");
    e.r(0x00C1, "00 00");
    if (!b8)
        e.r(0x00BF).r(0x00C0);
    e.r(0x00E2);
    std::vector<uint8_t> wa = b8 ? std::vector<uint8_t>{8, 0, 0} : std::vector<uint8_t>{8};
    for (char c : std::string("Brannock")) wa.push_back(c);
    wa.resize(112, ' ');
    e.raw(0x005C, wa);
    e.r(0x0042, b8 ? "B0 04" : "E3 04");
    if (b8)
        e.r(0x0161, "00 00").r(0x01C0).r(0x013D, "01 00");
    e.r(0x009C, "0E 00").r(0x0019, "00 00").r(0x0012, "00 00").r(0x0013, "00 00");
    if (b8)
        e.r(0x01AF, "00 00").r(0x01BC, "00 00");
    e.r(0x003D, "78 00 3C 00 4C 3B 81 24 38 00 00 00 00 00 01 00 58 02");
    e.r(0x0040, "00 00")
        .r(0x008D, "00 00")
        .r(0x0022, "00 00")
        .r(0x000E, "01 00")
        .r(0x01B7, "00 00");
    e.r(0x00DA, "00 00");
    for (int i = 0; i < 5; ++i)  // the fifth is the header's font (index 4 is reserved)
        e.r(0x0031,
            b8 ? "C8 00 00 00 FF 7F 90 01 00 00 00 00 00 00 05 01 41 00 72 00 69 00 61 00 6C 00"
               : "C8 00 00 00 FF 7F 90 01 00 00 00 00 00 00 05 41 72 69 61 6C");
    for (const auto& f : k_formats) {
        std::vector<uint8_t> body = {
            static_cast<uint8_t>(std::stoi(std::string(f[0]).substr(0, 2), nullptr, 16)), 0};
        const std::string t = f[1];
        if (b8) {
            tk::append_u16(body, static_cast<uint16_t>(t.size()));
            body.push_back(0);
        } else {
            body.push_back(static_cast<uint8_t>(t.size()));
        }
        body.insert(body.end(), t.begin(), t.end());
        e.raw(0x041E, body);
    }
    if (b8) {
        e.r(0x00E0, "00 00 00 00 F5 FF 20 00 00 00 00 00 00 00 00 00 00 00 C0 20");
        for (const char* f : {"01", "01", "02", "02"})
            e.r(0x00E0,
                std::string(f) + " 00 00 00 F5 FF 20 00 00 F4 00 00 00 00 00 00 00 00 C0 20");
        for (int i = 5; i <= 14; ++i)
            e.r(0x00E0, "00 00 00 00 F5 FF 20 00 00 F4 00 00 00 00 00 00 00 00 C0 20");
        e.r(0x00E0, "00 00 00 00 01 00 20 00 00 00 00 00 00 00 00 00 00 00 C0 20");
        for (const char* f : {"2B", "29", "2C", "2A", "09"})
            e.r(0x00E0,
                std::string("01 00 ") + f + " 00 F5 FF 20 00 00 F8 00 00 00 00 00 00 00 00 C0 20");
    } else {
        e.r(0x00E0, "00 00 00 00 F5 FF 20 00 C0 20 00 00 00 00 00 00");
        for (const char* f : {"01", "01", "02", "02"})
            e.r(0x00E0, std::string(f) + " 00 00 00 F5 FF 20 F4 C0 20 00 00 00 00 00 00");
        for (int i = 5; i <= 14; ++i)
            e.r(0x00E0, "00 00 00 00 F5 FF 20 F4 C0 20 00 00 00 00 00 00");
        e.r(0x00E0, "00 00 00 00 01 00 20 00 C0 20 00 00 00 00 00 00");
        for (const char* f : {"2B", "29", "2C", "2A", "09"})
            e.r(0x00E0, std::string("01 00 ") + f + " 00 F5 FF 20 F8 C0 20 00 00 00 00 00 00");
    }
    e.r(0x0293, "10 80 03 FF").r(0x0293, "11 80 06 FF").r(0x0293, "12 80 04 FF");
    e.r(0x0293, "13 80 07 FF").r(0x0293, "00 80 00 FF").r(0x0293, "14 80 05 FF");
    if (b8) {
        e.r(0x0160, "00 00");
    } else {
        std::string pal = "38 00 ";
        for (size_t i = 0; i < 56; ++i) pal += std::string(k_palette + i * 7, 6) + " 00 ";
        e.r(0x0092, pal);
    }
    if (b8) {
        e.r(0x0085, "8C 05 00 00 00 00 06 00 53 68 65 65 74 31");
        e.r(0x008C, "01 00 01 00")
            .r(0x01C1, "C1 01 00 00 60 69 01 00")
            .r(0x00FC, "00 00 00 00 00 00 00 00");
        e.r(0x00FF, "08 00");
    } else {
        e.r(0x0085, "A5 05 00 00 00 00 06 53 68 65 65 74 31");
    }
    e.r(0x000A);
    // The sheet.
    e.r(0x0809, b8 ? "00 06 10 00 AF 18 CD 07 C1 40 00 00 06 01 00 00" : "00 05 10 00 5F 1D CD 07");
    e.r(0x020B, b8 ? "00 00 00 00 00 00 00 00 00 00 00 00 44 06 00 00"
                   : "00 00 00 00 00 00 00 00 59 06 00 00");
    e.r(0x000D, "01 00").r(0x000C, "64 00").r(0x000F, "01 00").r(0x0011, "00 00");
    e.r(0x0010, "FC A9 F1 D2 4D 62 50 3F").r(0x005F, "01 00").r(0x002A, "00 00").r(0x002B, "00 00");
    e.r(0x0082, "01 00").r(0x0080, "00 00 00 00 00 00 00 00").r(0x0225, "00 00 FF 00");
    if (!b8)
        e.r(0x008C, "01 00 01 00");
    e.r(0x0081, "C1 04").r(0x0014).r(0x0015).r(0x0083, "00 00").r(0x0084, "00 00");
    e.r(0x00A1, b8 ? "00 00 FF 00 01 00 01 00 01 00 04 00 00 00 00 00 "
                     "00 00 00 00 00 00 E0 3F 00 00 00 00 00 00 E0 3F 00 00"
                   : "00 00 01 00 01 00 01 00 01 00 44 00 31 00 00 00 "
                     "00 00 00 00 00 00 E0 3F 00 00 00 00 00 00 E0 3F E3 04");
    e.r(0x0055, "08 00");
    e.r(0x0200, b8 ? "00 00 00 00 00 00 00 00 00 00 00 00 00 00" : "00 00 00 00 00 00 00 00 00 00");
    if (!b8)
        e.r(0x003D, "78 00 3C 00 4C 3B 81 24 38 00 00 00 00 00 01 00 58 02");
    e.r(0x023E, b8 ? "B6 06 00 00 00 00 40 00 00 00 00 00 00 00 00 00 00 00"
                   : "B6 06 00 00 00 00 00 00 00 00");
    e.r(0x001D, "03 00 00 00 00 00 00 01 00 00 00 00 00 00 00");
    if (b8)
        e.r(0x00EF, "00 00 37 00 00 00");
    e.r(0x000A);
    e.bytes.resize(4096, 0);
    return e.bytes;
}

uint32_t u32(const std::vector<uint8_t>& v, size_t at) {
    return tk::get_u32(v.data() + at);
}

// Reads the one section of a property-set stream: id -> (type, value bytes).
std::map<uint32_t, std::pair<uint16_t, std::vector<uint8_t>>> properties(
    const std::vector<uint8_t>& s, const uint8_t* fmtid) {
    std::map<uint32_t, std::pair<uint16_t, std::vector<uint8_t>>> out;
    EXPECT_EQ(tk::get_u16(s.data()), 0xFFFE);
    EXPECT_EQ(u32(s, 24), 1u);
    EXPECT_EQ(std::vector<uint8_t>(s.begin() + 28, s.begin() + 44),
              std::vector<uint8_t>(fmtid, fmtid + 16));
    const uint32_t sec = u32(s, 44);
    const uint32_t size = u32(s, sec);
    const uint32_t count = u32(s, sec + 4);
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t id = u32(s, sec + 8 + 8 * i);
        const uint32_t off = sec + u32(s, sec + 12 + 8 * i);
        EXPECT_LT(off, sec + size);
        out[id] = {tk::get_u16(s.data() + off),
                   std::vector<uint8_t>(s.begin() + off + 4, s.begin() + sec + size)};
    }
    return out;
}

std::string lpstr(const std::vector<uint8_t>& v) {
    return std::string(v.begin() + 4, v.begin() + 4 + u32(v, 0) - 1);
}

class jet_template : public ::testing::TestWithParam<int> {};

}  // namespace

TEST_P(jet_template, image_is_fixed_byte_for_byte_where_fixed) {
    const int version = GetParam();
    const bool b8 = version == 1;
    const auto& img = jet_template_image(version);
    ASSERT_EQ(img.size(), 13824u);
    EXPECT_EQ(&img, &jet_template_image(version));  // built once

    // Header: version 3, 512-byte sectors, 64-byte mini sectors, cutoff
    // 4096, one FAT sector (24), no mini FAT, no DIFAT sectors, directory 25.
    const uint8_t sig[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    EXPECT_EQ(std::vector<uint8_t>(img.begin(), img.begin() + 8),
              std::vector<uint8_t>(sig, sig + 8));
    EXPECT_EQ(tk::get_u16(&img[26]), 3);
    EXPECT_EQ(tk::get_u16(&img[28]), 0xFFFE);
    EXPECT_EQ(tk::get_u16(&img[30]), 9);
    EXPECT_EQ(tk::get_u16(&img[32]), 6);
    EXPECT_EQ(u32(img, 44), 1u);
    EXPECT_EQ(u32(img, 48), 25u);
    EXPECT_EQ(u32(img, 56), 4096u);
    EXPECT_EQ(u32(img, 60), 0xFFFFFFFEu);
    EXPECT_EQ(u32(img, 64), 0u);
    EXPECT_EQ(u32(img, 68), 0xFFFFFFFEu);
    EXPECT_EQ(u32(img, 72), 0u);
    EXPECT_EQ(u32(img, 76), 24u);
    for (size_t i = 1; i < 109; ++i) EXPECT_EQ(u32(img, 76 + 4 * i), 0xFFFFFFFFu);
    // FAT: three chains of 8 sectors, the FAT sector, the directory.
    const size_t fat = 512 + 24 * 512;
    for (uint32_t s = 0; s < 24; ++s)
        EXPECT_EQ(u32(img, fat + 4 * s), s % 8 == 7 ? 0xFFFFFFFEu : s + 1) << s;
    EXPECT_EQ(u32(img, fat + 4 * 24), 0xFFFFFFFDu);
    EXPECT_EQ(u32(img, fat + 4 * 25), 0xFFFFFFFEu);
    for (size_t s = 26; s < 128; ++s) EXPECT_EQ(u32(img, fat + 4 * s), 0xFFFFFFFFu);
    // Directory: root (with the class id), then the three streams.
    const size_t dir = 512 + 25 * 512;
    const std::u16string names[] = {u"Root Entry", b8 ? u"Workbook" : u"Book",
                                    u"\x05SummaryInformation",
                                    u"\x05"
                                    u"DocumentSummaryInformation"};
    for (int i = 0; i < 4; ++i) {
        const size_t e = dir + 128 * i;
        std::u16string name;
        for (size_t k = 0; k + 2 < tk::get_u16(&img[e + 64]); k += 2)
            name.push_back(tk::get_u16(&img[e + k]));
        EXPECT_EQ(name, names[i]);
        EXPECT_EQ(img[e + 66], i == 0 ? 5 : 2);
        if (i > 0) {
            EXPECT_EQ(u32(img, e + 116), uint32_t(8 * (i - 1)));
            EXPECT_EQ(u32(img, e + 120), 4096u);
        }
    }
    const uint8_t clsid[16] = {b8 ? uint8_t(0x20) : uint8_t(0x10),
                               0x08,
                               0x02,
                               0,
                               0,
                               0,
                               0,
                               0,
                               0xC0,
                               0,
                               0,
                               0,
                               0,
                               0,
                               0,
                               0x46};
    EXPECT_EQ(std::vector<uint8_t>(img.begin() + dir + 80, img.begin() + dir + 96),
              std::vector<uint8_t>(clsid, clsid + 16));

    // The workbook stream at sector 0, every record as fixed.
    const std::vector<uint8_t> stream(img.begin() + 512, img.begin() + 512 + 4096);
    const auto want = expected_stream(b8);
    for (size_t i = 0; i < 4096; ++i) ASSERT_EQ(stream[i], want[i]) << "workbook stream byte " << i;
}

TEST_P(jet_template, property_sets_hold_the_listed_properties) {
    const int version = GetParam();
    const auto& img = jet_template_image(version);
    const std::vector<uint8_t> si(img.begin() + 512 + 8 * 512, img.begin() + 512 + 16 * 512);
    const std::vector<uint8_t> dsi(img.begin() + 512 + 16 * 512, img.begin() + 512 + 24 * 512);
    const uint8_t fmt_si[16] = {0xE0, 0x85, 0x9F, 0xF2, 0xF9, 0x4F, 0x68, 0x10,
                                0xAB, 0x91, 0x08, 0x00, 0x2B, 0x27, 0xB3, 0xD9};
    const uint8_t fmt_dsi[16] = {0x02, 0xD5, 0xCD, 0xD5, 0x9C, 0x2E, 0x1B, 0x10,
                                 0x93, 0x97, 0x08, 0x00, 0x2B, 0x2C, 0xF9, 0xAE};
    auto p = properties(si, fmt_si);
    EXPECT_EQ(p.size(), 7u);
    EXPECT_EQ(p[1].first, 2);
    EXPECT_EQ(tk::get_u16(p[1].second.data()), 1251);
    EXPECT_EQ(lpstr(p[4].second), "Vorrant");
    EXPECT_EQ(lpstr(p[8].second), "Vorrant");
    EXPECT_EQ(lpstr(p[18].second), "Microsoft Excel");
    EXPECT_EQ(p[12].first, 64);
    EXPECT_EQ(p[13].first, 64);
    EXPECT_EQ(p[19].first, 3);
    EXPECT_EQ(u32(p[19].second, 0), 0u);

    auto d = properties(dsi, fmt_dsi);
    EXPECT_EQ(d.size(), version == 1 ? 9u : 6u);
    EXPECT_EQ(tk::get_u16(d[1].second.data()), 1251);
    EXPECT_FALSE(lpstr(d[15].second).empty());
    EXPECT_EQ(d[11].first, 11);
    EXPECT_EQ(tk::get_u16(d[11].second.data()), 0);
    EXPECT_EQ(tk::get_u16(d[16].second.data()), 0);
    EXPECT_EQ(d[13].first, 0x101E);
    EXPECT_EQ(u32(d[13].second, 0), 1u);
    EXPECT_EQ(std::string(d[13].second.begin() + 8, d[13].second.begin() + 14), "Sheet1");
    EXPECT_EQ(d[12].first, 0x100C);
    EXPECT_EQ(u32(d[12].second, 0), 2u);
    EXPECT_EQ(std::string(d[12].second.begin() + 12, d[12].second.begin() + 22), "Worksheets");
    if (version == 1) {
        EXPECT_EQ(u32(d[23].second, 0), 592544u);
        EXPECT_EQ(d[22].first, 11);
        EXPECT_EQ(d[19].first, 11);
    }
}

TEST_P(jet_template, readers_open_the_empty_workbook) {
    const int version = GetParam();
    jet_test::temp_dir dir;
    const std::string path = dir.file("empty.xls");
    jet_test::spill(path, jet_template_image(version));
    const jet_rbook b = jet_read_book(path);
    EXPECT_TRUE(b.problems.empty()) << b.problems.front();
    ASSERT_EQ(b.sheets.size(), 1u);
    EXPECT_EQ(b.sheets[0].name, u"Sheet1");
    EXPECT_EQ(b.sheets[0].pos, version == 1 ? 0x058Cu : 0x05A5u);
    EXPECT_TRUE(b.sheets[0].cells.empty());
    EXPECT_EQ(b.fonts.size(), 5u);
    EXPECT_EQ(b.xfs.size(), 21u);
    std::string raw;
    const auto x = jet_test::from_xlrd(path, &raw, true);
    ASSERT_EQ(x.size(), 1u);
    EXPECT_EQ(x[0].name, u"Sheet1");
    EXPECT_TRUE(x[0].cells.empty());
}

INSTANTIATE_TEST_SUITE_P(versions, jet_template, ::testing::Values(0, 1));
