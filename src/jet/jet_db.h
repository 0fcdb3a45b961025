// The workbook driver: an .xls workbook handled as a database whose tables
// are its worksheets. It stands where the database engine and its Excel
// driver stand on the original platform (docs/workbook_driver.md).
//
// Life of a workbook: `open` reads the globals of an existing file (its
// sheets are not read; they are copied byte for byte on close) or starts a
// new one; `create_table` adds a worksheet whose row 0 holds the column
// names; `append` adds rows below; `close` writes the whole workbook as the
// file's new content through its tk::file_target (tk_publ.h): for a plain
// path a temporary file beside it renamed over it, so the file is always
// either the old workbook or the complete new one.
//
// Every failure is a jet_error (numbers in jet_error.h). A broken calling
// contract (wrong number of values) is an internal assertion.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "jet/jet_error.h"
#include "jet/jet_value.h"

namespace tk {
class sink;
class file_target;
}  // namespace tk
class jet_database;
class jet_sheet_writer;
struct jet_cell_plan;

// One worksheet. Owned by its jet_database; a reference stays valid until
// the table is deleted or the database destroyed.
class jet_table {
  public:
    ~jet_table();
    jet_table(const jet_table&) = delete;
    jet_table& operator=(const jet_table&) = delete;

    // The sheet's name as stored (BIFF5 may have had to change it: see
    // jet_biff5_sheet_name).
    const std::u16string& name() const { return name_; }
    // The columns given to create_table; empty for a sheet of the file
    // that was opened (its columns are not read).
    const std::vector<jet_column>& columns() const { return columns_; }
    // Data rows (the header row not counted). For a sheet of the opened
    // file: the rows its INDEX record announces, less the header.
    uint32_t record_count() const { return records_; }
    // Most data rows a sheet holds: 65,535 (BIFF8) or 16,383 (BIFF5).
    uint32_t capacity() const;
    // Appends one row below the previous ones. n must equal
    // columns().size(). The row is checked completely first: when a value
    // fails (3349, 3047, 3421; jet_error::field() tells which), nothing of
    // the row is written. 3437 when the sheet is full; 3251 for a sheet of
    // the opened file (rows are appended only to sheets created in this
    // session).
    void append(const jet_value* values, size_t n);
    // BIFF5: characters the workbook's code page cannot hold, written as
    // "?" (in the sheet name as "_"), in the name, the header and the rows
    // appended so far. Always 0 in BIFF8.
    size_t replaced_characters() const { return replaced_; }

  private:
    friend class jet_database;
    jet_table(jet_database& db, std::u16string name, std::vector<jet_column> columns, bool created);
    void write_header();

    jet_database* db_;
    std::u16string name_;
    std::vector<jet_column> columns_;
    std::unique_ptr<jet_sheet_writer> sheet_;  // tables created in this session
    uint32_t records_ = 0;
    size_t replaced_ = 0;
    std::vector<jet_cell_plan> plans_;
    std::vector<std::u16string> scratch_;
    std::vector<uint32_t> hashes_;  // string table hashes of the row's texts
};

class jet_database {
  public:
    // connect: "Excel 5.0;" (BIFF5, `Book` stream) or "Excel 8.0;" (BIFF8,
    // `Workbook` stream), case-insensitive, further options after the ";"
    // ignored; anything else is 3170. A path that does not exist gives a new
    // empty workbook, written on close (3044 when its folder does not exist,
    // 3024 when opened read-only). An existing file must hold the workbook
    // stream of the connect string's version (else 3274). `exclusive` locks
    // the file against other openers until close (3045 when someone else
    // holds it).
    static std::unique_ptr<jet_database> open(const std::string& path,
                                              const std::u16string& connect, bool exclusive,
                                              bool read_only);
    // The same for the workbook that `target` holds (its present content,
    // or a new workbook when it has none); close writes into `target`,
    // which must outlive the database. Messages name target.name().
    static std::unique_ptr<jet_database> open(tk::file_target& target,
                                              const std::u16string& connect, bool exclusive,
                                              bool read_only);
    ~jet_database();
    jet_database(const jet_database&) = delete;
    jet_database& operator=(const jet_database&) = delete;

    int version() const;  // 0 BIFF5, 1 BIFF8

    // Columns of new worksheets fit their widest value, header included,
    // and are never narrower than the default width nor wider than this
    // many characters (a longer text is cut off on screen, or wrapped when
    // its cell format wraps). Applies to the sheets created after the call.
    static constexpr unsigned k_max_column_chars = 60;
    void set_max_column_width(unsigned chars);
    // A BIFF8 string table past its first MiB goes straight into the file
    // that close writes, at its place there, instead of a spool of its own
    // that close copies (the default; the files are the same either way).
    void set_string_table_in_place(bool on);
    const std::string& path() const { return path_; }

    // The worksheets, in workbook order (chart and module sheets are not
    // tables and are not listed).
    std::vector<std::u16string> table_names() const;
    // Adds an empty worksheet with the column names in row 0.
    // 3125 invalid sheet or column name, 3010 a sheet of that name exists
    // (names compare regardless of case), 3264 no columns, 3190 more than
    // 255, 3191 a column name twice, 3259 unknown field type, 3027 read-only.
    jet_table& create_table(const std::u16string& name, const std::vector<jet_column>& columns);
    // The worksheet of that name (regardless of case), or null.
    jet_table* find_table(const std::u16string& name);
    // Removes a worksheet: 3011 when there is none of that name; 3251 when
    // it is the workbook's last sheet, or an old sheet of a workbook whose
    // names or external references count sheets by position.
    void delete_table(const std::u16string& name);
    // Writes the workbook (when anything changed) and releases the file.
    // Idempotent. On failure (3026 disk full, 3051, 3035) the destination is
    // untouched and the database stays open, so close may be tried again.
    // A new workbook without any worksheet is not written (a workbook
    // needs a sheet). The destructor without close discards all changes.
    void close();

    struct impl;  // internal state (jet_dbimpl.h)

  private:
    friend class jet_table;
    explicit jet_database(std::unique_ptr<impl> p);
    // The whole compound file onto `out` (close wraps it in an atomic file).
    void write_workbook_to(tk::sink& out);

    std::unique_ptr<impl> impl_;
    std::string path_;
};
