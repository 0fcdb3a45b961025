// Reading workbook globals into a jet_gmodel, and choosing (or adding) the
// cell XF records the driver's cells use.
#include <algorithm>
#include <cstring>

#include "TK/tk_coding.h"
#include "TK/tk_cpage.h"
#include "TK/tk_utf.h"
#include "jet/biff_format.h"
#include "jet/jet_error.h"
#include "jet/jet_gmodel.h"
#include "jet/jet_layout.h"
#include "jet/jet_out.h"
#include "jet/jet_recrd.h"

namespace {

jet_error bad() {
    return jet_error::make(jet_errno::bad_format);
}

struct xf_info {
    uint16_t font, fmt;
    bool style;
};

struct format_info {
    uint16_t index;
    std::u16string text;
};

// A BIFF8 unicode string with a count of `count_bytes` bytes at p;
// advances p. False when it does not fit in [p, end).
bool read_ustring(const uint8_t*& p, const uint8_t* end, size_t count_bytes, std::u16string& s) {
    if (static_cast<size_t>(end - p) < count_bytes + 1)
        return false;
    const size_t n = count_bytes == 1 ? p[0] : tk::get_u16(p);
    const uint8_t opt = p[count_bytes];
    p += count_bytes + 1;
    size_t skip = 0;
    if (opt & biff::k_str_rich) {
        if (end - p < 2)
            return false;
        skip += 4 * size_t(tk::get_u16(p));
        p += 2;
    }
    if (opt & biff::k_str_phonetic) {
        if (end - p < 4)
            return false;
        skip += tk::get_u32(p);
        p += 4;
    }
    const size_t unit = (opt & biff::k_str_16bit) ? 2 : 1;
    if (static_cast<size_t>(end - p) < n * unit)
        return false;
    s.resize(n);
    for (size_t i = 0; i < n; ++i) s[i] = unit == 2 ? tk::get_u16(p + 2 * i) : p[i];
    p += n * unit;
    if (static_cast<size_t>(end - p) < skip)
        return false;
    p += skip;
    return true;
}

// An 8-bit (BIFF5) text in the workbook's code page (Windows-1252 when the
// workbook names none or one this system does not know).
std::u16string text8(uint16_t codepage, const uint8_t* p, size_t n) {
    tk_codepage cp(tk_codepage_supported(codepage) ? codepage : 1252);
    return cp.decode(std::string_view(reinterpret_cast<const char*>(p), n));
}

jet_gsheet parse_boundsheet(int version, uint16_t codepage, const uint8_t* b, size_t n) {
    jet_gsheet s;
    if (n < 7)
        throw bad();
    s.old_pos = tk::get_u32(b);
    s.type = b[5];
    s.body.assign(b, b + n);
    const uint8_t* p = b + 6;
    if (version == jet_layout::k_biff8) {
        if (!read_ustring(p, b + n, 1, s.name))
            throw bad();
    } else {
        const size_t len = p[0];
        if (n < 7 + len)
            throw bad();
        s.name = text8(codepage, p + 1, len);
    }
    if (s.name.empty())
        throw bad();
    return s;
}

std::u16string parse_format(int version, uint16_t codepage, const uint8_t* b, size_t n,
                            uint16_t& index) {
    std::u16string text;
    if (n < 3)
        return text;
    index = tk::get_u16(b);
    const uint8_t* p = b + 2;
    if (version == jet_layout::k_biff8) {
        if (!read_ustring(p, b + n, 2, text))
            text.clear();
    } else if (n >= 3u + p[0]) {
        text = text8(codepage, p + 1, p[0]);
    }
    return text;
}

// Adds a record to the model's bytes and returns its entry.
jet_grec add_bytes(jet_gmodel& m, const std::vector<uint8_t>& rec) {
    jet_grec g{jet_grec::copy, static_cast<uint32_t>(m.bytes.size()),
               static_cast<uint32_t>(rec.size())};
    m.bytes.insert(m.bytes.end(), rec.begin(), rec.end());
    return g;
}

bool is_cell_general(const std::vector<xf_info>& xfs, size_t i) {
    return i < xfs.size() && i != biff::k_xf_header && !xfs[i].style && xfs[i].fmt == 0;
}

// Picks the driver's cell XFs among those of the workbook, adding FORMAT
// and XF records where the workbook has none that fit. Added XFs go after
// the last XF record, so no existing index changes.
void choose_xfs(jet_gmodel& m, std::vector<xf_info>& xfs, std::vector<format_info>& fmts,
                size_t last_xf_rec, size_t last_fmt_rec) {
    const bool b8 = m.version == jet_layout::k_biff8;
    std::vector<std::vector<uint8_t>> new_fmts, new_xfs;
    auto add_xf = [&](uint16_t fmt) {
        std::vector<uint8_t> r;
        {
            jet_rec x(r, biff::k_xf);
            x.u16(0).u16(fmt);
            const char* gen = b8 ? "01 00 20 00 00 00 00 00 00 00 00 00 00 00 C0 20"
                                 : "01 00 20 00 C0 20 00 00 00 00 00 00";
            const char* date = b8 ? "01 00 20 00 00 04 00 00 00 00 00 00 00 00 C0 20"
                                  : "01 00 20 04 C0 20 00 00 00 00 00 00";
            x.hex(fmt == 0 ? gen : date);
        }
        new_xfs.push_back(std::move(r));
        xfs.push_back({0, fmt, false});
        return static_cast<uint16_t>(xfs.size() - 1);
    };

    // General cell XFs: the driver's own at 21-23, else any General cell
    // XF (never XF 16), else a new one.
    uint16_t* roles[] = {&m.xf_number, &m.xf_text, &m.xf_boolean};
    int fallback = -1;
    for (size_t i : {size_t(biff::k_xf_default_cell), size_t(0)}) {
        if (is_cell_general(xfs, i)) {
            fallback = static_cast<int>(i);
            break;
        }
    }
    for (size_t i = 0; fallback < 0 && i < xfs.size(); ++i)
        if (is_cell_general(xfs, i))
            fallback = static_cast<int>(i);
    for (int r = 0; r < 3; ++r) {
        const size_t want = jet_layout::k_xf_number + r;
        if (is_cell_general(xfs, want)) {
            *roles[r] = static_cast<uint16_t>(want);
        } else {
            if (fallback < 0)
                fallback = add_xf(0);
            *roles[r] = static_cast<uint16_t>(fallback);
        }
    }

    // Date cell XFs: a cell XF with the driver's date format, at an index
    // the header patch leaves alone (25th record on in BIFF8).
    uint16_t max_fmt = 163;
    for (const auto& f : fmts) max_fmt = std::max(max_fmt, f.index);
    auto date_xf = [&](const char* text) -> uint16_t {
        const std::u16string t = tk::ascii_to_utf16(text);
        int fmt = -1;
        for (const auto& f : fmts)
            if (f.text == t)
                fmt = f.index;
        if (fmt < 0) {
            fmt = ++max_fmt;
            std::vector<uint8_t> r;
            {
                jet_rec x(r, biff::k_format);
                x.u16(static_cast<uint16_t>(fmt));
                if (b8) {
                    x.u16(static_cast<uint16_t>(t.size())).u8(0);
                } else {
                    x.u8(static_cast<uint8_t>(t.size()));
                }
                x.bytes(text, t.size());
            }
            new_fmts.push_back(std::move(r));
            fmts.push_back({static_cast<uint16_t>(fmt), t});
        }
        const size_t from = b8 ? biff::k_xf_first_date : biff::k_xf_first_extra;
        for (size_t i = from; i < xfs.size(); ++i)
            if (!xfs[i].style && xfs[i].fmt == fmt)
                return static_cast<uint16_t>(i);
        // A new date XF must not fall among the records the header patch
        // rewrites (up to the 24th in BIFF8): pad with General cell XFs.
        while (xfs.size() < from) add_xf(0);
        return add_xf(static_cast<uint16_t>(fmt));
    };
    m.xf_date = date_xf(jet_layout::k_fmt_date_text);
    m.xf_datetime = date_xf(jet_layout::k_fmt_datetime_text);
    m.xf_datetime_ms = date_xf(jet_layout::k_fmt_datetime_ms_text);

    // Splice the new records in: formats after the last FORMAT (or before
    // the first XF), XFs after the last XF.
    std::vector<jet_grec> f_recs, x_recs;
    for (const auto& r : new_fmts) f_recs.push_back(add_bytes(m, r));
    for (const auto& r : new_xfs) x_recs.push_back(add_bytes(m, r));
    const size_t xf_at = last_xf_rec + 1;
    if (xf_at >= last_fmt_rec) {
        m.recs.insert(m.recs.begin() + xf_at, x_recs.begin(), x_recs.end());
        m.recs.insert(m.recs.begin() + last_fmt_rec, f_recs.begin(), f_recs.end());
    } else {
        m.recs.insert(m.recs.begin() + last_fmt_rec, f_recs.begin(), f_recs.end());
        m.recs.insert(m.recs.begin() + xf_at, x_recs.begin(), x_recs.end());
    }
}

uint16_t rec_id(const jet_gmodel& m, const jet_grec& r) {
    return r.kind == jet_grec::copy ? tk::get_u16(m.bytes.data() + r.off) : 0;
}

// Where BOUNDSHEET records go in globals that have none: before the
// records that follow them in Excel's order.
size_t boundsheet_spot(const jet_gmodel& m) {
    for (size_t i = 1; i < m.recs.size(); ++i) {
        if (m.recs[i].kind == jet_grec::sst)
            return i;
        switch (rec_id(m, m.recs[i])) {
            case biff::k_country:
            case biff::k_recalcid:
            case biff::k_supbook:
            case biff::k_externsheet:
            case biff::k_name:
            case biff::k_eof:
                return i;
            default:
                break;
        }
    }
    return m.recs.size() - 1;
}

}  // namespace

void jet_parse_globals(jet_rec_reader& rd, int version, jet_gmodel& m) {
    const bool b8 = version == jet_layout::k_biff8;
    m.version = version;
    if (!rd.next() || rd.id() != biff::k_bof || rd.len() < 4)
        throw bad();
    if (tk::get_u16(rd.body()) != (b8 ? biff::k_bof_biff8 : biff::k_bof_biff5) ||
        tk::get_u16(rd.body() + 2) != biff::k_bof_globals)
        throw bad();

    std::vector<xf_info> xfs;
    std::vector<format_info> fmts;
    std::unique_ptr<jet_sst_reader> sst;
    bool in_sst = false, seen_sst = false, seen_eof = false, seen_font = false;
    size_t last_xf_rec = SIZE_MAX, first_xf_rec = SIZE_MAX, last_fmt_rec = SIZE_MAX;
    size_t boundsheets_at = SIZE_MAX;

    auto copy = [&] {
        m.recs.push_back({jet_grec::copy, static_cast<uint32_t>(m.bytes.size()), 4u + rd.len()});
        m.bytes.insert(m.bytes.end(), rd.raw(), rd.raw() + 4 + rd.len());
    };
    copy();  // BOF
    while (!seen_eof) {
        if (!rd.next())
            throw bad();
        const uint16_t id = rd.id();
        const uint8_t* b = rd.body();
        const size_t n = rd.len();
        if (id != biff::k_continue)
            in_sst = false;
        switch (id) {
            case biff::k_eof:
                copy();
                seen_eof = true;
                break;
            case biff::k_filepass:
                throw bad();  // encrypted
            case biff::k_codepage:
                if (n >= 2)
                    m.codepage = tk::get_u16(b);
                copy();
                break;
            case biff::k_datemode:
                m.date1904 = n >= 2 && tk::get_u16(b) != 0;
                copy();
                break;
            case biff::k_boundsheet:
                if (boundsheets_at == SIZE_MAX) {
                    boundsheets_at = m.recs.size();
                    m.recs.push_back({jet_grec::boundsheets, 0, 0});
                }
                m.sheets.push_back(parse_boundsheet(version, m.codepage, b, n));
                break;
            case biff::k_tabid:
                if (b8) {
                    m.recs.push_back({jet_grec::tabid, 0, 0});
                } else {
                    copy();
                }
                break;
            case biff::k_sst:
                if (!b8 || seen_sst)
                    throw bad();
                seen_sst = in_sst = true;
                m.recs.push_back({jet_grec::sst, 0, 0});
                sst = std::make_unique<jet_sst_reader>(m.sst);
                sst->feed(b, n);
                break;
            case biff::k_continue:
                if (in_sst) {
                    sst->feed(b, n);
                } else {
                    copy();
                }
                break;
            case biff::k_extsst:
                if (!b8)
                    copy();  // regenerated with the SST
                break;
            case biff::k_externsheet:
            case biff::k_name:
                m.sheet_refs = true;
                copy();
                break;
            case biff::k_font:
                seen_font = true;
                copy();
                break;
            case biff::k_format: {
                uint16_t index = 0;
                std::u16string text = parse_format(version, m.codepage, b, n, index);
                fmts.push_back({index, std::move(text)});
                copy();
                last_fmt_rec = m.recs.size();
                break;
            }
            case biff::k_xf:
                if (n < 6)
                    throw bad();
                xfs.push_back({tk::get_u16(b), tk::get_u16(b + 2), (tk::get_u16(b + 4) & 4) != 0});
                if (first_xf_rec == SIZE_MAX)
                    first_xf_rec = m.recs.size();
                copy();
                last_xf_rec = m.recs.size() - 1;
                break;
            default:
                copy();
                break;
        }
    }
    if (sst)
        sst->finish();
    m.end = rd.end();
    if (!seen_font || xfs.empty())
        throw bad();

    if (last_fmt_rec == SIZE_MAX)
        last_fmt_rec = first_xf_rec;
    choose_xfs(m, xfs, fmts, last_xf_rec, last_fmt_rec);
    // Globals without an SST get the driver's before EOF; without sheets
    // (a new workbook), the BOUNDSHEET records get their place.
    if (b8 && !seen_sst)
        m.recs.insert(m.recs.end() - 1, {jet_grec::sst, 0, 0});
    if (boundsheets_at == SIZE_MAX)
        m.recs.insert(m.recs.begin() + boundsheet_spot(m), {jet_grec::boundsheets, 0, 0});
}
