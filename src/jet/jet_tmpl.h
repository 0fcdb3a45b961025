// The built-in empty workbooks, one per format version: compound files of
// exactly 13,824 bytes with the workbook stream (globals and one empty sheet
// "Sheet1", padded to 4,096 bytes) at sectors 0-7 and the two property-set
// streams at sectors 8-15 and 16-23, the FAT at sector 24 and the directory
// at sector 25. Built once on first use and kept for the life of the process.
#pragma once

#include <cstdint>
#include <vector>

// version 0 = BIFF5 (`Book`), 1 = BIFF8 (`Workbook`); any other value is an
// internal error.
const std::vector<uint8_t>& jet_template_image(int version);

// The pieces, for tests and for workbooks written by the driver.
std::vector<uint8_t> jet_template_stream(int version);   // 4,096 bytes
std::vector<uint8_t> jet_summary_info(int version);      // 4,096 bytes
std::vector<uint8_t> jet_doc_summary_info(int version);  // 4,096 bytes
// Class id of the root entry: Excel 5 workbook (BIFF5) or Excel 97 workbook.
const uint8_t* jet_root_clsid(int version);
