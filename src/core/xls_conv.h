// The workbook half of the converter chain: the workbook settings (format
// version, split, wrap, dates as text) and the steps of a run that write
// workbooks: do_convert (every selected item in name order), convert_table
// (one item's records), clean_if_exists and do_patch.
//
// The converter owns its workbook side (xls_destination: the workbook
// driver and the two workbook engines) and borrows the front end, which
// must outlive it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/cnv_base.h"

class conversion_front;
class tk_exception;
class udb_database;
class udb_record;
class udb_recordset;
class udb_schema;
class udb_validator;
class xls_destination;

class xls_converter : public udb_converter {
  public:
    xls_converter(std::unique_ptr<xls_destination> destination, conversion_front& front);
    ~xls_converter() override;

    // 0 = Excel 5.0 (BIFF5), 1 = Excel 2000 (BIFF8); -1 = not given.
    int32_t format_version = -1;
    // Rows past a worksheet's capacity continue in "<base>(1).xls", ...
    bool split_data = false;
    // Date columns become text columns (always so in Excel 5.0).
    bool dates_to_strings = false;

    bool wrap_text() const { return wrap_text_; }
    // Keeps the setting and copies it into both workbook engines.
    void set_wrap_text(bool wrap);

    // Converts every selected item from `source`, then patches the result.
    void do_convert(udb_database& source);
    // Copies one item's records into the worksheet `name` of the destination
    // and, when it is full and split_data is set, of the continuation files.
    void convert_table(udb_recordset& reader, const std::u16string& name, const udb_schema& schema);
    // Deletes the destination and, with split_data, its continuation files.
    void clean_if_exists();
    // Patches the written workbook (and continuation files) for formatting.
    void do_patch();

    // The workbook keys of a profile ("MS Excel settings"): a key that is
    // present and not empty sets its setting, true (version 1) exactly for "1".
    bool load_workbook_settings(const udb_profile& profile);
    bool store_workbook_settings(udb_profile& profile) const;

    // "/out/book.xls" and 2 give "/out/book(2).xls".
    static std::u16string continuation_name(const std::u16string& dest, int n);

    xls_destination& destination() { return *destination_; }
    conversion_front& front() { return front_; }

  private:
    class sheet_writer;

    void convert_item(udb_database& source, udb_validator& names, std::vector<std::u16string>& used,
                      const std::u16string& name, const std::u16string& query);
    bool copy_record(udb_recordset& reader, sheet_writer& out, udb_record& row);
    bool advance(udb_recordset& reader, sheet_writer& out);
    // What a failure while copying a record means: true to go on with the
    // next record, false to end the item; anything else is rethrown.
    bool record_failed(const tk_exception& e, sheet_writer& out);
    void report_left_out();

    std::unique_ptr<xls_destination> destination_;
    conversion_front& front_;
    bool wrap_text_ = false;
};
