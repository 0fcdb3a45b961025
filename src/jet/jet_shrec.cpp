// The records around a worksheet's cells, as the empty workbooks hold them.
#include "jet/biff_format.h"
#include "jet/jet_layout.h"
#include "jet/jet_out.h"

namespace jet_layout {

void bof(std::vector<uint8_t>& out, int version, uint16_t type) {
    jet_rec r(out, biff::k_bof);
    if (version == k_biff8) {
        r.u16(biff::k_bof_biff8).u16(type).u16(0x18AF).u16(1997).u32(0x000040C1).u32(0x00000106);
    } else {
        r.u16(biff::k_bof_biff5).u16(type).u16(0x1D5F).u16(1997);
    }
}

size_t bof_size(int version) {
    return 4 + (version == k_biff8 ? biff::k_bof_body_biff8 : biff::k_bof_body_biff5);
}

size_t index_record_size(int version, size_t blocks) {
    return 4 + (version == k_biff8 ? 16 : 12) + 4 * blocks;
}

void sheet_settings(std::vector<uint8_t>& out, int version) {
    const bool b8 = version == k_biff8;
    jet_rec(out, biff::k_calcmode).u16(1);
    jet_rec(out, biff::k_calccount).u16(100);
    jet_rec(out, biff::k_refmode).u16(1);
    jet_rec(out, biff::k_iteration).u16(0);
    jet_rec(out, biff::k_delta).f64(0.001);
    jet_rec(out, biff::k_saverecalc).u16(1);
    jet_rec(out, biff::k_printheaders).u16(0);
    jet_rec(out, biff::k_printgridlines).u16(0);
    jet_rec(out, biff::k_gridset).u16(1);
    jet_rec(out, biff::k_guts).u16(0).u16(0).u16(0).u16(0);
    jet_rec(out, biff::k_defaultrowheight).u16(0).u16(255);
    if (!b8)
        jet_rec(out, biff::k_country).u16(1).u16(1);
    jet_rec(out, biff::k_wsbool).u16(0x04C1);
    jet_rec(out, biff::k_header);
    jet_rec(out, biff::k_footer);
    jet_rec(out, biff::k_hcenter).u16(0);
    jet_rec(out, biff::k_vcenter).u16(0);
    jet_rec r(out, biff::k_setup);
    if (b8) {
        r.u16(0).u16(0x00FF).u16(1).u16(1).u16(1).u16(0x0004).u16(0).u16(0);
    } else {
        r.u16(0).u16(1).u16(1).u16(1).u16(1).u16(0x0044).u16(0x0031).u16(0);
    }
    r.f64(0.5).f64(0.5).u16(b8 ? 0 : 0x04E3);
}

void defcolwidth(std::vector<uint8_t>& out) {
    jet_rec(out, biff::k_defcolwidth).u16(8);
}

size_t dimensions_size(int version) {
    return 4 + (version == k_biff8 ? 14 : 10);
}

void dimensions(std::vector<uint8_t>& out, int version, uint32_t first_row, uint32_t last_row1,
                uint16_t first_col, uint16_t last_col1) {
    jet_rec r(out, biff::k_dimensions);
    if (version == k_biff8) {
        r.u32(first_row).u32(last_row1);
    } else {
        r.u16(static_cast<uint16_t>(first_row)).u16(static_cast<uint16_t>(last_row1));
    }
    r.u16(first_col).u16(last_col1).u16(0);
}

void sheet_tail(std::vector<uint8_t>& out, int version, bool selected, bool freeze_header) {
    const bool b8 = version == k_biff8;
    if (!b8) {
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
    }
    // Grid lines, headers, zero values, automatic grid colour, outline
    // symbols; "selected" and "shown" only for the active sheet, or Excel
    // would open the workbook with its sheets grouped.
    uint16_t options = selected ? 0x06B6 : 0x00B6;
    if (freeze_header)
        options |= biff::k_win2_frozen | biff::k_win2_frozen_no_split;
    {
        jet_rec r(out, biff::k_window2);
        r.u16(options).u16(0).u16(0);
        if (b8) {
            r.u16(64).u16(0).u16(0).u16(0).u32(0);
        } else {
            r.u32(0);
        }
    }
    // Frozen at row 1 the window has two panes, the header above (top left)
    // and the rows below (bottom left), which scrolls from row 1 and is the
    // active one; the selection belongs to the active pane, with the cursor
    // on A1.
    uint8_t pane = biff::k_pane_top_left;
    if (freeze_header) {
        pane = biff::k_pane_bottom_left;
        jet_rec(out, biff::k_pane).u16(0).u16(1).u16(1).u16(0).u8(pane).u8(0);
    }
    jet_rec(out, biff::k_selection).u8(pane).u16(0).u16(0).u16(0).u16(1).u16(0).u16(0).u8(0).u8(0);
    if (b8)
        jet_rec(out, biff::k_phonetic).hex("00 00 37 00 00 00");
    jet_rec(out, biff::k_eof);
}

}  // namespace jet_layout
