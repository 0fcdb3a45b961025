#include "jet/jet_sheet.h"

#include <algorithm>
#include <cstring>

#include "TK/tk_coding.h"
#include "TK/tk_excep.h"
#include "TK/tk_utf.h"
#include "jet/biff_format.h"
#include "jet/jet_conv.h"
#include "jet/jet_layout.h"
#include "jet/jet_out.h"

jet_sheet_writer::jet_sheet_writer(int version, unsigned max_chars, std::string folder)
    : version_(version),
      widths_(version == jet_layout::k_biff8, max_chars),
      blocks_(std::move(folder)) {
    cells_.reserve(64 * 1024);
}

void jet_sheet_writer::begin_row(uint32_t row) {
    const uint32_t block = row / biff::k_rows_per_block;
    if (block != block_) {
        finish_block();
        block_ = block;
    }
    row_ = row;
    row_cells_ = cells_.size();
    row_first_ = 0xFFFF;
    row_last1_ = 0;
}

uint8_t* jet_sheet_writer::cell(uint16_t id, uint16_t body, uint16_t col, uint16_t xf) {
    const size_t at = cells_.size();
    cells_.resize(at + 4 + body);
    uint8_t* p = cells_.data() + at;
    tk::put_u16(p, id);
    tk::put_u16(p + 2, body);
    tk::put_u16(p + 4, static_cast<uint16_t>(row_));
    tk::put_u16(p + 6, col);
    tk::put_u16(p + 8, xf);
    row_first_ = std::min(row_first_, col);
    row_last1_ = std::max<uint16_t>(row_last1_, col + 1);
    return p + 10;
}

void jet_sheet_writer::number(uint16_t col, uint16_t xf, double v) {
    uint32_t rk;
    if (jet_rk_encode(v, rk)) {
        tk::put_u32(cell(biff::k_rk, 10, col, xf), rk);
    } else {
        tk::put_f64(cell(biff::k_number, 14, col, xf), v);
    }
}

void jet_sheet_writer::label_sst(uint16_t col, uint16_t xf, uint32_t sst_index) {
    tk::put_u32(cell(biff::k_labelsst, 10, col, xf), sst_index);
}

void jet_sheet_writer::label_bytes(uint16_t col, uint16_t xf, std::string_view bytes) {
    const size_t len = bytes.size();
    if (len > biff::k_max_body_biff5 - 8)
        throw tk_mail_assertion("jet_sheet", __LINE__);
    uint8_t* p = cell(biff::k_label, static_cast<uint16_t>(8 + len), col, xf);
    tk::put_u16(p, static_cast<uint16_t>(len));
    std::memcpy(p + 2, bytes.data(), len);
}

void jet_sheet_writer::boolean(uint16_t col, uint16_t xf, bool v) {
    uint8_t* p = cell(biff::k_boolerr, 8, col, xf);
    p[0] = v ? 1 : 0;
    p[1] = 0;
}

void jet_sheet_writer::end_row() {
    if (cells_.size() == row_cells_)
        return;
    rows_[nrows_++] = {row_, row_first_, row_last1_, static_cast<uint32_t>(row_cells_)};
    if (!any_) {
        any_ = true;
        first_row_ = row_;
    }
    last_row1_ = row_ + 1;
    first_col_ = std::min(first_col_, row_first_);
    last_col1_ = std::max(last_col1_, row_last1_);
}

void jet_sheet_writer::finish_block() {
    if (nrows_ == 0) {
        cells_.clear();
        return;
    }
    const uint64_t start = blocks_.size();
    for (size_t i = 0; i < nrows_; ++i) {
        uint8_t* p = blocks_.reserve(20);
        tk::put_u16(p, biff::k_row);
        tk::put_u16(p + 2, 16);
        tk::put_u16(p + 4, static_cast<uint16_t>(rows_[i].row));
        tk::put_u16(p + 6, rows_[i].first_col);
        tk::put_u16(p + 8, rows_[i].last_col1);
        tk::put_u16(p + 10, 0x00FF);  // height 255 twips
        tk::put_u16(p + 12, 0);
        tk::put_u16(p + 14, 0);
        tk::put_u16(p + 16, 0x0100);  // options
        tk::put_u16(p + 18, biff::k_xf_default_cell);
        blocks_.commit(20);
    }
    blocks_.append(cells_.data(), cells_.size());
    const uint64_t dbcell = blocks_.size();
    dbcells_.push_back(static_cast<uint32_t>(dbcell));
    uint8_t* p = blocks_.reserve(8 + 2 * nrows_);
    tk::put_u16(p, biff::k_dbcell);
    tk::put_u16(p + 2, static_cast<uint16_t>(4 + 2 * nrows_));
    tk::put_u32(p + 4, static_cast<uint32_t>(dbcell - start));
    // First: from the second ROW record to the first cell of the first row;
    // then from each row's first cell to the next row's first cell.
    tk::put_u16(p + 8, static_cast<uint16_t>(20 * (nrows_ - 1)));
    for (size_t i = 1; i < nrows_; ++i)
        tk::put_u16(p + 8 + 2 * i,
                    static_cast<uint16_t>(rows_[i].cells_off - rows_[i - 1].cells_off));
    blocks_.commit(8 + 2 * nrows_);
    nrows_ = 0;
    cells_.clear();
}

void jet_sheet_writer::write(jet_out& out, bool selected) {
    finish_block();
    const bool b8 = version_ == jet_layout::k_biff8;
    const uint64_t base = out.pos();
    std::vector<uint8_t> head;
    jet_layout::bof(head, version_, biff::k_bof_worksheet);
    const size_t index_size = jet_layout::index_record_size(version_, dbcells_.size());
    std::vector<uint8_t> settings;
    jet_layout::sheet_settings(settings, version_);
    std::vector<uint8_t> colinfo;
    widths_.write(colinfo);
    const uint64_t defcol = base + head.size() + index_size + settings.size();
    const uint64_t blocks = defcol + 6 + colinfo.size() + jet_layout::dimensions_size(version_);
    {
        jet_rec r(head, biff::k_index);
        r.u32(0);
        if (b8) {
            r.u32(first_row_).u32(last_row1_);
        } else {
            r.u16(static_cast<uint16_t>(first_row_)).u16(static_cast<uint16_t>(last_row1_));
        }
        r.u32(static_cast<uint32_t>(defcol));
        for (uint32_t d : dbcells_) r.u32(static_cast<uint32_t>(blocks + d));
    }
    head.insert(head.end(), settings.begin(), settings.end());
    jet_layout::defcolwidth(head);
    head.insert(head.end(), colinfo.begin(), colinfo.end());
    if (any_) {
        jet_layout::dimensions(head, version_, first_row_, last_row1_, first_col_, last_col1_);
    } else {
        jet_layout::dimensions(head, version_, 0, 0, 0, 0);
    }
    out.write(head.data(), head.size());
    stg_spool_reader rd(blocks_);
    while (rd.left() > 0) {
        size_t got = 0;
        const uint8_t* p = rd.take_some(stg_spool::k_buffer, got);
        out.write(p, got);
    }
    std::vector<uint8_t> tail;
    jet_layout::sheet_tail(tail, version_, selected, true);
    out.write(tail.data(), tail.size());
}
