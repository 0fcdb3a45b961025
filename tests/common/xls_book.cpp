#include "xls_book.h"

#include <algorithm>
#include <fstream>
#include <map>
#include <stdexcept>

#include "TK/tk_coding.h"
#include "TK/tk_sink.h"
#include "jet/jet_tmpl.h"
#include "stg/stg_file.h"
#include "stg/stg_write.h"

namespace xls_test {
namespace {

constexpr uint16_t k_bof = 0x0809, k_eof = 0x000A, k_font = 0x0031, k_xf = 0x00E0,
                   k_boundsheet = 0x0085, k_index = 0x020B, k_dbcell = 0x00D7, k_row = 0x0208,
                   k_defcolwidth = 0x0055, k_dimensions = 0x0200, k_window2 = 0x023E,
                   k_country = 0x008C;

void rec(std::vector<uint8_t>& out, uint16_t id, const std::vector<uint8_t>& body) {
    tk::append_u16(out, id);
    tk::append_u16(out, static_cast<uint16_t>(body.size()));
    out.insert(out.end(), body.begin(), body.end());
}

std::vector<uint8_t> bof_body(int version, uint16_t type) {
    std::vector<uint8_t> b;
    tk::append_u16(b, version == 1 ? 0x0600 : 0x0500);
    tk::append_u16(b, type);
    tk::append_u16(b, 0x1D5F);
    tk::append_u16(b, 1997);
    if (version == 1) {
        tk::append_u32(b, 0x40C1);
        tk::append_u32(b, 0x0106);
    }
    return b;
}

std::vector<uint8_t> boundsheet_body(int version, const std::string& name) {
    std::vector<uint8_t> b;
    tk::append_u32(b, 0);  // BOF position, set later
    tk::append_u8(b, 0);
    tk::append_u8(b, 0);
    tk::append_u8(b, static_cast<uint8_t>(name.size()));
    if (version == 1)
        tk::append_u8(b, 0);
    tk::append_bytes(b, name.data(), name.size());
    return b;
}

// Appends one worksheet substream and fills the layout's cell offsets.
void build_sheet(std::vector<uint8_t>& out, int version, const sheet_spec& sheet,
                 std::vector<uint64_t>& cell_xf, std::vector<uint64_t>& dbcells) {
    std::map<uint16_t, std::vector<size_t>> rows;  // row -> cell indexes
    for (size_t i = 0; i < sheet.cells.size(); ++i) rows[sheet.cells[i].row].push_back(i);
    std::vector<uint16_t> row_ids;
    for (const auto& r : rows) row_ids.push_back(r.first);
    const size_t blocks = (row_ids.size() + 31) / 32;

    rec(out, k_bof, bof_body(version, 0x0010));
    const size_t index_at = out.size();
    {
        std::vector<uint8_t> b;
        tk::append_u32(b, 0);
        uint32_t first = row_ids.empty() ? 0 : row_ids.front();
        uint32_t last = row_ids.empty() ? 0 : row_ids.back() + 1u;
        if (version == 1) {
            tk::append_u32(b, first);
            tk::append_u32(b, last);
        } else {
            tk::append_u16(b, static_cast<uint16_t>(first));
            tk::append_u16(b, static_cast<uint16_t>(last));
        }
        tk::append_u32(b, 0);  // DEFCOLWIDTH position
        for (size_t i = 0; i < blocks; ++i) tk::append_u32(b, 0);
        rec(out, k_index, b);
    }
    const size_t index_body = index_at + 4;
    const size_t dbcell_list = index_body + (version == 1 ? 16 : 12);
    tk::put_u32(out.data() + dbcell_list - 4, static_cast<uint32_t>(out.size()));
    rec(out, k_defcolwidth, {8, 0});
    {
        std::vector<uint8_t> b;
        if (version == 1) {
            tk::append_u32(b, 0);
            tk::append_u32(b, row_ids.empty() ? 0 : row_ids.back() + 1u);
        } else {
            tk::append_u16(b, 0);
            tk::append_u16(b, row_ids.empty() ? 0 : static_cast<uint16_t>(row_ids.back() + 1));
        }
        tk::append_u16(b, 0);
        tk::append_u16(b, 16);
        tk::append_u16(b, 0);
        rec(out, k_dimensions, b);
    }
    cell_xf.assign(sheet.cells.size(), 0);
    for (size_t blk = 0; blk < blocks; ++blk) {
        const size_t lo = blk * 32, hi = std::min(row_ids.size(), lo + 32);
        const size_t first_row_rec = out.size();
        for (size_t r = lo; r < hi; ++r) {
            std::vector<uint8_t> b;
            tk::append_u16(b, row_ids[r]);
            tk::append_u16(b, 0);
            tk::append_u16(b, 16);
            tk::append_u16(b, 255);
            tk::append_u16(b, 0);
            tk::append_u16(b, 0);
            tk::append_u32(b, 0x00000100);
            rec(out, k_row, b);
        }
        const size_t second_row_rec = first_row_rec + 20;  // each ROW record is 20 bytes
        std::vector<uint16_t> offsets;
        size_t prev_first_cell = second_row_rec;
        for (size_t r = lo; r < hi; ++r) {
            const size_t first_cell = out.size();
            offsets.push_back(static_cast<uint16_t>(first_cell - prev_first_cell));
            prev_first_cell = first_cell;
            for (size_t ci : rows[row_ids[r]]) {
                const cell_spec& c = sheet.cells[ci];
                std::vector<uint8_t> b;
                tk::append_u16(b, c.row);
                tk::append_u16(b, c.col);
                tk::append_u16(b, c.xf);
                b.insert(b.end(), c.extra.begin(), c.extra.end());
                cell_xf[ci] = out.size() + 8;
                rec(out, c.id, b);
            }
        }
        const size_t dbcell_at = out.size();
        std::vector<uint8_t> b;
        tk::append_u32(b, static_cast<uint32_t>(dbcell_at - first_row_rec));
        for (uint16_t o : offsets) tk::append_u16(b, o);
        rec(out, k_dbcell, b);
        tk::put_u32(out.data() + dbcell_list + 4 * blk, static_cast<uint32_t>(dbcell_at));
        dbcells.push_back(dbcell_at);
    }
    std::vector<uint8_t> w2(version == 1 ? 18 : 10, 0);
    tk::put_u16(w2.data(), 0x06B6);
    rec(out, k_window2, w2);
    rec(out, k_eof, {});
}

// The template's globals with its BOUNDSHEET replaced by ours and extra XF
// records (copies of XF 15) after the 21st.
void real_globals(std::vector<uint8_t>& out, const book_plan& plan,
                  std::vector<size_t>& boundsheets) {
    const std::vector<uint8_t> t = jet_template_stream(plan.version);
    size_t pos = 0;
    int xfs = 0;
    std::vector<uint8_t> xf15;
    for (;;) {
        uint16_t id = tk::get_u16(t.data() + pos), len = tk::get_u16(t.data() + pos + 2);
        std::vector<uint8_t> body(t.begin() + long(pos + 4), t.begin() + long(pos + 4 + len));
        pos += 4 + len;
        if (id == k_boundsheet) {
            for (const auto& s : plan.sheets) {
                boundsheets.push_back(out.size());
                rec(out, k_boundsheet, boundsheet_body(plan.version, s.name));
            }
            continue;
        }
        rec(out, id, body);
        if (id == k_xf && ++xfs == 16)
            xf15 = body;
        if (id == k_xf && xfs == 21) {
            for (int i = 21; i < plan.xfs; ++i) rec(out, k_xf, xf15);
        }
        if (id == k_eof)
            break;
    }
}

void synthetic_globals(std::vector<uint8_t>& out, const book_plan& plan,
                       std::vector<size_t>& boundsheets) {
    rec(out, k_bof, bof_body(plan.version, 0x0005));
    for (int i = 0; i < plan.fonts; ++i) {
        // Height 200, no flags, colour 0x7FFF, weight 400, then filler
        // that shows which bytes were rewritten, then a 5-letter name.
        std::vector<uint8_t> b = {0xC8, 0, 0, 0, 0xFF, 0x7F, 0x90, 0x01, 0, 0, 0, 0};
        b.push_back(static_cast<uint8_t>(0x30 + i));  // character set slot
        b.push_back(0);
        b.push_back(5);
        if (plan.version == 1)
            b.push_back(0);
        tk::append_bytes(b, "Arial", 5);
        rec(out, k_font, b);
    }
    for (int i = 0; i < plan.xfs; ++i) {
        std::vector<uint8_t> b(plan.version == 1 ? 20 : 16);
        for (size_t k = 0; k < b.size(); ++k) b[k] = static_cast<uint8_t>(0x80 + i + 3 * k);
        rec(out, k_xf, b);
    }
    if (!plan.no_boundsheet_end) {
        for (const auto& s : plan.sheets) {
            boundsheets.push_back(out.size());
            rec(out, k_boundsheet, boundsheet_body(plan.version, s.name));
        }
    }
    rec(out, k_country, {1, 0, 1, 0});
    if (plan.xf_after_boundsheets) {
        rec(out, k_font, std::vector<uint8_t>(20, 0x11));
        rec(out, k_xf, std::vector<uint8_t>(plan.version == 1 ? 20 : 16, 0x22));
    }
    rec(out, k_eof, {});
}

}  // namespace

cell_spec label(int version, uint16_t row, uint16_t col, const std::string& ascii, uint16_t xf) {
    cell_spec c{0x0204, row, col, xf, {}};
    tk::append_u16(c.extra, static_cast<uint16_t>(ascii.size()));
    if (version == 1)
        tk::append_u8(c.extra, 0);
    tk::append_bytes(c.extra, ascii.data(), ascii.size());
    return c;
}

cell_spec number(uint16_t row, uint16_t col, double v, uint16_t xf) {
    cell_spec c{0x0203, row, col, xf, std::vector<uint8_t>(8)};
    tk::put_f64(c.extra.data(), v);
    return c;
}

cell_spec blank(uint16_t row, uint16_t col, uint16_t xf) {
    return {0x0201, row, col, xf, {}};
}

std::vector<uint8_t> build_stream(const book_plan& plan, book_layout* layout) {
    std::vector<uint8_t> out;
    std::vector<size_t> boundsheets;
    if (plan.real_globals) {
        real_globals(out, plan, boundsheets);
    } else {
        synthetic_globals(out, plan, boundsheets);
    }
    book_layout l;
    // FONT and XF bodies of the globals (up to the first EOF).
    for (size_t pos = 0; pos + 4 <= out.size();) {
        uint16_t id = tk::get_u16(out.data() + pos), len = tk::get_u16(out.data() + pos + 2);
        if (id == k_font)
            l.font_body.push_back(pos + 4);
        if (id == k_xf)
            l.xf_body.push_back(pos + 4);
        pos += 4 + len;
    }
    for (size_t b : boundsheets) l.boundsheet.push_back(b + 4);
    for (size_t i = 0; i < plan.sheets.size(); ++i) {
        l.sheet_bof.push_back(out.size());
        if (i < boundsheets.size()) {
            tk::put_u32(out.data() + boundsheets[i] + 4, static_cast<uint32_t>(out.size()));
        }
        l.cell_xf.emplace_back();
        build_sheet(out, plan.version, plan.sheets[i], l.cell_xf.back(), l.dbcell);
    }
    if (layout)
        *layout = l;
    return out;
}

void write_book(const std::string& path, int version, const std::vector<uint8_t>& stream) {
    tk::file_sink sink(path);
    stg_writer w(sink);
    w.set_root_clsid(jet_root_clsid(version));
    w.add_stream(version == 1 ? u"Workbook" : u"Book", stream.data(), stream.size());
    const auto summary = jet_summary_info(version);
    w.add_stream(u"\x05SummaryInformation", summary.data(), summary.size());
    w.finish();
    sink.close();
}

std::vector<uint8_t> read_book(const std::string& path) {
    auto file = stg_file::open(path, false);
    auto s = file->open_stream(file->has_stream(u"Book") ? u"Book" : u"Workbook");
    std::vector<uint8_t> out(static_cast<size_t>(s->size()));
    s->read_at(0, out.data(), out.size());
    return out;
}

}  // namespace xls_test
