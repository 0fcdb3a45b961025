#include "core/xls_conv.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>

#include "OLE/ole_types.h"
#include "TK/tk_excep.h"
#include "TK/tk_fname.h"
#include "TK/tk_log.h"
#include "TK/tk_utf.h"
#include "TK/tk_utils.h"
#include "UDB/udb_db.h"
#include "UDB/udb_prof.h"
#include "UDB/udb_vali.h"
#include "core/cnv_dest.h"
#include "core/cnv_front.h"
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

}  // namespace

// The destination of one item: the workbook opened as a database and the
// worksheet's recordset, first in the destination file and, when a
// worksheet is full and split_data is set, in the continuation files. The
// recordset is deleted before its database on every way out.
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
    }
    // The normal end: the workbook written, a failure raised.
    void finish() {
        recordset_.reset();
        if (database_)
            destination_.close_database(*database_);
        database_.reset();
    }
    // Deletes the recordset, then the database (which closes the file).
    void close() {
        recordset_.reset();
        database_.reset();
    }

  private:
    void open(const std::u16string& path) {
        std::u16string connect = destination_.connect(owner_.format_version);
        database_.reset(file_exists(path)
                            ? destination_.open_dao_src(path, connect, xls_destination::kAppendMode)
                            : destination_.create_dao_src(path, connect));
        udb_indexes no_indexes;
        recordset_.reset(database_->create_table(name_, schema_, no_indexes));
        rows_ = 0;
    }

    xls_converter& owner_;
    xls_destination& destination_;
    const std::u16string& name_;
    const udb_schema& schema_;
    std::unique_ptr<udb_database> database_;
    std::unique_ptr<udb_recordset> recordset_;
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

void xls_converter::clean_if_exists() {
    tk_trace(1, "xls_converter::clean_if_exists");
    if (file_exists(dest))
        remove_file(dest);
    if (!split_data || dest.empty())
        return;
    for (int n = 1;; ++n) {
        std::u16string part = continuation_name(dest, n);
        if (!file_exists(part))
            break;
        remove_file(part);
    }
}

void xls_converter::do_patch() {
    tk_trace(2, "xls_converter::do_patch");
    if (format_version != 0 && format_version != 1)
        return;
    // One file that cannot be patched is reported with its name; the others
    // are still patched (their data is complete either way).
    auto patch_one = [&](const std::u16string& path) {
        try {
            destination_->patch(format_version, path);
        } catch (const tk_exception& e) {
            error_handler::instance().set_table(path);
            error_handler::instance().handle(e, false);
        }
    };
    // A workbook that no item reached was never created: nothing to patch.
    if (table_count != 0 && file_exists(dest))
        patch_one(dest);
    if (!split_data)
        return;
    for (int n = 1;; ++n) {
        std::u16string part = continuation_name(dest, n);
        if (!file_exists(part))
            break;
        patch_one(part);
    }
}

void xls_converter::do_convert(udb_database& source) {
    tk_trace(2, "xls_converter::do_convert");
    clean_if_exists();
    if (!destination_->set_version_if(0)) {
        throw tk_exception(
            "Failed to load Data Access Objects (DAO) support library.\n"
            "Microsoft Access installation is required to proceed with\n"
            "the application.\n",
            1);
    }
    // The front ends reject other versions; none may reach a workbook.
    if (format_version != 0 && format_version != 1)
        throw tk_mail_assertion("xls_conv", __LINE__);

    std::unique_ptr<udb_validator> names =
        destination_->make_sheet_validator(selected_tables, source.table_names());
    for (const std::u16string& table : selected_tables) selected_items.emplace(table, u"");

    std::vector<std::u16string> used;
    for (const auto& [name, query] : selected_items) {
        set_current_table(name);
        if (query.empty() && !source.is_table_exist(name)) {
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
    do_patch();
    completed = true;
}

void xls_converter::convert_item(udb_database& source, udb_validator& names,
                                 std::vector<std::u16string>& used, const std::u16string& name,
                                 const std::u16string& query) {
    bool accepted = names.is_acceptable(name) && !contains_nocase(used, name);
    std::u16string sheet = accepted ? name : names.get_safe_name(name);
    try {
        std::unique_ptr<udb_recordset> reader(query.empty() ? source.get_table(name, 1)
                                                            : source.get_table(name, query, 1));
        size_t n = reader->schema().count();
        if (n > kMaxColumns) {
            front_.too_many_columns(name, n);
            n = kMaxColumns;
        }
        udb_schema schema(true);
        for (size_t i = 0; i < n; ++i) {
            const t_ftd& column = reader->schema()[i];
            uint16_t kind = column.vartype;
            if (kind == VT_DATE && (dates_to_strings || format_version == 0))
                kind = VT_BSTR;
            if (is_binary_kind(kind))
                kind = VT_BSTR;
            tk_trace(1, "Orig type=%d, new type=%d", column.vartype, kind);
            schema.add(std::make_unique<t_ftd>(column.size, column.name, kind, false, false,
                                               ole_variant(), 0));
        }
        convert_table(*reader, sheet, schema);
    } catch (const tk_exception& e) {
        error_handler::instance().set_table(current_table());
        error_handler::instance().handle(e, false);
    }
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

    udb_record row;
    reader.move_first();
    bool more = !reader.is_eof();
    while (more) {
        if (stop_requested())
            throw tk_final_exception();
        tk_trace(1, "Converting %d record", record_index.load());
        if (!copy_record(reader, out, row))
            break;
        int32_t done = record_index + 1;
        record_index = done;
        front_.records_done(done);
        more = advance(reader, out);
    }
    out.finish();
}

bool xls_converter::copy_record(udb_recordset& reader, sheet_writer& out, udb_record& row) {
    const size_t limit = max_text_length(format_version);
    udb_record* in = nullptr;
    for (;;) {
        try {
            // The reader hands out each row once: a retry reuses it.
            if (!in)
                in = reader.get_item();
            if (!in)
                throw tk_mail_assertion("xls_conv", __LINE__);  // a reader not at its end has a row
            prepare_record(*in, limit, row);
            out.append(row);
            return true;
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

bool xls_converter::advance(udb_recordset& reader, sheet_writer& out) {
    try {
        reader.next();
        return !reader.is_eof();
    } catch (const tk_exception& e) {
        return record_failed(e, out) && !reader.is_eof();
    }
}

bool xls_converter::record_failed(const tk_exception& e, sheet_writer& out) {
    error_handler& handler = error_handler::instance();
    if (destination_->is_record_refused(e)) {
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

bool xls_converter::load_workbook_settings(const udb_profile& profile) {
    auto read = [&](const char16_t* key, bool& flag) {
        const std::u16string& v = profile.get(tsl_keys::kExcel, key);
        if (v.empty())
            return false;
        flag = v == u"1";
        return true;
    };
    bool version = false;
    if (read(u"format version", version))
        format_version = version ? 1 : 0;
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
    profile.set(tsl_keys::kExcel, u"format version", flag(format_version == 1));
    profile.set(tsl_keys::kExcel, u"split data", flag(split_data));
    profile.set(tsl_keys::kExcel, u"wrap text", flag(wrap_text_));
    return true;
}
