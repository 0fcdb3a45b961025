#include "core/xls_conv.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <new>

#include "OLE/ole_types.h"
#include "TK/tk_cpage.h"
#include "TK/tk_excep.h"
#include "TK/tk_flock.h"
#include "TK/tk_fname.h"
#include "TK/tk_log.h"
#include "TK/tk_publ.h"
#include "TK/tk_utf.h"
#include "TK/tk_utils.h"
#include "UDB/udb_db.h"
#include "UDB/udb_prof.h"
#include "UDB/udb_vali.h"
#include "core/cnv_dest.h"
#include "core/cnv_front.h"
#include "core/cnv_guard.h"
#include "core/cnv_pipe.h"
#include "core/cnv_val.h"
#include "core/err_hand.h"

namespace {

bool file_exists(const std::u16string& path) {
    struct stat st {};
    return !path.empty() && ::stat(tk::utf16_to_utf8(path).c_str(), &st) == 0;
}

void remove_file(const std::u16string& path) {
    if (::unlink(tk::utf16_to_utf8(path).c_str()) != 0) {
        tk_wtrace(2, u"Cannot delete %s", path.c_str());
    }
}

bool contains_nocase(const std::vector<std::u16string>& names, const std::u16string& name) {
    return std::any_of(names.begin(), names.end(),
                       [&](const std::u16string& n) { return tk_equal_nocase(n, name); });
}

// Calls table_ended on every way out of an item's copy.
struct table_bracket {
    conversion_front& front;
    ~table_bracket() { front.table_ended(); }
};

bool same_file(const struct stat& a, const std::string& path) {
    struct stat b {};
    return ::stat(path.c_str(), &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

// The destination of one item: the workbook opened as a database and the
// worksheet's recordset, first in the destination file and, when a
// worksheet is full and split_data is set, in the continuation files. The
// recordset is deleted before its database on every way out. The
// database is the item's own (opened per item) or, for a workbook that
// stays open for the run, borrowed from the converter.
class xls_converter::sheet_writer {
  public:
    sheet_writer(xls_converter& owner, const std::u16string& name, const udb_schema& schema)
        : owner_(owner), destination_(owner.destination()), name_(name), schema_(schema) {
        open(owner_.dest);
    }
    ~sheet_writer() { close(); }

    void append(udb_record& row) {
        recordset_->append_record(row);
        ++rows_;
    }
    // Rows written into the current file.
    int64_t rows() const { return rows_; }
    // Writes the current workbook and goes on in the next continuation file.
    void next_part() {
        finish();
        open(continuation_name(owner_.dest, ++part_));
        owner_.parts_ = std::max(owner_.parts_, part_);
    }
    // The normal end: the item's workbook written (a workbook kept for the
    // run is written at its end), a failure raised (and kept: the run's
    // files are then not published).
    void finish() {
        count_replaced();
        const bool sheet = recordset_ != nullptr;
        recordset_.reset();
        database_ = nullptr;
        if (owned_)
            owner_.close_workbook(*owned_);
        owned_.reset();
        if (sheet)
            owner_.count_written(path_, rows_);
    }
    // Deletes the recordset, then the item's database (which closes the file).
    void close() {
        count_replaced();
        const bool sheet = recordset_ != nullptr;
        recordset_.reset();
        if (database_ && sheet)
            owner_.count_written(path_, rows_);
        database_ = nullptr;
        owned_.reset();
    }

  private:
    void count_replaced() {
        if (recordset_)
            owner_.replaced_ += destination_.replaced_characters(*recordset_);
    }
    void open(const std::u16string& path) {
        if (!owner_.output_)
            throw tk_mail_assertion("xls_conv", __LINE__);  // only inside do_convert
        tk::file_target& file = owner_.output_->file(tk::utf16_to_utf8(path));
        if (destination_.keeps_workbook_open(owner_.format_version)) {
            database_ = &owner_.run_book(file);
        } else {
            std::u16string connect = destination_.connect(owner_.format_version);
            owned_.reset(
                !file.content_path().empty()
                    ? destination_.open_dao_src(file, connect, xls_destination::kAppendMode)
                    : destination_.create_dao_src(file, connect));
            database_ = owned_.get();
        }
        udb_indexes no_indexes;
        recordset_.reset(database_->create_table(name_, schema_, no_indexes));
        rows_ = 0;
        path_ = path;
    }

    xls_converter& owner_;
    xls_destination& destination_;
    const std::u16string& name_;
    const udb_schema& schema_;
    std::unique_ptr<udb_database> owned_;  // the item's own workbook
    udb_database* database_ = nullptr;     // the item's or the run's
    std::unique_ptr<udb_recordset> recordset_;
    std::u16string path_;  // the file the worksheet is in
    int64_t rows_ = 0;
    int part_ = 0;
};

std::u16string xls_converter::continuation_name(const std::u16string& dest, int n) {
    tk_file_wname parts(dest.c_str());
    return parts.folder() + parts.name() + u"(" + tk::ascii_to_utf16(std::to_string(n)) + u")" +
           parts.extension();
}

xls_converter::xls_converter(std::unique_ptr<xls_destination> destination, conversion_front& front)
    : destination_(std::move(destination)), front_(front) {}

xls_converter::~xls_converter() = default;

void xls_converter::set_wrap_text(bool wrap) {
    wrap_text_ = wrap;
    destination_->set_wrap(wrap);
}

std::u16string xls_converter::workbook_extension(int32_t format_version) {
    return format_version == 2 ? u".xlsx" : u".xls";
}

std::u16string xls_converter::workbook_name(const std::u16string& value, int32_t format_version) {
    if (value.empty())
        return {};
    // A name no file system holds (from a profile) is kept as given: the
    // run and the wizard's destination page refuse it with a message.
    if (tk::utf16_to_utf8(value).size() >= PATH_MAX)
        return value;
    tk_file_wname parts(value.c_str());
    if (parts.name().empty())
        return {};
    // The extension in another letter case (".XLS") is the user's own
    // spelling: kept, so that the run replaces the user's file rather than
    // writing a second one beside it.
    const std::u16string want = workbook_extension(format_version);
    std::u16string ext = parts.extension();
    if (!tk_equal_nocase(ext, want))
        ext = want;
    return parts.folder() + parts.name() + ext;
}

void xls_converter::clean_if_exists() {
    tk_trace(1, "xls_converter::clean_if_exists");
    if (!split_data || dest.empty())
        return;
    const std::string source = source_file();
    struct stat src {};
    const bool has_source = !source.empty() && ::stat(source.c_str(), &src) == 0;
    for (int n = parts_ + 1;; ++n) {
        std::u16string part = continuation_name(dest, n);
        if (!file_exists(part))
            break;
        std::string path = tk::utf16_to_utf8(part);
        if (is_workbook_file(path, format_version) && !(has_source && same_file(src, path)))
            remove_file(part);
    }
}

void xls_converter::do_patch() {
    tk_trace(2, "xls_converter::do_patch");
    if ((format_version != 0 && format_version != 1) || !output_)
        return;
    // One file that cannot be patched is reported with its name; the others
    // are still patched (their data is complete either way).
    // Every workbook written gets the header format, whatever its items
    // (tables or queries only).
    struct patching_scope {
        std::atomic<bool>& flag;
        ~patching_scope() { flag = false; }
    } scope{patching};
    for (tk::file_target* file : output_->written()) {
        patching = true;
        try {
            destination_->patch(format_version, *file);
        } catch (const tk_exception& e) {
            error_handler::instance().set_table(tk::utf8_to_utf16(file->name()));
            error_handler::instance().handle(e, false);
        }
    }
}

void xls_converter::start_reporting() {
    reports_before_ = error_handler::exists() ? error_handler::instance().report_count() : 0;
    tables_missing_ = 0;
    written_.clear();
    published_.clear();
    notes_.clear();
}

void xls_converter::count_written(const std::u16string& path, int64_t records) {
    auto file = std::find_if(written_.begin(), written_.end(),
                             [&](const written_file& f) { return f.path == path; });
    if (file == written_.end())
        file = written_.insert(written_.end(), written_file{path});
    ++file->sheets;
    file->records += records;
}

bool xls_converter::anything_reported() const {
    size_t now = error_handler::exists() ? error_handler::instance().report_count() : 0;
    return now != reports_before_ || tables_missing_ != 0;
}

void xls_converter::report(const std::string& text) {
    error_handler& handler = error_handler::instance();
    handler.set_table(dest);
    handler.handle(tk_exception(text, 0), false);
}

bool xls_converter::check_trace_log() {
    tk_log* log = tk_log::instance_ptr();
    if (!log || logfile().empty() || log_refused_ == log->path())
        return false;
    std::string why = log->refusal();
    if (why.empty() && log->enabled())
        why = trace_log_refusal(log->path(), dest, source_file());
    if (why.empty())
        return false;
    log->withdraw();
    log_refused_ = log->path();
    error_handler& handler = error_handler::instance();
    handler.set_table(u"");
    handler.report(tk_exception(why, 0));
    return true;
}

void xls_converter::open_output() {
    check_trace_log();
    const std::string source = source_file();
    std::string refusal = destination_refusal(dest, source, format_version);
    if (refusal.empty())
        lock_ = lock_destination(dest, refusal);
    if (!refusal.empty())
        throw tk_exception(refusal, 1);
    destination_set set(dest);
    // Files a killed run made for this destination's set, as its lock file
    // recorded them (never the source, whatever it is called).
    std::vector<std::string> stale;
    struct stat src {};
    const bool has_source = !source.empty() && ::stat(source.c_str(), &src) == 0;
    for (const std::string& name : lock_->recorded())
        if (!(has_source && same_file(src, name)))
            stale.push_back(name);
    tk::publication::remove_stale(set.folder, stale, [&](const std::string& file) {
        return set.is_destination(file) || set.is_continuation(file);
    });
    lock_->clear_recorded();
    tk::file_lock* lock = lock_.get();
    output_ =
        std::make_unique<tk::publication>(set.folder, tk::publication::temporaries::anonymous,
                                          [lock](const std::string& temp) { lock->record(temp); });
    write_failed_ = false;
    parts_ = 0;
}

void xls_converter::publish_output() {
    // A run stopped from outside (a signal, the wizard's cancel) is not complete.
    if (stop_requested())
        throw tk_final_exception();
    std::vector<tk::file_target*> files = output_->written();
    if (write_failed_) {
        report(
            "A workbook of this conversion could not be written; the destination is left as "
            "it was.");
        return;
    }
    if (files.empty()) {
        report("No workbook was written; the destination is left as it was.");
        return;
    }
    const std::string destination = tk::utf16_to_utf8(dest);
    for (tk::file_target* f : files) {
        struct stat st {};
        if (f->name() != destination && ::stat(f->name().c_str(), &st) == 0 &&
            !is_workbook_file(f->name(), format_version)) {
            report("The file " + f->name() +
                   " is not a workbook and is not replaced; the workbooks of this conversion "
                   "were not written. Move it away and convert again.");
            return;
        }
    }
    try {
        output_->publish();
    } catch (const tk_exception& e) {
        report("The workbooks of this conversion could not be put in place (" + e.message() +
               "); the destination is left as it was.");
        return;
    }
    published_ = written_;
    clean_if_exists();
}

void xls_converter::do_convert(udb_database& source) {
    tk_trace(2, "xls_converter::do_convert");
    start_reporting();
    // The lock, the workbooks kept open and the unpublished files go on
    // every way out of the run. A file past the size limit fails its write
    // (EFBIG) rather than ending the process by SIGXFSZ.
    struct output_scope {
        xls_converter& c;
        struct sigaction old_xfsz {};
        explicit output_scope(xls_converter& conv) : c(conv) {
            struct sigaction ignore {};
            ignore.sa_handler = SIG_IGN;
            sigemptyset(&ignore.sa_mask);
            sigaction(SIGXFSZ, &ignore, &old_xfsz);
        }
        ~output_scope() {
            c.run_books_.clear();
            c.output_.reset();
            c.lock_.reset();
            sigaction(SIGXFSZ, &old_xfsz, nullptr);
        }
    } scope{*this};
    open_output();
    if (!destination_->set_version_if(0)) {
        throw tk_exception(
            "Failed to load Data Access Objects (DAO) support library.\n"
            "Microsoft Access installation is required to proceed with\n"
            "the application.\n",
            1);
    }
    // The front ends reject other versions; none may reach a workbook.
    if (!is_format_version(format_version))
        throw tk_mail_assertion("xls_conv", __LINE__);

    std::unique_ptr<udb_validator> names =
        destination_->make_sheet_validator(selected_tables, source.table_names());
    for (const std::u16string& table : selected_tables) selected_items.emplace(table, u"");
    item_count = static_cast<int32_t>(selected_items.size());

    try {
        std::vector<std::u16string> used;
        for (const auto& [name, query] : selected_items) {
            if (stop_requested())
                throw tk_final_exception();
            set_current_table(name);
            if (query.empty() && !source.is_table_exist(name)) {
                ++tables_missing_;
                front_.table_missing(name);
            } else if (query.empty()) {
                // A selected name matches the source's table as the source
                // compares names; the worksheet takes the catalog's spelling.
                convert_item(source, *names, used, source.listed_name(name), query);
            } else {
                convert_item(source, *names, used, name, query);
            }
            record_count = 0;
            record_index = 0;
            ++tables_done;
        }
        // A stopped run writes nothing more (and publishes nothing).
        if (stop_requested())
            throw tk_final_exception();
        close_run_books();
        do_patch();
        publish_output();
    } catch (const tk_write_failure& e) {
        // No space, a quota, the file-size limit, an I/O error: every later
        // write would fail alike. One report, and nothing of the run stays.
        run_books_.clear();
        output_.reset();
        error_handler& handler = error_handler::instance();
        handler.set_table(dest);
        handler.end_run(tk_exception("The workbook could not be written (" + e.message() +
                                         "); the conversion was stopped and the destination is "
                                         "left as it was.",
                                     1));
    }
    completed = true;
}

void xls_converter::close_workbook(udb_database& database) {
    try {
        destination_->close_database(database);
    } catch (...) {
        write_failed_ = true;
        throw;
    }
}

udb_database& xls_converter::run_book(tk::file_target& file) {
    for (auto& [f, db] : run_books_)
        if (f == &file)
            return *db;
    std::unique_ptr<udb_database> db(
        destination_->create_dao_src(file, destination_->connect(format_version)));
    run_books_.emplace_back(&file, std::move(db));
    return *run_books_.back().second;
}

void xls_converter::close_run_books() {
    for (auto& [file, db] : run_books_) {
        try {
            close_workbook(*db);
        } catch (const tk_write_failure&) {
            throw;  // ends the run
        } catch (const tk_exception& e) {
            // Nothing of the run is published now: the other workbooks are
            // not written, and the failure is said once.
            error_handler::instance().set_table(tk::utf8_to_utf16(file->name()));
            error_handler::instance().handle(e, false);
            break;
        }
    }
    run_books_.clear();
}

void xls_converter::convert_item(udb_database& source, udb_validator& names,
                                 std::vector<std::u16string>& used, const std::u16string& name,
                                 const std::u16string& query) {
    bool accepted = names.is_acceptable(name) && !contains_nocase(used, name);
    std::u16string sheet = accepted ? name : names.get_safe_name(name);
    replaced_ = 0;
    udb_schema schema(true);
    try {
        // Dates written as text are read as text: a value that is no date
        // is then written as the source holds it.
        const int32_t mode = 1 | (dates_to_strings || format_version == 0 ? udb_dates_as_text : 0);
        std::unique_ptr<udb_recordset> reader(query.empty() ? source.get_table(name, mode)
                                                            : source.get_table(name, query, mode));
        size_t n = reader->schema().count();
        if (n > kMaxColumns) {
            front_.too_many_columns(name, n);
            report_columns_left_out(n);
            n = kMaxColumns;
        }
        for (size_t i = 0; i < n; ++i) {
            const t_ftd& column = reader->schema()[i];
            uint16_t kind = column.vartype;
            if (kind == VT_DATE && (dates_to_strings || format_version == 0))
                kind = VT_BSTR;
            if (is_binary_kind(kind))
                kind = VT_BSTR;
            // A worksheet holds every number as a double; an integer field
            // would round or refuse a value beyond the column's declared
            // precision, which a source need not enforce.
            if (kind == VT_I1 || kind == VT_I2 || kind == VT_I4)
                kind = VT_R8;
            tk_trace(1, "Orig type=%d, new type=%d", column.vartype, kind);
            schema.add(std::make_unique<t_ftd>(column.size, column.name, kind, false, false,
                                               ole_variant(), 0));
        }
        convert_table(*reader, sheet, schema);
    } catch (const tk_write_failure&) {
        throw;  // ends the run (do_convert)
    } catch (const tk_exception& e) {
        // A source interrupted by a stop request says so; the run ends quietly.
        if (stop_requested())
            throw tk_final_exception();
        error_handler::instance().set_table(current_table());
        error_handler::instance().handle(e, false);
    }
    report_notes(schema);
    preparer_.reset();
    report_replaced(replaced_);
    if (!accepted)
        tk_wtrace(2, u"Store generated table name '%s'", sheet.c_str());
    names.add_existing_name(sheet);
    used.push_back(sheet);
}

void xls_converter::convert_table(udb_recordset& reader, const std::u16string& name,
                                  const udb_schema& schema) {
    tk_wtrace(2, u"xls_converter::convert_table(%s)", name.c_str());
    sheet_writer out(*this, name, schema);
    record_count = static_cast<int32_t>(std::min<uint32_t>(reader.records_count(), INT32_MAX));
    std::u16string current = current_table();
    tk_wtrace(3, u"Converting table %s (%d records)", current.c_str(), record_count.load());
    front_.table_started(current, record_count);
    table_bracket bracket{front_};

    preparer_ = std::make_unique<record_preparer>(schema, max_text_length(format_version));
    udb_record row;
    reader.move_first();
    // The source is read on a thread of its own, ahead of the rows written
    // here; records and failures come in the reader's own order.
    record_pipe rows(reader);
    bool more = next_row(rows, out);
    while (more) {
        if (stop_requested())
            throw tk_final_exception();
        tk_trace(1, "Converting %d record", record_index.load());
        if (!copy_record(rows, out, row))
            break;
        int32_t done = record_index + 1;
        record_index = done;
        front_.records_done(done);
        more = advance(rows, out);
    }
    out.finish();
}

bool xls_converter::copy_record(record_pipe& reader, sheet_writer& out, udb_record& row) {
    udb_record* in = nullptr;
    for (;;) {
        try {
            // The reader hands out each row once: a retry appends the row
            // prepared from it again.
            if (!in) {
                in = reader.get_item();
                if (!in)
                    throw tk_mail_assertion("xls_conv",
                                            __LINE__);  // a reader not at its end has a row
                preparer_->prepare(*in, row);
            }
            out.append(row);
            preparer_->commit();
            return true;
        } catch (const std::bad_alloc&) {
            // A value too large to be held costs its record only.
            return record_failed(
                udb_record_refused(tk_exception(
                    "The record is too large to be held in memory and was not written.", 0)),
                out);
        } catch (const tk_exception& e) {
            if (!destination_->is_sheet_full(e))
                return record_failed(e, out);
            if (!split_data) {
                report_left_out();
                return false;
            }
            // A new worksheet that is full before its first row would never end.
            if (out.rows() == 0)
                throw tk_mail_assertion("xls_conv", __LINE__);
            out.next_part();  // and write this record there
        }
    }
}

bool xls_converter::advance(record_pipe& reader, sheet_writer& out) {
    try {
        reader.next();
    } catch (const tk_exception& e) {
        if (!record_failed(e, out))
            return false;
    }
    return next_row(reader, out);
}

bool xls_converter::next_row(record_pipe& reader, sheet_writer& out) {
    for (;;) {
        try {
            return !reader.is_eof();
        } catch (const tk_exception& e) {
            if (!record_failed(e, out))
                return false;
            // The reader refused the record it could not read and passed it:
            // it counts as done, and the next one is tried.
            int32_t done = record_index + 1;
            record_index = done;
            front_.records_done(done);
            if (stop_requested())
                throw tk_final_exception();
        }
    }
}

bool xls_converter::record_failed(const tk_exception& e, sheet_writer& out) {
    if (stop_requested())
        throw tk_final_exception();
    error_handler& handler = error_handler::instance();
    if (destination_->is_record_refused(e) || dynamic_cast<const udb_record_refused*>(&e)) {
        handler.set_position(current_table(), record_index + 1);
        handler.handle(e, false);
        return true;
    }
    if (e.code() == 0) {
        // The rows after this one cannot be read: say where the item ends.
        handler.set_position(current_table(), record_index + 1);
        handler.handle(e, false);
        return false;
    }
    tk_trace(2, "Right before dtors");
    out.close();
    tk_trace(2, "Right after dtors");
    throw;
}

void xls_converter::report_replaced(size_t count) {
    if (count == 0)
        return;
    const int cp = tk_ansi_codepage();
    std::string text = std::to_string(count) + (count == 1 ? " character" : " characters") +
                       " that code page " + std::to_string(cp) +
                       " cannot hold were written as \"?\" (as \"_\" in the worksheet name). "
                       "Set TSL_CODEPAGE to a code page that holds them to keep them.";
    error_handler& handler = error_handler::instance();
    handler.set_table(current_table());
    handler.handle(tk_exception(text, 0), false);
}

void xls_converter::report_notes(const udb_schema& schema) {
    if (!preparer_)
        return;
    const std::vector<column_notes>& notes = preparer_->notes();
    error_handler& handler = error_handler::instance();
    // "1 value was", "2 values were"
    auto count = [](uint32_t n, const char* one, const char* more) {
        return std::to_string(n) + (n == 1 ? one : more);
    };
    const std::u16string item = current_table();
    for (size_t i = 0; i < notes.size() && i < schema.count(); ++i) {
        const std::string column = "Column " + tk::utf16_to_utf8(schema[i].name) + ": ";
        const column_notes& c = notes[i];
        if (c.digits_kept) {
            const std::string note =
                column + count(c.digits_kept, " value with more than ", " values with more than ") +
                std::to_string(kMaxNumberDigits) + " significant digits " +
                (c.digits_kept == 1 ? "was" : "were") + " written as text to keep every digit.";
            notes_.push_back(item + u": " + tk::utf8_to_utf16(note));
            front_.table_note(item, note);
        }
        if (c.cut) {
            handler.set_table(item);
            handler.report(tk_exception(column + count(c.cut, " value was", " values were") +
                                            " cut to " + std::to_string(preparer_->text_limit()) +
                                            " characters, the most a cell holds.",
                                        0));
        }
        if (c.recoded) {
            handler.set_table(item);
            handler.report(tk_exception(column +
                                            count(c.recoded, " value was not valid UTF-8 and was",
                                                  " values were not valid UTF-8 and were") +
                                            " read in code page " +
                                            std::to_string(tk_ansi_codepage()) + ".",
                                        0));
        }
    }
}

void xls_converter::report_left_out() {
    int32_t first = record_index + 1;
    int32_t left = std::max(record_count - record_index, 1);
    std::string text = "The worksheet holds no more rows: " + std::to_string(left) +
                       " records from record #" + std::to_string(first) +
                       " on were not written. Choose to split data into multiple spreadsheets "
                       "(--split) to keep them.";
    error_handler& handler = error_handler::instance();
    handler.set_table(current_table());
    handler.handle(tk_exception(text, 0), false);
}

void xls_converter::report_columns_left_out(size_t columns) {
    std::string text =
        "The worksheet holds no more columns: " + std::to_string(columns - kMaxColumns) +
        " columns from column #" + std::to_string(kMaxColumns + 1) + " on were not written.";
    // The front has asked its own question (too_many_columns): the report
    // asks nothing more.
    error_handler& handler = error_handler::instance();
    handler.set_table(current_table());
    handler.report(tk_exception(text, 0));
}

bool xls_converter::load_workbook_settings(const udb_profile& profile) {
    auto read = [&](const char16_t* key, bool& flag) {
        const std::u16string& v = profile.get(tsl_keys::kExcel, key);
        if (v.empty())
            return false;
        flag = v == u"1";
        return true;
    };
    // Profiles of the original program hold 0 or 1; 2 is Excel 2007, and any
    // other text still reads as 0.
    const std::u16string& version = profile.get(tsl_keys::kExcel, u"format version");
    if (!version.empty())
        format_version = version == u"1" ? 1 : version == u"2" ? 2 : 0;
    read(u"split data", split_data);
    bool wrap = wrap_text_;
    if (read(u"wrap text", wrap))
        set_wrap_text(wrap);
    read(u"convert dates to strings", dates_to_strings);
    return true;
}

bool xls_converter::store_workbook_settings(udb_profile& profile) const {
    auto flag = [](bool b) { return b ? u"1" : u"0"; };
    profile.set(tsl_keys::kExcel, u"convert dates to strings", flag(dates_to_strings));
    profile.set(tsl_keys::kExcel, u"format version",
                format_version == 2 ? u"2" : flag(format_version == 1));
    profile.set(tsl_keys::kExcel, u"split data", flag(split_data));
    profile.set(tsl_keys::kExcel, u"wrap text", flag(wrap_text_));
    return true;
}
