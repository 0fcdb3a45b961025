// The workbook side as the conversion driver sees it: loading the workbook
// driver, opening and creating workbooks as databases, ending a worksheet
// and a workbook, the worksheet-name rules, the two workbook engines
// (connect strings, wrap setting, patch) and the failures the driver treats
// apart.
//
// A worksheet holds a limited number of rows; once it is full, appending
// raises an exception the destination recognises (is_sheet_full) and the
// driver goes on in a continuation file or reports the rows left out.
//
// The records a destination's recordsets get are prepared by the driver
// (cnv_val.h): texts cleaned and cut to max_text_length, binaries replaced.
// A field marked udb_field::b_text_cell (the exact digits of a number a
// spreadsheet number would change) is written as a text cell whatever its
// column's kind; a date's fraction of a second is in date_nanosecond().
//
// How long a workbook stays open (keeps_workbook_open):
//   - per item (the .xls versions): each item opens the workbook its file
//     holds (open_dao_src) or a new one (create_dao_src), adds its worksheet
//     and closes it (close_database writes the workbook back into its file);
//   - per run (the streamed .xlsx version, which cannot reopen what it has
//     written): the driver creates each file's workbook once, with the
//     run's first worksheet in that file, keeps it open while later items
//     add their worksheets, and closes (writes) it once after the last item.
//     Deleted without close_database (a run that does not complete), the
//     workbook is discarded and its file keeps no content.
//
// The product's implementation (dao_destination) stands on dao_engine and
// the xls engines for the .xls versions and on the .xlsx writer
// (src/xlsx) for version 2; tests put doubles in its place. The converter
// owns its destination for its whole life.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class tk_exception;
class udb_database;
class udb_recordset;
class udb_validator;
namespace tk {
class file_target;
}

class xls_destination {
  public:
    // Mode for opening an existing workbook: a worksheet that exists takes
    // the rows appended at its end.
    static constexpr int32_t kAppendMode = 0x08;

    virtual ~xls_destination() = default;

    // Loads the workbook driver of version `key`; false when it cannot.
    virtual bool set_version_if(int32_t key) = 0;
    // Workbooks are kept in files of the run's publication (tk_publ.h),
    // named by the path they take when the run is published; closing a
    // database writes the workbook's new content into its file.
    // Opens the workbook `file` holds; the caller owns the result.
    virtual udb_database* open_dao_src(tk::file_target& file, const std::u16string& connect,
                                       int32_t mode) = 0;
    // Opens a new workbook for `file`, which holds none yet.
    virtual udb_database* create_dao_src(tk::file_target& file, const std::u16string& connect) = 0;

    // The worksheet-name validator of a run, seeded with the selected tables
    // and the source's table names.
    virtual std::unique_ptr<udb_validator> make_sheet_validator(
        const std::vector<std::u16string>& selected_tables,
        const std::vector<std::u16string>& source_tables) = 0;

    // A row the worksheet refused (the run reports it and goes on).
    virtual bool is_record_refused(const tk_exception& e) const = 0;

    // The worksheet holds no more rows; nothing of the row was written.
    virtual bool is_sheet_full(const tk_exception& e) const = 0;
    // Writes and closes the workbook; raises what keeps it from being written.
    virtual void close_database(udb_database& database) = 0;
    // Characters of a worksheet (its name, header and rows) that the
    // workbook could not hold and wrote replaced; `recordset` is one that
    // create_table of this destination returned.
    virtual size_t replaced_characters(const udb_recordset& recordset) const {
        (void)recordset;
        return 0;
    }

    // Whether a workbook of `format_version` stays open for the whole run
    // (see above).
    virtual bool keeps_workbook_open(int32_t format_version) const {
        (void)format_version;
        return false;
    }

    // Engines, by format version (0, 1 or 2).
    virtual std::u16string connect(int32_t format_version) const = 0;
    virtual void set_wrap(bool wrap) = 0;
    // Patches the workbook `file` holds, in place (the .xls versions; an
    // .xlsx workbook is written with its formats).
    virtual void patch(int32_t format_version, tk::file_target& file) = 0;
};
