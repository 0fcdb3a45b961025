// The workbook globals substream of both format versions.
#include "TK/tk_utf.h"
#include "jet/biff_format.h"
#include "jet/jet_layout.h"
#include "jet/jet_out.h"

namespace jet_layout {
namespace {

const char* const k_user = "Brannock";

// Excel's texts for the built-in formats 5-8 and 41-44, in the order of the
// FORMAT records.
struct builtin_format {
    uint16_t index;
    const char* text;
};
const builtin_format k_formats[] = {
    {5, "\"$\"#,##0_);\\(\"$\"#,##0\\)"},
    {6, "\"$\"#,##0_);[Red]\\(\"$\"#,##0\\)"},
    {7, "\"$\"#,##0.00_);\\(\"$\"#,##0.00\\)"},
    {8, "\"$\"#,##0.00_);[Red]\\(\"$\"#,##0.00\\)"},
    {42, "_(\"$\"* #,##0_);_(\"$\"* \\(#,##0\\);_(\"$\"* \"-\"_);_(@_)"},
    {41, "_(* #,##0_);_(* \\(#,##0\\);_(* \"-\"_);_(@_)"},
    {44, "_(\"$\"* #,##0.00_);_(\"$\"* \\(#,##0.00\\);_(\"$\"* \"-\"??_);_(@_)"},
    {43, "_(* #,##0.00_);_(* \\(#,##0.00\\);_(* \"-\"??_);_(@_)"},
};

const uint32_t k_palette[56] = {
    0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0xFF00FF, 0x00FFFF,
    0x800000, 0x008000, 0x000080, 0x808000, 0x800080, 0x008080, 0xC0C0C0, 0x808080,
    0x9999FF, 0x993366, 0xFFFFCC, 0xCCFFFF, 0x660066, 0xFF8080, 0x0066CC, 0xCCCCFF,
    0x000080, 0xFF00FF, 0xFFFF00, 0x00FFFF, 0x800080, 0x800000, 0x008080, 0x0000FF,
    0x00CCFF, 0xCCFFFF, 0xCCFFCC, 0xFFFF99, 0x99CCFF, 0xFF99CC, 0xCC99FF, 0xE3E3E3,
    0x3366FF, 0x33CCCC, 0x99CC00, 0xFFCC00, 0xFF9900, 0xFF6600, 0x666699, 0x969696,
    0x003366, 0x339966, 0x003300, 0x333300, 0x993300, 0x993366, 0x333399, 0x333333,
};

void u16rec(std::vector<uint8_t>& out, uint16_t id, uint16_t v) {
    jet_rec(out, id).u16(v);
}

void font(std::vector<uint8_t>& out, int version) {
    jet_rec r(out, biff::k_font);
    r.u16(200).u16(0).u16(0x7FFF).u16(400).u16(0).u8(0).u8(0).u8(0).u8(0).u8(5);
    if (version == k_biff8) {
        r.u8(biff::k_str_16bit);
        for (char c : std::string("Arial")) r.u16(static_cast<uint16_t>(c));
    } else {
        r.bytes("Arial", 5);
    }
}

void format(std::vector<uint8_t>& out, int version, uint16_t index, const char* text) {
    const std::string s(text);
    jet_rec r(out, biff::k_format);
    r.u16(index);
    if (version == k_biff8) {
        r.u16(static_cast<uint16_t>(s.size())).u8(0);
    } else {
        r.u8(static_cast<uint8_t>(s.size()));
    }
    r.bytes(s.data(), s.size());
}

// An XF body from its font and format indexes and the bytes that follow.
void xf(std::vector<uint8_t>& out, uint16_t font_index, uint16_t fmt, const char* rest) {
    jet_rec(out, biff::k_xf).u16(font_index).u16(fmt).hex(rest);
}

void xfs(std::vector<uint8_t>& out, int version, bool driver) {
    const bool b8 = version == k_biff8;
    const char* style = b8 ? "F5 FF 20 00 00 F4 00 00 00 00 00 00 00 00 C0 20"
                           : "F5 FF 20 F4 C0 20 00 00 00 00 00 00";
    const char* cell = b8 ? "01 00 20 00 00 00 00 00 00 00 00 00 00 00 C0 20"
                          : "01 00 20 00 C0 20 00 00 00 00 00 00";
    xf(out, 0, 0,
       b8 ? "F5 FF 20 00 00 00 00 00 00 00 00 00 00 00 C0 20"
          : "F5 FF 20 00 C0 20 00 00 00 00 00 00");
    xf(out, 1, 0, style);
    xf(out, 1, 0, style);
    xf(out, 2, 0, style);
    xf(out, 2, 0, style);
    for (int i = 5; i <= 14; ++i) xf(out, 0, 0, style);
    xf(out, 0, 0, cell);
    const char* numstyle = b8 ? "F5 FF 20 00 00 F8 00 00 00 00 00 00 00 00 C0 20"
                              : "F5 FF 20 F8 C0 20 00 00 00 00 00 00";
    for (uint16_t fmt : {0x2B, 0x29, 0x2C, 0x2A, 0x09}) xf(out, 1, fmt, numstyle);
    if (!driver)
        return;
    // General cell XFs for numbers, texts and booleans, then the date cell
    // XFs (the "number format differs from the style" bit set).
    for (int i = 0; i < 3; ++i) xf(out, 0, 0, cell);
    const char* datecell = b8 ? "01 00 20 00 00 04 00 00 00 00 00 00 00 00 C0 20"
                              : "01 00 20 04 C0 20 00 00 00 00 00 00";
    xf(out, 0, k_fmt_date, datecell);
    xf(out, 0, k_fmt_datetime, datecell);
    xf(out, 0, k_fmt_datetime_ms, datecell);
}

void boundsheet(std::vector<uint8_t>& out, int version, const std::u16string& name, uint32_t pos) {
    jet_rec r(out, biff::k_boundsheet);
    r.u32(pos).u8(0).u8(0).u8(static_cast<uint8_t>(name.size()));
    if (version == k_biff8) {
        r.u8(0);
        for (char16_t c : name) r.u8(static_cast<uint8_t>(c));
    } else {
        const std::string b = tk::utf16_to_cp1252(name);
        r.bytes(b.data(), b.size());
    }
}

}  // namespace

void globals(std::vector<uint8_t>& out, const globals_options& o) {
    const bool b8 = o.version == k_biff8;
    bof(out, o.version, biff::k_bof_globals);
    if (b8) {
        u16rec(out, biff::k_interfacehdr, 1200);
    } else {
        jet_rec(out, biff::k_interfacehdr);
    }
    u16rec(out, biff::k_mms, 0);
    if (!b8) {
        jet_rec(out, biff::k_toolbarhdr);
        jet_rec(out, biff::k_toolbarend);
    }
    jet_rec(out, biff::k_interfaceend);
    {
        jet_rec r(out, biff::k_writeaccess);
        const std::string user(k_user);
        if (b8) {
            r.u16(static_cast<uint16_t>(user.size())).u8(0);
        } else {
            r.u8(static_cast<uint8_t>(user.size()));
        }
        r.bytes(user.data(), user.size());
        while (r.body_size() < 112) r.u8(' ');
    }
    u16rec(out, biff::k_codepage, b8 ? 1200 : o.codepage);
    if (b8) {
        u16rec(out, biff::k_dsf, 0);
        jet_rec(out, biff::k_excel9file);
        u16rec(out, biff::k_tabid, 1);
    }
    u16rec(out, biff::k_fngroupcount, 14);
    u16rec(out, biff::k_windowprotect, 0);
    u16rec(out, biff::k_protect, 0);
    u16rec(out, biff::k_password, 0);
    if (b8) {
        u16rec(out, biff::k_prot4rev, 0);
        u16rec(out, biff::k_prot4revpass, 0);
    }
    jet_rec(out, biff::k_window1)
        .u16(120)
        .u16(60)
        .u16(15180)
        .u16(9345)
        .u16(0x0038)
        .u16(0)
        .u16(0)
        .u16(1)
        .u16(600);
    u16rec(out, biff::k_backup, 0);
    u16rec(out, biff::k_hideobj, 0);
    u16rec(out, biff::k_datemode, 0);
    u16rec(out, biff::k_precision, 1);
    u16rec(out, biff::k_refreshall, 0);
    u16rec(out, biff::k_bookbool, 0);
    // Five FONT records: font index 4 is reserved in BIFF (indexes 0-3 are
    // the first four records, 5 and up the record of that number counted from
    // 1), so the header format names index 5, the fifth record, which the
    // patch makes bold. Readers disagree on what index 4 means.
    for (int i = 0; i < biff::k_font_count; ++i) font(out, o.version);
    for (const auto& f : k_formats) format(out, o.version, f.index, f.text);
    if (o.driver_formats) {
        format(out, o.version, k_fmt_date, k_fmt_date_text);
        format(out, o.version, k_fmt_datetime, k_fmt_datetime_text);
        format(out, o.version, k_fmt_datetime_ms, k_fmt_datetime_ms_text);
    }
    xfs(out, o.version, o.driver_formats);
    const struct {
        uint16_t xf;
        uint8_t id;
    } styles[] = {{16, 3}, {17, 6}, {18, 4}, {19, 7}, {0, 0}, {20, 5}};
    for (const auto& s : styles) jet_rec(out, biff::k_style).u16(0x8000 | s.xf).u8(s.id).u8(0xFF);
    if (b8) {
        u16rec(out, biff::k_useselfs, 0);
    } else {
        jet_rec r(out, biff::k_palette);
        r.u16(56);
        for (uint32_t c : k_palette) r.u8(c >> 16 & 0xFF).u8(c >> 8 & 0xFF).u8(c & 0xFF).u8(0);
    }
    for (const auto& name : o.sheets) boundsheet(out, o.version, name, o.sheet_pos);
    if (b8) {
        jet_rec(out, biff::k_country).u16(1).u16(1);
        jet_rec(out, biff::k_recalcid).u32(0x000001C1).u32(0x00016960);
        jet_rec(out, biff::k_sst).u32(0).u32(0);
        u16rec(out, biff::k_extsst, biff::k_extsst_bucket);
    }
    jet_rec(out, biff::k_eof);
}

}  // namespace jet_layout
