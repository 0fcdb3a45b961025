// The workbook database engine: opens workbooks as databases of the
// universal model (dao_database) through the built-in workbook driver
// (src/jet), which stands where DAO 3.6 and its Excel driver stand on the
// original platform. One engine exists per process; the converter owns it.
//
// dao_exception carries a driver failure up the toolkit's exception family:
// the driver's text as message, its number as number(), and 0x10000 +
// number as the system error the error maps look up. Its level is 0 (the
// run may go on). The driver numbers are listed in docs/workbook_driver.md;
// the ones this layer raises itself are:
//   3047 "Record is too large."  never leaves append_record: the cell that
//        is too large is left empty and the rest of the row written
//   3251 appending to a worksheet that was not created in this session
//   3349 a value the cell cannot hold (a date before 1900 in a date column,
//        a number out of the column type's range)
//   3421 a value that does not convert to the column's type
//   3437 "Spreadsheet is full." the worksheet holds no more records (65,535
//        in BIFF8, 16,383 in BIFF5, below the header row); nothing of the
//        record was written (see dao_is_sheet_full)
#pragma once

#include <cstdint>
#include <string>

#include "TK/tk_excep.h"
#include "TK/tk_singl.h"

class jet_error;
class dao_database;
namespace tk {
class file_target;
}

// The driver's number for a worksheet that holds no more records.
inline constexpr long dao_err_sheet_full = 3437;
inline constexpr long dao_err_record_too_large = 3047;
inline constexpr long dao_err_overflow = 3349;

class dao_exception : public tk_exception {
  public:
    // From a failure of the driver. The engine must exist (an internal
    // error otherwise), as it must for every driver call.
    explicit dao_exception(const jet_error& e);
    // A failure numbered like the driver's, raised by this layer.
    dao_exception(long number, const std::string& text);

    long number() const { return number_; }
    bool has_number() const { return has_number_; }

  private:
    void set_number(long number);

    long number_ = 0;
    bool has_number_ = false;
};

// True for the dao_exception of a worksheet that holds no more records.
// The converter then goes on in a continuation workbook (split data) or
// stops copying the item and reports what was left out.
bool dao_is_sheet_full(const tk_exception& e);
// True for a dao_exception about one record (a value refused): the
// converter reports it with the record's number and goes on.
bool dao_is_record_refused(const tk_exception& e);

// Deletes a database file and its ".ldb" lock file when destroyed, if
// armed. Nothing arms it in this program's flow.
class dao_generator {
  public:
    ~dao_generator();
    void arm(const std::u16string& path) { path_ = path; }
    void disarm() { path_.clear(); }

  private:
    std::u16string path_;
};

// Mode bits of dao_database (kept by udb_database::mode()).
inline constexpr int32_t dao_mode_read_only = 0x01;
inline constexpr int32_t dao_mode_append_only = 0x02;
inline constexpr int32_t dao_mode_append_existing = 0x08;
inline constexpr int32_t dao_mode_exclusive = 0x10;
inline constexpr int32_t dao_mode_no_relations = 0x20;
inline constexpr int32_t dao_mode_no_relations2 = 0x40;
inline constexpr int32_t dao_mode_no_queries = 0x80;

class dao_engine : public tk_singleton<dao_engine> {
  public:
    // Key of the one version this program loads (DAO 3.6: the built-in
    // driver), and the key that means "none loaded".
    static constexpr int kDao36 = 0;
    static constexpr int kNone = 4;

    // `com_initialized`: the caller has set up the platform's component
    // layer already. The built-in driver needs none, so this is only kept.
    explicit dao_engine(bool com_initialized = false);
    virtual ~dao_engine();

    // Unloads a loaded version, then loads version `key` (true when it
    // could). Key 0 always loads: the driver is built in. A key that is not
    // in the version table is an internal error.
    bool set_version_if(int key);
    int version_key() const { return version_; }

    // Opens the existing workbook `file_name`; exclusive and read-only come
    // from the mode bits 0x10 and 0x01. The result's mode is `mode` | 0x20.
    // The caller owns the result. Without a loaded version: internal error.
    dao_database* open_dao_src(const std::u16string& file_name, const std::u16string& connect,
                               int32_t mode);
    // Opens a workbook that does not exist yet; it is written when the
    // database closes. Mode 0x72. The caller owns the result.
    dao_database* create_dao_src(const std::u16string& file_name, const std::u16string& connect);
    // The same for a workbook kept in `file` (tk_publ.h) rather than at a
    // path: open_dao_src opens its present content, create_dao_src starts a
    // new workbook; closing the database writes the new content into
    // `file`, which must outlive the database. The database is named
    // file.name().
    dao_database* open_dao_src(tk::file_target& file, const std::u16string& connect, int32_t mode);
    dao_database* create_dao_src(tk::file_target& file, const std::u16string& connect);

    // Database files of another kind, which the workbook driver cannot
    // open: both raise dao_exception 3170 (no such driver).
    virtual dao_database* create_db(const std::u16string& file_name);
    virtual dao_database* open_db(const std::u16string& file_name, const std::u16string& connect,
                                  int32_t mode, const std::u16string& password);

    bool com_initialized() const { return com_initialized_; }

  private:
    void uninitialize();
    void require_loaded(int line) const;
    dao_database* open(const std::u16string& file_name, tk::file_target* file,
                       const std::u16string& connect, bool exclusive, bool read_only, int32_t mode);

    int version_ = kNone;
    dao_generator generator_;
    bool com_initialized_;
};
