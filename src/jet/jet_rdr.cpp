#include "jet/jet_rdr.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>

#include "TK/tk_coding.h"
#include "TK/tk_cpage.h"
#include "TK/tk_utf.h"
#include "jet/biff_format.h"
#include "jet/jet_conv.h"
#include "jet/jet_error.h"
#include "jet/jet_recrd.h"
#include "jet/jet_sst.h"
#include "stg/stg_file.h"

namespace {

struct rec {
    uint64_t pos;
    uint16_t id, len;
};

bool is_cell(uint16_t id) {
    switch (id) {
        case biff::k_blank:
        case biff::k_number:
        case biff::k_label:
        case biff::k_boolerr:
        case biff::k_rk:
        case biff::k_labelsst:
        case biff::k_mulrk:
        case biff::k_mulblank:
        case biff::k_rstring:
        case biff::k_formula:
            return true;
        default:
            return false;
    }
}

std::string hex(uint64_t v) {
    char b[24];
    std::snprintf(b, sizeof b, "0x%llX", static_cast<unsigned long long>(v));
    return b;
}

class reader {
  public:
    reader(jet_rbook& book, stg_stream& st) : b_(book), st_(st) {}
    void globals();
    void sheet(jet_rsheet& s);

  private:
    void problem(const std::string& what) { b_.problems.push_back(what); }
    // An 8-bit text in the workbook's code page (1252 when it names none
    // this system knows).
    std::u16string text8(const uint8_t* p, size_t n) {
        const int want = tk_codepage_supported(b_.codepage) ? b_.codepage : 1252;
        if (!cp_ || cp_->number() != want)
            cp_ = std::make_unique<tk_codepage>(want);
        return cp_->decode(std::string_view(reinterpret_cast<const char*>(p), n));
    }
    void cell(jet_rsheet& s, const jet_rec_reader& rd);
    void check_blocks(jet_rsheet& s, const std::vector<rec>& recs,
                      const std::vector<size_t>& cell_rec);

    jet_rbook& b_;
    stg_stream& st_;
    std::unique_ptr<tk_codepage> cp_;
};

void reader::globals() {
    const bool b8 = b_.version == 1;
    const size_t max_body = b8 ? biff::k_max_body_biff8 : biff::k_max_body_biff5;
    jet_rec_reader rd([this](uint64_t o, void* p, size_t n) { return st_.read_at(o, p, n); },
                      st_.size());
    jet_sst sst;
    jet_sst_reader sst_rd(sst);
    std::vector<std::pair<uint32_t, uint32_t>> starts;
    sst_rd.starts = &starts;
    std::vector<uint64_t> sst_recs;  // stream positions of SST and its CONTINUEs
    std::vector<uint8_t> extsst;
    bool in_sst = false, seen_sst = false;
    while (rd.next()) {
        const uint16_t id = rd.id();
        const uint8_t* p = rd.body();
        const size_t n = rd.len();
        b_.globals.push_back(id);
        if (n > max_body)
            problem("globals record " + hex(id) + " longer than a record may be");
        if (b_.globals.size() == 1 && id != biff::k_bof)
            throw jet_error::make(jet_errno::bad_format);
        if (id != biff::k_continue)
            in_sst = false;
        if (id == biff::k_eof)
            break;
        switch (id) {
            case biff::k_codepage:
                if (n >= 2)
                    b_.codepage = tk::get_u16(p);
                break;
            case biff::k_font:
                b_.fonts.emplace_back(p, p + n);
                break;
            case biff::k_xf:
                b_.xfs.emplace_back(p, p + n);
                break;
            case biff::k_format: {
                if (n < 3)
                    break;
                std::u16string t;
                if (b8 && n >= 5) {
                    const size_t cch = tk::get_u16(p + 2);
                    const bool wide = p[4] & 1;
                    for (size_t i = 0; i < cch && 5 + (i + 1) * (wide ? 2 : 1) <= n; ++i)
                        t.push_back(wide ? tk::get_u16(p + 5 + 2 * i) : p[5 + i]);
                } else if (!b8 && n >= 3u + p[2]) {
                    t = text8(p + 3, p[2]);
                }
                b_.formats.emplace_back(tk::get_u16(p), t);
                break;
            }
            case biff::k_boundsheet: {
                jet_rsheet s;
                if (n < 7)
                    throw jet_error::make(jet_errno::bad_format);
                s.pos = tk::get_u32(p);
                s.visibility = p[4];
                s.type = p[5];
                if (b8) {
                    const size_t cch = p[6];
                    const bool wide = n > 7 && (p[7] & 1);
                    for (size_t i = 0; i < cch && 8 + (i + 1) * (wide ? 2 : 1) <= n; ++i)
                        s.name.push_back(wide ? tk::get_u16(p + 8 + 2 * i) : p[8 + i]);
                } else {
                    s.name = text8(p + 7, std::min<size_t>(p[6], n - 7));
                }
                b_.sheets.push_back(std::move(s));
                break;
            }
            case biff::k_sst:
                seen_sst = in_sst = true;
                sst_recs.push_back(rd.pos());
                sst_rd.feed(p, n);
                break;
            case biff::k_continue:
                if (in_sst) {
                    sst_recs.push_back(rd.pos());
                    sst_rd.feed(p, n);
                }
                break;
            case biff::k_extsst:
                extsst.assign(p, p + n);
                break;
            default:
                break;
        }
    }
    if (seen_sst) {
        sst_rd.finish();
        if (sst_rd.header_splits)
            problem("SST string split before its first character");
        b_.sst_total = sst.total();
        for (uint32_t i = 0; i < sst.unique(); ++i) b_.sst.push_back(sst.text(i));
        // EXTSST: one bucket per `per` strings, each at its string's start.
        if (extsst.size() < 2) {
            problem("SST without EXTSST");
        } else {
            const size_t per = tk::get_u16(extsst.data());
            const size_t buckets = per ? (sst.unique() + per - 1) / per : 0;
            if (per < 8 || extsst.size() != 2 + 8 * buckets) {
                problem("EXTSST bucket count");
            } else {
                for (size_t k = 0; k < buckets; ++k) {
                    const auto& s = starts[k * per];
                    const uint64_t at = sst_recs[s.first] + 4 + s.second;
                    if (tk::get_u32(extsst.data() + 2 + 8 * k) != at ||
                        tk::get_u16(extsst.data() + 6 + 8 * k) != 4 + s.second)
                        problem("EXTSST bucket " + std::to_string(k) +
                                " does not point at its string");
                }
            }
        }
    } else if (b8) {
        problem("BIFF8 workbook without SST");
    }
}

void reader::cell(jet_rsheet& s, const jet_rec_reader& rd) {
    const uint8_t* p = rd.body();
    const size_t n = rd.len();
    const uint16_t id = rd.id();
    if (n < 6) {
        problem("short cell record");
        return;
    }
    jet_rcell c;
    c.row = tk::get_u16(p);
    c.col = tk::get_u16(p + 2);
    c.record = id;
    if (id == biff::k_mulrk || id == biff::k_mulblank) {
        const size_t each = id == biff::k_mulrk ? 6 : 2;
        for (size_t off = 4; off + each + 2 <= n; off += each, ++c.col) {
            c.xf = tk::get_u16(p + off);
            if (id == biff::k_mulrk) {
                c.k = jet_rcell::kind::number;
                c.number = jet_rk_decode(tk::get_u32(p + off + 2));
            }
            s.cells.push_back(c);
        }
        return;
    }
    c.xf = tk::get_u16(p + 4);
    switch (id) {
        case biff::k_number:
            if (n >= 14)
                c.number = tk::get_f64(p + 6);
            c.k = jet_rcell::kind::number;
            break;
        case biff::k_rk:
            if (n >= 10)
                c.number = jet_rk_decode(tk::get_u32(p + 6));
            c.k = jet_rcell::kind::number;
            break;
        case biff::k_labelsst: {
            const uint32_t i = n >= 10 ? tk::get_u32(p + 6) : UINT32_MAX;
            if (i >= b_.sst.size()) {
                problem("LABELSST index past the SST");
            } else {
                c.text = b_.sst[i];
            }
            c.k = jet_rcell::kind::text;
            break;
        }
        case biff::k_label:
        case biff::k_rstring: {
            c.k = jet_rcell::kind::text;
            if (n < 8)
                break;
            const size_t len = tk::get_u16(p + 6);
            if (b_.version == 1) {
                const bool wide = n > 8 && (p[8] & 1);
                for (size_t i = 0; i < len && 9 + (i + 1) * (wide ? 2 : 1) <= n; ++i)
                    c.text.push_back(wide ? tk::get_u16(p + 9 + 2 * i) : p[9 + i]);
            } else {
                if (8 + len > n)
                    problem("LABEL text past its record");
                c.text = text8(p + 8, std::min(len, n - 8));
            }
            break;
        }
        case biff::k_boolerr:
            c.k = n >= 8 && p[7] ? jet_rcell::kind::error : jet_rcell::kind::boolean;
            c.boolean = n >= 7 && p[6];
            break;
        case biff::k_formula:
            c.k = jet_rcell::kind::number;
            if (n >= 14)
                c.number = tk::get_f64(p + 6);
            break;
        default:
            break;
    }
    s.cells.push_back(std::move(c));
}

void reader::sheet(jet_rsheet& s) {
    const bool b8 = b_.version == 1;
    const size_t max_body = b8 ? biff::k_max_body_biff8 : biff::k_max_body_biff5;
    const std::string where = "sheet '" + tk::utf16_to_utf8(s.name) + "': ";
    jet_rec_reader rd([this](uint64_t o, void* p, size_t n) { return st_.read_at(o, p, n); },
                      st_.size(), s.pos);
    std::vector<rec> recs;
    std::vector<size_t> cell_rec;  // record number of each cell
    int depth = 0;
    std::vector<uint8_t> index;
    std::vector<uint32_t> dims;
    while (rd.next()) {
        const uint16_t id = rd.id();
        recs.push_back({rd.pos(), id, rd.len()});
        if (rd.len() > max_body)
            problem(where + "record " + hex(id) + " too long");
        if (recs.size() == 1 && id != biff::k_bof) {
            problem(where + "BOUNDSHEET position is not a BOF");
            return;
        }
        if (id == biff::k_bof)
            ++depth;
        if (id == biff::k_eof && --depth == 0)
            break;
        if (depth != 1)
            continue;
        if (id == biff::k_index && index.empty())
            index.assign(rd.body(), rd.body() + rd.len());
        if (id == biff::k_window2 && rd.len() >= 2)
            s.window2 = tk::get_u16(rd.body());
        if (id == biff::k_dimensions) {
            const uint8_t* p = rd.body();
            if (b8 && rd.len() >= 12) {
                dims = {tk::get_u32(p), tk::get_u32(p + 4), tk::get_u16(p + 8),
                        tk::get_u16(p + 10)};
            } else if (!b8 && rd.len() >= 8) {
                dims = {tk::get_u16(p), tk::get_u16(p + 2), tk::get_u16(p + 4), tk::get_u16(p + 6)};
            }
        }
        if (is_cell(id)) {
            const size_t before = s.cells.size();
            cell(s, rd);
            for (size_t i = before; i < s.cells.size(); ++i) cell_rec.push_back(recs.size() - 1);
        }
    }
    if (depth != 0)
        problem(where + "no EOF");
    s.size =
        recs.empty() ? 0 : static_cast<uint32_t>(recs.back().pos + 4 + recs.back().len - s.pos);
    if (s.type != 0)
        return;  // charts and modules have no row layout
    if (recs.size() < 2 || recs[1].id != biff::k_index) {
        problem(where + "BOF not followed by INDEX");
        return;
    }
    // INDEX: rows, DEFCOLWIDTH position, DBCELL positions.
    const size_t head = b8 ? 16 : 12;
    if (index.size() < head || (index.size() - head) % 4) {
        problem(where + "INDEX size");
        return;
    }
    s.index_rows[0] = b8 ? tk::get_u32(index.data() + 4) : tk::get_u16(index.data() + 4);
    s.index_rows[1] = b8 ? tk::get_u32(index.data() + 8) : tk::get_u16(index.data() + 6);
    std::map<uint64_t, size_t> at;
    for (size_t i = 0; i < recs.size(); ++i) at[recs[i].pos] = i;
    auto find = [&](uint64_t pos) -> const rec* {
        auto it = at.find(pos);
        return it == at.end() ? nullptr : &recs[it->second];
    };
    const rec* defcol = find(tk::get_u32(index.data() + head - 4));
    if (!defcol || defcol->id != biff::k_defcolwidth)
        problem(where + "INDEX DEFCOLWIDTH position");
    std::vector<uint64_t> dbcells;
    for (const auto& r : recs)
        if (r.id == biff::k_dbcell)
            dbcells.push_back(r.pos);
    s.dbcells = dbcells.size();
    std::vector<uint64_t> listed;
    for (size_t p = head; p + 4 <= index.size(); p += 4)
        listed.push_back(tk::get_u32(index.data() + p));
    if (listed != dbcells)
        problem(where + "INDEX DBCELL positions");

    // Extents.
    uint32_t r0 = UINT32_MAX, r1 = 0, c0 = UINT32_MAX, c1 = 0;
    for (const auto& c : s.cells) {
        r0 = std::min<uint32_t>(r0, c.row);
        r1 = std::max<uint32_t>(r1, c.row + 1);
        c0 = std::min<uint32_t>(c0, c.col);
        c1 = std::max<uint32_t>(c1, c.col + 1);
    }
    if (s.cells.empty())
        r0 = r1 = c0 = c1 = 0;
    if (dims != std::vector<uint32_t>{r0, r1, c0, c1})
        problem(where + "DIMENSIONS");
    if (s.index_rows[0] != r0 || s.index_rows[1] != r1)
        problem(where + "INDEX rows");
    check_blocks(s, recs, cell_rec);
}

void reader::check_blocks(jet_rsheet& s, const std::vector<rec>& recs,
                          const std::vector<size_t>& cell_rec) {
    const std::string where = "sheet '" + tk::utf16_to_utf8(s.name) + "': ";
    // First cell record of each row, and the ROW records.
    std::map<uint16_t, uint64_t> first_cell;
    std::map<uint16_t, std::pair<uint16_t, uint16_t>> extent;
    for (size_t i = 0; i < s.cells.size(); ++i) {
        const auto& c = s.cells[i];
        if (!first_cell.count(c.row))
            first_cell[c.row] = recs[cell_rec[i]].pos;
        auto& e = extent.try_emplace(c.row, c.col, c.col + 1).first->second;
        e.first = std::min(e.first, c.col);
        e.second = std::max<uint16_t>(e.second, c.col + 1);
    }
    std::map<uint64_t, size_t> at;
    for (size_t i = 0; i < recs.size(); ++i) at[recs[i].pos] = i;
    size_t rows_seen = 0;
    std::vector<uint8_t> body(64 + 2 * 32);
    for (size_t k = 0; k < recs.size(); ++k) {
        const rec& r = recs[k];
        if (r.id == biff::k_row) {
            ++rows_seen;
            uint8_t b[16];
            st_.read_at(r.pos + 4, b, 16);
            const uint16_t row = tk::get_u16(b);
            auto e = extent.find(row);
            if (e == extent.end() || e->second.first != tk::get_u16(b + 2) ||
                e->second.second != tk::get_u16(b + 4))
                problem(where + "ROW " + std::to_string(row) + " extent");
        }
        if (r.id != biff::k_dbcell)
            continue;
        const size_t nrows = (r.len - 4) / 2;
        st_.read_at(r.pos + 4, body.data(), std::min<size_t>(r.len, body.size()));
        const uint32_t back = tk::get_u32(body.data());
        auto it = at.find(r.pos - back);
        if (back > r.pos || it == at.end() || recs[it->second].id != biff::k_row || nrows == 0 ||
            nrows > 32) {
            problem(where + "DBCELL at " + hex(r.pos) + " does not lead to its first ROW");
            continue;
        }
        const size_t first = it->second;
        uint64_t cell_pos = recs[first].pos + 4 + recs[first].len;  // the second ROW record
        int group = -1;
        for (size_t i = 0; i < nrows; ++i) {
            const rec& rr = recs[first + i];
            uint8_t rb[2];
            st_.read_at(rr.pos + 4, rb, 2);
            const uint16_t row = tk::get_u16(rb);
            if (group < 0)
                group = row / 32;
            if (rr.id != biff::k_row || row / 32 != group) {
                problem(where + "row block mixes 32-row groups");
                break;
            }
            cell_pos += tk::get_u16(body.data() + 4 + 2 * i);
            auto fc = first_cell.find(row);
            if (fc == first_cell.end() || fc->second != cell_pos) {
                problem(where + "DBCELL offset of row " + std::to_string(row));
                break;
            }
        }
    }
    if (rows_seen != extent.size())
        problem(where + "ROW records do not match the rows with cells");
}

}  // namespace

const jet_rsheet* jet_rbook::sheet(const std::u16string& name) const {
    for (const auto& s : sheets)
        if (s.name == name)
            return &s;
    return nullptr;
}

const jet_rcell* jet_rbook::cell(const jet_rsheet& s, uint16_t row, uint16_t col) {
    for (const auto& c : s.cells)
        if (c.row == row && c.col == col)
            return &c;
    return nullptr;
}

jet_rbook jet_read_book(const std::string& path) {
    jet_rbook b;
    std::unique_ptr<stg_file> f;
    try {
        f = stg_file::open(path, false);
    } catch (const stg_error& e) {
        throw jet_error(jet_errno::bad_format, e.what());
    }
    std::unique_ptr<stg_stream> st;
    if (f->has_stream(u"Workbook")) {
        b.version = 1;
        b.stream_name = u"Workbook";
    } else if (f->has_stream(u"Book")) {
        b.version = 0;
        b.stream_name = u"Book";
    } else {
        throw jet_error(jet_errno::bad_format, "no workbook stream");
    }
    st = f->open_stream(b.stream_name);
    b.stream_size = st->size();
    reader r(b, *st);
    r.globals();
    for (auto& s : b.sheets) r.sheet(s);
    return b;
}
