// The workbook half of the converter chain: the workbook settings (format
// version, split, wrap, dates as text) and the steps of a run that write
// workbooks: do_convert (every selected item in name order), convert_table
// (one item's records), do_patch and clean_if_exists.
//
// Workbooks of the .xls versions are opened and closed once per item; an
// .xlsx workbook, written as a stream, stays open for the whole run: the
// driver keeps one per file of the run and closes (writes) them all after
// the last item (xls_destination::keeps_workbook_open).
//
// A run's files appear only when the run is complete. do_convert first
// refuses a destination it must not replace (the source database itself, a
// read-only file) and takes the destination's lock (a second run on it is
// refused); every workbook of the run (the destination and its continuation
// files) is then written and patched in a tk::publication and takes its
// final name only at the end. A run that fails to write a workbook, writes
// none, is aborted or stopped leaves the old files as they were; a failure
// to write (tk_write_failure: no space, a quota, the file-size limit, an I/O
// error) ends the run at once with one report naming the destination.
//
// The converter owns its workbook side (xls_destination: the workbook
// driver and the two workbook engines) and borrows the front end, which
// must outlive it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/cnv_base.h"

class conversion_front;
class record_preparer;
class tk_exception;
class udb_database;
class udb_record;
class udb_recordset;
class record_pipe;
class udb_schema;
class udb_validator;
class xls_destination;
namespace tk {
class file_lock;
class file_target;
class publication;
}  // namespace tk

class xls_converter : public udb_converter {
  public:
    xls_converter(std::unique_ptr<xls_destination> destination, conversion_front& front);
    ~xls_converter() override;

    // 0 = Excel 5.0 (BIFF5), 1 = Excel 2000 (BIFF8), 2 = Excel 2007 (.xlsx);
    // -1 = not given.
    int32_t format_version = -1;
    // Rows past a worksheet's capacity continue in "<base>(1).xls", ...
    bool split_data = false;
    // Date columns become text columns (always so in Excel 5.0).
    bool dates_to_strings = false;

    bool wrap_text() const { return wrap_text_; }
    // Keeps the setting and copies it into both workbook engines.
    void set_wrap_text(bool wrap);

    // Converts every selected item from `source`, then patches and
    // publishes the result. A destination that destination_refusal refuses
    // (cnv_guard.h), or that another run holds, is refused with a level-1
    // tk_exception before anything is written. A failure to write ends the
    // run through error_handler::end_run (tk_final_exception).
    void do_convert(udb_database& source);
    // Copies one item's records into the worksheet `name` of the destination
    // and, when it is full and split_data is set, of the continuation files.
    void convert_table(udb_recordset& reader, const std::u16string& name, const udb_schema& schema);
    // After publishing: with split_data, deletes the continuation files an
    // earlier run left past the ones this run wrote (workbooks only: a file
    // without the compound-file signature is not ours and stays).
    void clean_if_exists();
    // Patches the written workbook (and continuation files) for formatting.
    void do_patch();

    // A file the last run put in place: its path, and the worksheets and
    // records this run wrote into it.
    struct written_file {
        std::u16string path;
        int32_t sheets = 0;
        int64_t records = 0;
    };
    // The files the last run published, the destination first, then its
    // continuation files in order; empty when it published nothing (it was
    // aborted, refused or wrote nothing). Read it once the run has ended.
    const std::vector<written_file>& published_files() const { return published_; }
    // What the last run told of how it kept values, one line per column and
    // item ("EMP: Column ID: 2 values with more than 15 significant digits
    // were written as text to keep every digit."); no errors. Read it once
    // the run has ended.
    const std::vector<std::u16string>& run_notes() const { return notes_; }

    // Refuses, with a report, a trace log file that is not to be written
    // (the log refused it itself, or it is a file of this run: see
    // trace_log_refusal); tracing then stops, and a file the log made is
    // removed. True when it refused, once per log file name. The run asks
    // before it writes; the agent asks before it connects.
    bool check_trace_log();

    // Whether the last run reported anything: an error report (an item or
    // record that failed, rows left out, a workbook not written, nothing
    // written) or a selected table the source lacks. The agent's exit
    // status and the wizard's finish page read it.
    bool anything_reported() const;

    // The workbook keys of a profile ("MS Excel settings"): a key that is
    // present and not empty sets its setting, true exactly for "1"; the
    // format version is 1 for "1", 2 for "2" and 0 for any other text.
    bool load_workbook_settings(const udb_profile& profile);
    bool store_workbook_settings(udb_profile& profile) const;

    // The format versions there are: 0, 1 and 2.
    static constexpr int32_t kFormatVersions = 3;
    static bool is_format_version(int32_t v) { return v >= 0 && v < kFormatVersions; }
    // The extension of a version's workbooks: ".xlsx" for 2, else ".xls".
    static std::u16string workbook_extension(int32_t format_version);

    // "/out/book.xls" and 2 give "/out/book(2).xls".
    static std::u16string continuation_name(const std::u16string& dest, int n);
    // A destination as the user gave it, with the extension of
    // `format_version`'s workbooks (another one replaced, a missing one
    // added; the right one in any letter case kept as given); empty when
    // `value` names no file (empty, or a folder).
    static std::u16string workbook_name(const std::u16string& value, int32_t format_version = 1);

    xls_destination& destination() { return *destination_; }
    conversion_front& front() { return front_; }

  protected:
    // The file of the source database when it is one on this machine
    // (empty otherwise): the destination must not replace it.
    virtual std::string source_file() const { return {}; }
    // Marks the start of a run for anything_reported.
    void start_reporting();

  private:
    class sheet_writer;

    void open_output();
    void count_written(const std::u16string& path, int64_t records);
    // Closes (writes) the workbooks kept open for the run, in the order
    // they were created; each failure is reported with its file's name.
    void close_run_books();
    void publish_output();
    // Writes one workbook through the destination; a failure is kept (the
    // run's files are then not published) and raised.
    void close_workbook(udb_database& database);
    // The workbook kept open for `file` in this run, created with its first
    // worksheet.
    udb_database& run_book(tk::file_target& file);
    void report(const std::string& text);

    void convert_item(udb_database& source, udb_validator& names, std::vector<std::u16string>& used,
                      const std::u16string& name, const std::u16string& query);
    bool copy_record(record_pipe& reader, sheet_writer& out, udb_record& row);
    // Moves to the next record; false at the end of the item.
    bool advance(record_pipe& reader, sheet_writer& out);
    // The reader's is_eof, going on past the records it refuses (each is
    // reported and counted); false at the end of the item.
    bool next_row(record_pipe& reader, sheet_writer& out);
    // What a failure while copying a record means: true to go on with the
    // next record, false to end the item; anything else is rethrown.
    bool record_failed(const tk_exception& e, sheet_writer& out);
    void report_left_out();
    // Reports once for the item the characters its workbook could not hold.
    void report_replaced(size_t count);
    // Reports, under the item's name, the columns past kMaxColumns.
    void report_columns_left_out(size_t columns);
    // One line per column of the item for what its values needed: texts
    // cut and texts read in the code page are reported, numbers written as
    // text to keep their digits are told (not an error).
    void report_notes(const udb_schema& schema);

    std::unique_ptr<xls_destination> destination_;
    conversion_front& front_;
    bool wrap_text_ = false;

    // The running conversion's lock and files; null between runs.
    std::unique_ptr<tk::file_lock> lock_;
    std::unique_ptr<tk::publication> output_;
    // Workbooks kept open for the whole run (xlsx), by file; deleted before
    // the publication whose files they write.
    std::vector<std::pair<tk::file_target*, std::unique_ptr<udb_database>>> run_books_;
    bool write_failed_ = false;  // a workbook of the run could not be written
    std::string log_refused_;    // the trace log file refused and reported
    int parts_ = 0;              // continuation files the run wrote
    int32_t tables_missing_ = 0;
    size_t reports_before_ = 0;
    size_t replaced_ = 0;                  // characters of the current item written replaced
    std::vector<written_file> written_;    // the run's files so far
    std::vector<written_file> published_;  // the last run's files in place
    std::vector<std::u16string> notes_;    // the run's table notes
    // The current item's value preparation (made by convert_table).
    std::unique_ptr<record_preparer> preparer_;
};
