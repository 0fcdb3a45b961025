// BIFF5/BIFF8 record identifiers, body sizes and sheet limits: the constants
// every reader and writer of workbook streams in this system shares (the
// workbook driver, the template images and the in-place patch). Layouts and
// the reasons behind each number are noted in docs/biff_records.md.
//
// Only constants live here: no code, no dependencies, so any layer may
// include it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace biff {

// ---- Record identifiers (16-bit, little-endian in the record header) ----
// Substream framing
inline constexpr uint16_t k_bof = 0x0809;  // BIFF5/BIFF8 BOF
inline constexpr uint16_t k_eof = 0x000A;

// Workbook globals
inline constexpr uint16_t k_interfacehdr = 0x00E1;
inline constexpr uint16_t k_mms = 0x00C1;
inline constexpr uint16_t k_toolbarhdr = 0x00BF;  // BIFF5 only, empty body
inline constexpr uint16_t k_toolbarend = 0x00C0;  // BIFF5 only, empty body
inline constexpr uint16_t k_interfaceend = 0x00E2;
inline constexpr uint16_t k_writeaccess = 0x005C;
inline constexpr uint16_t k_codepage = 0x0042;
inline constexpr uint16_t k_dsf = 0x0161;         // BIFF8
inline constexpr uint16_t k_excel9file = 0x01C0;  // BIFF8
inline constexpr uint16_t k_tabid = 0x013D;       // BIFF8
inline constexpr uint16_t k_fngroupcount = 0x009C;
inline constexpr uint16_t k_windowprotect = 0x0019;
inline constexpr uint16_t k_protect = 0x0012;
inline constexpr uint16_t k_password = 0x0013;
inline constexpr uint16_t k_prot4rev = 0x01AF;      // BIFF8
inline constexpr uint16_t k_prot4revpass = 0x01BC;  // BIFF8
inline constexpr uint16_t k_window1 = 0x003D;
inline constexpr uint16_t k_backup = 0x0040;
inline constexpr uint16_t k_hideobj = 0x008D;
inline constexpr uint16_t k_datemode = 0x0022;  // 0 = 1900 date system
inline constexpr uint16_t k_precision = 0x000E;
inline constexpr uint16_t k_refreshall = 0x01B7;
inline constexpr uint16_t k_bookbool = 0x00DA;
inline constexpr uint16_t k_font = 0x0031;
inline constexpr uint16_t k_format = 0x041E;
inline constexpr uint16_t k_xf = 0x00E0;
inline constexpr uint16_t k_style = 0x0293;
inline constexpr uint16_t k_palette = 0x0092;
inline constexpr uint16_t k_useselfs = 0x0160;  // BIFF8
inline constexpr uint16_t k_boundsheet = 0x0085;
inline constexpr uint16_t k_country = 0x008C;
inline constexpr uint16_t k_recalcid = 0x01C1;  // BIFF8
inline constexpr uint16_t k_sst = 0x00FC;       // BIFF8
inline constexpr uint16_t k_extsst = 0x00FF;    // BIFF8
inline constexpr uint16_t k_continue = 0x003C;
// Globals a foreign workbook may carry (recognised when reading)
inline constexpr uint16_t k_externsheet = 0x0017;
inline constexpr uint16_t k_name = 0x0018;
inline constexpr uint16_t k_supbook = 0x01AE;
inline constexpr uint16_t k_filepass = 0x002F;  // encrypted workbook

// Worksheet substream
inline constexpr uint16_t k_index = 0x020B;
inline constexpr uint16_t k_calcmode = 0x000D;
inline constexpr uint16_t k_calccount = 0x000C;
inline constexpr uint16_t k_refmode = 0x000F;
inline constexpr uint16_t k_iteration = 0x0011;
inline constexpr uint16_t k_delta = 0x0010;
inline constexpr uint16_t k_saverecalc = 0x005F;
inline constexpr uint16_t k_printheaders = 0x002A;
inline constexpr uint16_t k_printgridlines = 0x002B;
inline constexpr uint16_t k_gridset = 0x0082;
inline constexpr uint16_t k_guts = 0x0080;
inline constexpr uint16_t k_defaultrowheight = 0x0225;
inline constexpr uint16_t k_wsbool = 0x0081;
inline constexpr uint16_t k_header = 0x0014;
inline constexpr uint16_t k_footer = 0x0015;
inline constexpr uint16_t k_hcenter = 0x0083;
inline constexpr uint16_t k_vcenter = 0x0084;
inline constexpr uint16_t k_setup = 0x00A1;
inline constexpr uint16_t k_defcolwidth = 0x0055;
inline constexpr uint16_t k_colinfo = 0x007D;
inline constexpr uint16_t k_dimensions = 0x0200;
inline constexpr uint16_t k_window2 = 0x023E;
inline constexpr uint16_t k_pane = 0x0041;  // after WINDOW2: position of frozen panes
inline constexpr uint16_t k_selection = 0x001D;
inline constexpr uint16_t k_phonetic = 0x00EF;  // BIFF8, 6-byte body
inline constexpr uint16_t k_row = 0x0208;
inline constexpr uint16_t k_dbcell = 0x00D7;

// Cell records (body starts: row u16, column u16, XF index u16)
inline constexpr uint16_t k_blank = 0x0201;
inline constexpr uint16_t k_number = 0x0203;    // + IEEE double
inline constexpr uint16_t k_label = 0x0204;     // + string (BIFF5 8-bit, BIFF8 unicode)
inline constexpr uint16_t k_boolerr = 0x0205;   // + value u8, is_error u8
inline constexpr uint16_t k_rk = 0x027E;        // + RK value u32
inline constexpr uint16_t k_labelsst = 0x00FD;  // + SST index u32 (BIFF8)
inline constexpr uint16_t k_mulrk = 0x00BD;
inline constexpr uint16_t k_mulblank = 0x00BE;
inline constexpr uint16_t k_rstring = 0x00D6;
inline constexpr uint16_t k_formula = 0x0006;
inline constexpr uint16_t k_string = 0x0207;  // cached formula text

// ---- BOF fields ----
inline constexpr uint16_t k_bof_biff5 = 0x0500;
inline constexpr uint16_t k_bof_biff8 = 0x0600;
inline constexpr uint16_t k_bof_globals = 0x0005;
inline constexpr uint16_t k_bof_worksheet = 0x0010;
inline constexpr size_t k_bof_body_biff5 = 8;
inline constexpr size_t k_bof_body_biff8 = 16;

// ---- Sizes and limits ----
inline constexpr size_t k_record_header = 4;      // id u16 + body length u16
inline constexpr size_t k_max_body_biff8 = 8224;  // longer data goes into CONTINUE
inline constexpr size_t k_max_body_biff5 = 2080;
inline constexpr uint32_t k_max_rows_biff8 = 65536;  // rows per worksheet, header included
inline constexpr uint32_t k_max_rows_biff5 = 16384;
inline constexpr uint32_t k_max_columns = 256;
inline constexpr uint32_t k_rows_per_block = 32;       // rows between two DBCELL records
inline constexpr uint32_t k_max_string_units = 32767;  // UTF-16 units of one cell text (BIFF8)
inline constexpr uint32_t k_max_label_biff5 = 255;     // bytes of one BIFF5 LABEL text
inline constexpr uint32_t k_max_sheet_name = 31;       // characters of a sheet name
inline constexpr uint32_t k_extsst_bucket = 8;         // strings per EXTSST bucket (minimum)
inline constexpr uint32_t k_max_extsst_buckets = 128;  // EXTSST must fit in one record

// BIFF8 unicode-string option byte
inline constexpr uint8_t k_str_16bit = 0x01;  // characters are UTF-16 units, else compressed 8-bit
inline constexpr uint8_t k_str_phonetic = 0x04;
inline constexpr uint8_t k_str_rich = 0x08;

// COLINFO (BIFF3-BIFF8): first column u16, last column u16, width u16 in
// 1/256 of the default font's digit width, XF u16, options u16, reserved u16.
inline constexpr size_t k_colinfo_body = 12;
inline constexpr uint16_t k_colinfo_user_set = 0x0002;  // width differs from DEFCOLWIDTH
// Width of a column without COLINFO under DEFCOLWIDTH 8 (the "8.43" that
// readers show, padding included), in COLINFO units.
inline constexpr uint16_t k_colwidth_default = 2340;

// WINDOW2 options (BIFF5/BIFF8) that freeze panes
inline constexpr uint16_t k_win2_frozen = 0x0008;
inline constexpr uint16_t k_win2_frozen_no_split = 0x0100;  // no split left when unfrozen
// PANE body (10 bytes): vertical split u16 (columns left of it when frozen),
// horizontal split u16 (rows above it), first row of the bottom pane u16,
// first column of the right pane u16, active pane u8, reserved u8.
inline constexpr size_t k_pane_body = 10;
// Pane identifiers (PANE active pane, SELECTION pane)
inline constexpr uint8_t k_pane_bottom_right = 0;
inline constexpr uint8_t k_pane_top_right = 1;
inline constexpr uint8_t k_pane_bottom_left = 2;
inline constexpr uint8_t k_pane_top_left = 3;  // the only pane of an unsplit window

// BOUNDSHEET: body offset of the BOF stream position, and sheet type/visibility
inline constexpr uint16_t k_sheet_visible_worksheet = 0x0000;

// ---- XF layout as this system uses it ----
// The template's 21 XF records: 0-14 style XFs, 15 the default cell XF,
// 16-20 number-format styles. XF 16 becomes the header format when the
// workbook is patched, so no data cell may refer to it.
inline constexpr uint16_t k_template_xf_count = 21;
inline constexpr uint16_t k_xf_default_cell = 15;
inline constexpr uint16_t k_xf_header = 16;
inline constexpr uint16_t k_xf_first_extra = 21;    // first XF the workbook driver adds
inline constexpr uint16_t k_xf_first_date = 24;     // BIFF8: first date-format cell XF
inline constexpr uint16_t k_font_patched = 3;       // 0-based: the FONT made bold
inline constexpr uint16_t k_font_header = 4;        // 0-based: the header's bold FONT
inline constexpr uint16_t k_font_index_header = 5;  // the header XF's font index
inline constexpr int k_font_count = 5;              // FONT records of the globals

// Built-in number format indexes used by the template
inline constexpr uint16_t k_fmt_general = 0;
inline constexpr uint16_t k_fmt_first_user = 164;  // first format index a workbook may define

// Template images: stream position of the only sheet's BOF
inline constexpr uint32_t k_template_sheet_pos_biff5 = 0x05A5;
inline constexpr uint32_t k_template_sheet_pos_biff8 = 0x058C;
inline constexpr size_t k_template_size = 13824;
inline constexpr size_t k_template_stream_size = 4096;

}  // namespace biff
