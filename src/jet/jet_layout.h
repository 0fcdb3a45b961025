// The fixed records of the workbooks this system writes: the workbook
// globals (fonts, number formats, cell formats, styles, palette) and the
// records that surround a worksheet's cells. The built-in empty workbooks
// and the workbook driver both build from here, so a workbook written by the
// driver carries exactly the globals of the empty workbook of its version,
// plus the cell formats the driver adds (docs/workbook_driver.md).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace jet_layout {

inline constexpr int k_biff5 = 0;
inline constexpr int k_biff8 = 1;

// Format indexes and texts of the driver's date cells.
inline constexpr uint16_t k_fmt_date = 164;
inline constexpr uint16_t k_fmt_datetime = 165;
inline constexpr uint16_t k_fmt_datetime_ms = 166;
inline constexpr const char* k_fmt_date_text = "yyyy-mm-dd";
inline constexpr const char* k_fmt_datetime_text = "yyyy-mm-dd hh:mm:ss";
inline constexpr const char* k_fmt_datetime_ms_text = "yyyy-mm-dd hh:mm:ss.000";
// XF indexes the driver adds after the 21 of the template.
inline constexpr uint16_t k_xf_number = 21;
inline constexpr uint16_t k_xf_text = 22;
inline constexpr uint16_t k_xf_boolean = 23;
inline constexpr uint16_t k_xf_date = 24;
inline constexpr uint16_t k_xf_datetime = 25;
inline constexpr uint16_t k_xf_datetime_ms = 26;

struct globals_options {
    int version = k_biff8;
    uint16_t codepage = 1252;            // BIFF5 only; BIFF8 always 1200
    bool driver_formats = true;          // the FORMAT and XF records the driver adds
    std::vector<std::u16string> sheets;  // one BOUNDSHEET each (empty: none)
    uint32_t sheet_pos = 0;              // stream position given to every BOUNDSHEET
};

// Appends the whole globals substream, BOF to EOF.
void globals(std::vector<uint8_t>& out, const globals_options& o);

// Worksheet pieces, in stream order.
void bof(std::vector<uint8_t>& out, int version, uint16_t type);
// INDEX body (without header) for `blocks` DBCELL positions filled later:
// returns the byte size of the whole record.
size_t index_record_size(int version, size_t blocks);
// CALCMODE .. SETUP: the records between INDEX and DEFCOLWIDTH.
void sheet_settings(std::vector<uint8_t>& out, int version);
void defcolwidth(std::vector<uint8_t>& out);
void dimensions(std::vector<uint8_t>& out, int version, uint32_t first_row, uint32_t last_row1,
                uint16_t first_col, uint16_t last_col1);
// WINDOW1 (BIFF5), WINDOW2, [PANE], SELECTION, 0x00EF (BIFF8), EOF.
// `selected` marks the sheet as the selected and shown one; `freeze_header`
// freezes row 0 above the rest (the cursor stays on A1).
void sheet_tail(std::vector<uint8_t>& out, int version, bool selected, bool freeze_header);

// Sizes of the fixed pieces (header included).
size_t bof_size(int version);
size_t dimensions_size(int version);

}  // namespace jet_layout
