// Test doubles for the conversion driver: an in-memory source database with
// its readers, an in-memory workbook destination that still writes a marker
// file (the compound-file signature) into each workbook's file of the run's
// publication, a recording error view and a recording front end.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "TK/tk_excep.h"
#include "TK/tk_publ.h"
#include "TK/tk_utf.h"
#include "UDB/udb_db.h"
#include "UDB/udb_vali.h"
#include "core/cnv_dest.h"
#include "core/cnv_front.h"
#include "core/con_out.h"
#include "core/err_hand.h"

namespace cnv_test {

// ---- source ----------------------------------------------------------------

struct column {
    std::u16string name;
    uint16_t kind;
    uint32_t size = 10;
};

struct table {
    std::vector<column> columns;
    std::vector<std::vector<ole_variant>> rows;
    // The count the reader reports; -1: the number of rows.
    int64_t reported_count = -1;
    // Row whose get_item (or whose fetch through next) throws `failure`.
    int fail_get_item_at = -1;
    int fail_next_at = -1;
    std::function<void()> failure;
    // Rows the reader cannot read: is_eof refuses each one and passes it.
    std::set<size_t> unreadable;
};

class fake_reader : public udb_recordset {
  public:
    fake_reader(const std::u16string& name, const std::u16string& text, const table& t)
        : udb_recordset(name, text, true), table_(t) {
        for (const column& c : t.columns) {
            schema_.add(
                std::make_unique<t_ftd>(c.size, c.name, c.kind, false, false, ole_variant(), 0));
        }
        records_count_ =
            static_cast<uint32_t>(t.reported_count >= 0 ? t.reported_count : t.rows.size());
    }
    void move_first() override { pos_ = taken_ = 0; }
    bool is_eof() override {
        if (pos_ < table_.rows.size() && table_.unreadable.count(pos_)) {
            ++pos_;
            throw udb_record_refused(tk_exception("ORA-01847: day of month", 0));
        }
        return pos_ >= table_.rows.size();
    }
    void next() override {
        ++pos_;
        taken_ = 0;
        if (static_cast<int>(pos_) == table_.fail_next_at)
            table_.failure();
    }
    // Like the Oracle readers: each row is handed out once; asking again
    // before next() gives the following row.
    udb_record* get_item() override {
        if (static_cast<int>(pos_) == table_.fail_get_item_at)
            table_.failure();
        size_t at = pos_ + taken_++;
        if (at >= table_.rows.size())
            return nullptr;
        record_.clear();
        const auto& row = table_.rows[at];
        for (size_t i = 0; i < row.size(); ++i) {
            const column& c = table_.columns[i];
            record_.emplace_back(c.name, static_cast<int32_t>(c.size), row[i]);
        }
        return &record_;
    }
    void append_record(udb_record&) override { throw tk_mail_assertion("fake_reader", __LINE__); }

  private:
    const table& table_;
    size_t pos_ = 0;
    size_t taken_ = 0;
    udb_record record_;
};

class fake_source : public udb_database {
  public:
    fake_source() : udb_database(u"FAKE", 1, true) {}
    void add_table(const std::u16string& name, table t) {
        tables_[name] = std::move(t);
        table_names_.push_back(name);
    }
    void add_query(const std::u16string& text, table t) { queries_[text] = std::move(t); }
    std::vector<std::u16string> opened;  // names in the order readers were opened

    udb_recordset* create_table(const std::u16string&, const udb_schema&,
                                const udb_indexes&) override {
        throw tk_mail_assertion("fake_source", __LINE__);
    }
    udb_recordset* get_table(const std::u16string& name, int32_t) override {
        if (!is_table_exist(name))
            throw tk_mail_assertion("fake_source", __LINE__);
        opened.push_back(name);
        return new fake_reader(name, u"", tables_.at(name));
    }
    udb_recordset* get_table(const std::u16string& name, const std::u16string& text,
                             int32_t) override {
        opened.push_back(name);
        auto q = queries_.find(text);
        if (q == queries_.end())
            throw tk_exception("ORA-00942: table or view does not exist", 0);
        return new fake_reader(name, text, q->second);
    }
    bool test_query(const std::u16string&) override { return true; }

  private:
    std::map<std::u16string, table> tables_;
    std::map<std::u16string, table> queries_;
};

// ---- destination -----------------------------------------------------------

// A DAO-like failure: the number in the low 16 bits of system_error.
class fake_dao_error : public tk_exception {
  public:
    fake_dao_error(int number, const std::string& text)
        : tk_exception(text, 0, 0x10000u + static_cast<uint32_t>(number)) {}
    int number() const { return static_cast<int>(system_error() & 0xFFFF); }
};
inline constexpr int kSheetFullNumber = 3437;

struct sheet {
    std::vector<std::u16string> columns;
    std::vector<uint16_t> kinds;
    std::vector<std::vector<ole_variant>> rows;
};
struct workbook {
    std::u16string connect;
    std::vector<std::u16string> sheet_order;
    std::map<std::u16string, sheet> sheets;
    int opened = 0;  // times the workbook was opened as a database
};

struct workbook_store {
    std::map<std::u16string, workbook> files;
    size_t capacity = 1000000;  // rows a sheet holds
    // Rows (1-based, counted per sheet name over all files) the sheet refuses.
    std::map<std::u16string, std::vector<int>> refuse;
    std::vector<std::u16string> patched;
    std::vector<std::u16string> log;  // "create <path>", "open <path>", "close <path>"
    bool dao_loads = true;
    bool wrap = false;
    bool split = false;
    bool fail_close = false;  // closing a workbook finds the disk full
    int fail_append_at = -1;  // so does appending the n-th row (all sheets)
    // Version-2 workbooks stay open for the run (as .xlsx ones do).
    bool keep_open = false;
    std::vector<std::u16string> fail_patch;  // files whose patch fails (level 0)
    std::vector<std::u16string> finished;    // sheets whose finish_table ran
    std::map<std::u16string, int> appended;  // per sheet name, all files
    int appended_all = 0;
};

inline std::string narrow(const std::u16string& s) {
    return tk::utf16_to_utf8(s);
}
inline bool exists(const std::u16string& path) {
    struct stat st {};
    return ::stat(narrow(path).c_str(), &st) == 0;
}

class fake_sheet_rs : public udb_recordset {
  public:
    fake_sheet_rs(workbook_store& store, sheet& s, const std::u16string& name,
                  const udb_schema& schema)
        : udb_recordset(name, u"", true), store_(store), sheet_(s) {
        for (const t_ftd* f : schema) {
            schema_.add(std::make_unique<t_ftd>(f->size, f->name, f->vartype, false, false,
                                                ole_variant(), 0));
        }
    }
    void append_record(udb_record& record) override {
        if (record.size() != schema_.count()) {
            throw tk_exception(
                "The structures of data source does not conform to the destination table.", 0);
        }
        if (sheet_.rows.size() >= store_.capacity)
            throw fake_dao_error(kSheetFullNumber, "Spreadsheet is full.");
        int n = ++store_.appended[name_];
        if (++store_.appended_all == store_.fail_append_at) {
            errno = ENOSPC;
            throw tk_write_failure();
        }
        for (int r : store_.refuse[name_]) {
            if (r == n)
                throw fake_dao_error(3349, "Numeric field overflow.");
        }
        convert_record(record);
        std::vector<ole_variant> row;
        for (const udb_field& f : record) row.push_back(f.value());
        sheet_.rows.push_back(std::move(row));
    }

  private:
    workbook_store& store_;
    sheet& sheet_;
};

// What the fake writes as a workbook's content (a kept-open one: the
// signature of a zip file, as an .xlsx workbook begins).
inline constexpr char kBookMarker[] = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";
inline constexpr char kZipMarker[] = "PK\x03\x04";
inline constexpr char kXlsxConnect[] = "Excel 12.0 Xml;";

class fake_workbook_db : public udb_database {
  public:
    fake_workbook_db(workbook_store& store, tk::file_target& file, workbook& wb)
        : udb_database(tk::utf8_to_utf16(file.name()), 0x28, false),
          store_(store),
          file_(file),
          wb_(wb),
          kept_(store.keep_open && narrow(wb.connect) == kXlsxConnect) {
        ++wb_.opened;
        for (const auto& s : wb_.sheet_order) table_names_.push_back(s);
    }
    // A kept-open workbook deleted without close_database is discarded.
    ~fake_workbook_db() override {
        store_.log.push_back(u"close " + name_);
        if (kept_ && !closed)
            return;
        auto next = file_.rewrite();
        if (kept_)
            next->out().write(kZipMarker, 4);
        else
            next->out().write(kBookMarker, 8);
        next->commit();
    }
    bool closed = false;
    udb_recordset* create_table(const std::u16string& name, const udb_schema& schema,
                                const udb_indexes&) override {
        if (!is_table_exist(name)) {
            sheet& s = wb_.sheets[name];
            for (const t_ftd* f : schema) {
                s.columns.push_back(f->name);
                s.kinds.push_back(f->vartype);
            }
            wb_.sheet_order.push_back(name);
            table_names_.push_back(name);
        }
        return new fake_sheet_rs(store_, wb_.sheets[name], name, schema);
    }
    udb_recordset* get_table(const std::u16string&, int32_t) override { return nullptr; }
    udb_recordset* get_table(const std::u16string&, const std::u16string&, int32_t) override {
        return nullptr;
    }
    bool test_query(const std::u16string&) override { return false; }

  private:
    workbook_store& store_;
    tk::file_target& file_;
    workbook& wb_;
    bool kept_;
};

// A simple sheet-name rule set: at most 31 characters, no "/" or ":".
class sheet_names : public udb_validator {
  public:
    sheet_names(const std::vector<std::u16string>& a, const std::vector<std::u16string>& b)
        : udb_validator(31) {
        illegal_chars_ = {u'/', u':'};
        for (const auto& n : a) add_existing_name(n);
        for (const auto& n : b) add_existing_name(n);
    }
};

class fake_destination : public xls_destination {
  public:
    explicit fake_destination(workbook_store& store) : store_(store) {}
    bool set_version_if(int32_t key) override { return key == 0 && store_.dao_loads; }
    udb_database* open_dao_src(tk::file_target& file, const std::u16string& connect,
                               int32_t mode) override {
        if (mode != kAppendMode || file.content_path().empty())
            throw tk_mail_assertion("fake_destination", __LINE__);
        std::u16string path = tk::utf8_to_utf16(file.name());
        store_.log.push_back(u"open " + path);
        workbook& wb = store_.files[path];
        if (wb.connect != connect)
            throw fake_dao_error(3274, "External table is not in the expected format.");
        return new fake_workbook_db(store_, file, wb);
    }
    udb_database* create_dao_src(tk::file_target& file, const std::u16string& connect) override {
        std::u16string path = tk::utf8_to_utf16(file.name());
        store_.log.push_back(u"create " + path);
        workbook& wb = store_.files[path] = workbook{};
        wb.connect = connect;
        return new fake_workbook_db(store_, file, wb);
    }
    std::unique_ptr<udb_validator> make_sheet_validator(
        const std::vector<std::u16string>& a, const std::vector<std::u16string>& b) override {
        return std::make_unique<sheet_names>(a, b);
    }
    bool is_record_refused(const tk_exception& e) const override {
        return dynamic_cast<const fake_dao_error*>(&e) != nullptr && !is_sheet_full(e);
    }
    bool is_sheet_full(const tk_exception& e) const override {
        auto* d = dynamic_cast<const fake_dao_error*>(&e);
        return d && d->number() == kSheetFullNumber;
    }
    void close_database(udb_database& db) override {
        store_.log.push_back(u"written " + db.name());
        if (store_.fail_close) {
            errno = ENOSPC;
            throw tk_write_failure();
        }
        dynamic_cast<fake_workbook_db&>(db).closed = true;
    }
    bool keeps_workbook_open(int32_t v) const override { return store_.keep_open && v == 2; }
    std::u16string connect(int32_t v) const override {
        return v == 0 ? u"Excel 5.0;" : v == 2 ? tk::utf8_to_utf16(kXlsxConnect) : u"Excel 8.0;";
    }
    void set_wrap(bool wrap) override { store_.wrap = wrap; }
    void patch(int32_t v, tk::file_target& file) override {
        std::u16string path = tk::utf8_to_utf16(file.name());
        if (file.content_path().empty())
            throw tk_exception("patch of a missing file", 1);
        for (const auto& p : store_.fail_patch)
            if (p == path)
                throw tk_exception("The workbook could not be formatted.", 0);
        store_.patched.push_back(path + (v == 0 ? u" v0" : u" v1"));
    }

  private:
    workbook_store& store_;
};

// ---- error view and front --------------------------------------------------

struct process_ended {
    int status;
};

class recording_view : public error_view {
  public:
    std::vector<std::string> shown;  // "internal: ...", "error: ...", "ask: ..."
    std::vector<std::string> noted;
    bool answer_continue = true;
    bool answer_dont_show = false;
    bool ends_process = false;

    void show_internal_error(const std::string& t) override { shown.push_back("internal: " + t); }
    void note_error(const std::string& t) override { noted.push_back(t); }
    void show_error(const std::string& t) override { shown.push_back("error: " + t); }
    void show_report(const std::string& t) override { shown.push_back("report: " + t); }
    bool ask_continue(const std::string& t, bool& dont) override {
        shown.push_back("ask: " + t);
        dont = answer_dont_show;
        return answer_continue;
    }
    bool fatal_ends_process() const override { return ends_process; }
    [[noreturn]] void end_process(int status) override { throw process_ended{status}; }
};

class recording_front : public conversion_front {
  public:
    std::vector<std::string> events;
    bool all_when_empty = false;
    bool abort_on_wide = false;

    bool convert_all_when_empty() const override { return all_when_empty; }
    void run_started() override { events.push_back("run started"); }
    void run_ended() override { events.push_back("run ended"); }
    void database_started(const std::u16string& src, int32_t n) override {
        events.push_back("database " + narrow(src) + " " + std::to_string(n));
    }
    void table_missing(const std::u16string& name) override {
        events.push_back("missing " + narrow(name));
    }
    void too_many_columns(const std::u16string& name, size_t n) override {
        events.push_back("wide " + narrow(name) + " " + std::to_string(n));
        if (abort_on_wide)
            throw tk_final_exception();
    }
    void table_started(const std::u16string& name, int32_t n) override {
        events.push_back("table " + narrow(name) + " " + std::to_string(n));
    }
    void records_done(int32_t n) override { last_done = n; }
    void table_ended() override { events.push_back("table ended"); }
    void unexpected_error(const std::exception& e) override {
        events.push_back(std::string("unexpected ") + e.what());
    }
    int32_t last_done = 0;
};

}  // namespace cnv_test
