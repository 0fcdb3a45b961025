// A new .xlsx workbook (Excel 2007 and later) as a database of the
// universal model: each worksheet is a table. The file is written by
// libxlsxwriter in its constant-memory mode: every row goes to a temporary
// file of the library as soon as the next one starts, so memory does not
// grow with the workbook. The library's temporary files are created in the
// destination's folder and unlinked at once, so nothing is left behind
// whatever happens to the process.
//
// Streaming decides the life of a workbook: rows are written in order and a
// finished workbook cannot be reopened, so one xlsx_database takes every
// worksheet its file gets in a run and is written once, by close(). The
// converter keeps it open across the items of the run
// (xls_destination::keeps_workbook_open).
//
// Each worksheet gets a header row of the column names (bold, centred, grey
// fill, thin borders; frozen, so it stays in view), then the records
// (xlsx_recordset). Column widths fit the content as in the .xls versions
// (jet_col_widths: the widest value, header included, at least the default
// width, at most options::max_column_chars); they are measured over every
// row and set when the workbook is closed, which the library allows in
// this mode because it writes the column records only when it assembles
// the worksheet.
//
// Failures are dao_exceptions numbered as the .xls workbook driver numbers
// them, so the driver and the error maps treat both alike: 3125 a sheet
// name the format refuses, 3010 one already in the workbook. A write that
// fails (while the rows are written, or on close) for lack of room or on the
// device (a full disk, a quota, the file-size limit, an I/O error) raises
// tk_write_failure, which ends the run; other failures 3035 out of memory
// or descriptors, 3051 anything else (xlsx_raise_write_error). A workbook whose rows could not all
// be written can no longer be closed: close raises the failure again.
//
// Ownership: made by the destination, owned by the caller; `file` must
// outlive it. Recordsets it returns must be deleted before it.
// Destroying it without close() discards the workbook: its file keeps no
// new content.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "UDB/udb_db.h"
#include "jet/jet_colw.h"

struct lxw_workbook;
struct lxw_worksheet;
struct lxw_format;
namespace tk {
class file_rewrite;
class file_target;
}  // namespace tk

class xlsx_database : public udb_database {
  public:
    struct options {
        bool wrap = false;               // cell texts wrap into lines
        unsigned max_column_chars = 60;  // widest a column is made, in characters
    };

    // One worksheet and what the writer keeps of it until close.
    struct sheet {
        sheet(unsigned max_chars, const std::string& file) : widths(true, max_chars), file(file) {}
        lxw_worksheet* ws = nullptr;
        jet_col_widths widths;
        uint32_t records = 0;  // rows below the header
        int failed_errno = 0;  // a write of its rows failed (the workbook is lost)
        std::string file;      // the workbook's path, for messages
    };
    // The cell formats every worksheet of the workbook uses.
    struct formats {
        lxw_format* header = nullptr;
        lxw_format* cell = nullptr;         // numbers, texts, booleans
        lxw_format* date = nullptr;         // yyyy-mm-dd
        lxw_format* datetime = nullptr;     // yyyy-mm-dd hh:mm:ss
        lxw_format* datetime_ms = nullptr;  // yyyy-mm-dd hh:mm:ss.000
    };

    // A new workbook for `file` (named file.name()). Nothing is written
    // before close(); the library's temporary files go to the folder of
    // file.name(). Raises dao_exception 3051 or 3035 when the workbook
    // cannot be started.
    xlsx_database(tk::file_target& file, const options& opt);
    ~xlsx_database() override;

    // A new worksheet `name` with the column names of `schema` in its header
    // row; returns the recordset that appends its records. Names are
    // checked as the format requires (3125, 3010); `indexes` are ignored.
    udb_recordset* create_table(const std::u16string& name, const udb_schema& schema,
                                const udb_indexes& indexes) override;
    // Nothing of a workbook being written can be read back: internal errors.
    udb_recordset* get_table(const std::u16string& name, int32_t mode) override;
    udb_recordset* get_table(const std::u16string& name, const std::u16string& text,
                             int32_t mode) override;
    bool test_query(const std::u16string& text) override;
    using udb_database::get_table;

    // Sets the column widths and writes the workbook as the new content of
    // its file (nothing for a workbook without worksheets). Once only: the
    // library frees the workbook whatever the outcome, so a failed close
    // leaves the file without new content and a second call does nothing.
    void close();
    bool is_closed() const { return !book_; }
    size_t sheet_count() const { return sheets_.size(); }

  private:
    [[noreturn]] void fail(long number, int saved_errno) const;
    void discard();
    // The first write error of the worksheets' temporary files, if any.
    bool data_write_failed(int& err) const;
    // After the package is written: 0 when every worksheet part holds more
    // than the `rows` bytes spooled for it, else the errno to report (the
    // file system had `free_before` bytes free when packing began).
    int rows_lost(const std::vector<uint64_t>& rows, uint64_t free_before) const;

    tk::file_target& file_;
    options options_;
    std::string path_utf8_;  // file.name(), for messages
    std::string temp_dir_;
    std::unique_ptr<tk::file_rewrite> rewrite_;
    std::string output_path_;
    lxw_workbook* book_ = nullptr;
    formats formats_;
    std::vector<std::unique_ptr<sheet>> sheets_;
};

// Raises what a write of `file` that failed with errno `err` is:
// tk_write_failure for a full disk, a quota, the file-size limit or an I/O
// error (ENOSPC, EDQUOT, EFBIG, EIO); else a dao_exception, 3035 for
// exhausted memory or descriptors (and `out_of_memory`), 3051 for anything
// else.
[[noreturn]] void xlsx_raise_write_error(int err, const std::string& file,
                                         bool out_of_memory = false);
