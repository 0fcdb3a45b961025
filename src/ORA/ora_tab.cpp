#include "ORA/ora_tab.h"

#include "ORA/ora_db.h"
#include "ORA/ora_util.h"
#include "TK/tk_log.h"
#include "TK/tk_utils.h"

namespace {

constexpr const char* kSource = "ora_tab";

}  // namespace

ora_table::ora_table(ora_database* database, const std::u16string& name,
                     udb_relationships* relationships, int32_t flags)
    : ora_query_results(name, std::u16string()),
      query_form_(false),
      database_(database),
      relationships_(relationships) {
    tk_wtrace(2, u"ora_table::ctor(%s, %d)", name.c_str(), static_cast<int>(flags));
    dates_as_text_ = (flags & udb_dates_as_text) != 0;
    open();
}

ora_table::ora_table(ora_database* database, const std::u16string& name,
                     const std::u16string& query, udb_relationships* relationships, int32_t flags)
    : ora_query_results(name, query),
      query_form_(true),
      database_(database),
      relationships_(relationships) {
    tk_wtrace(2, u"ora_table::ctor(%s, %s, %d)", name.c_str(), query.c_str(),
              static_cast<int>(flags));
    dates_as_text_ = (flags & udb_dates_as_text) != 0;
    open();
}

ora_table::~ora_table() {
    tk_trace(2, "ora_table::dtor");
}

void ora_table::open() {
    init_schema();
    if (schema_.empty())
        return;
    ora_engine& engine = ora_engine::instance();
    int32_t count = 0;
    if (!query_form_) {
        if (!engine.running)
            init_indexes();
        count = engine.get_records_cnt(name_);
    } else if (!text_.empty()) {
        count = engine.get_records_cnt(text_, true);
    } else {
        count = engine.get_records_cnt(name_);
    }
    records_count_ = count < 0 ? 0 : static_cast<uint32_t>(count);
}

void ora_table::init_schema() {
    tk_trace(2, "ora_table::init_schema");
    // The column count is the statement's own: USER_TAB_COLUMNS also lists
    // invisible columns (Oracle 12c and later), which SELECT * leaves out.
    const std::u16string statement =
        query_form_ && !text_.empty() ? text_ : u"SELECT * FROM " + ora_sql_ident(name_);
    initialize(0, statement);
    if (!query_form_)
        read_defaults();
}

void ora_table::read_defaults() {
    ora_query_results catalog(
        3,
        u"select COLUMN_NAME, DATA_DEFAULT, DATA_TYPE from USER_TAB_COLUMNS where table_name = " +
            ora_sql_literal(name_));
    // Every row is read: rows of columns the select list does not have
    // (invisible ones) are passed over.
    while (!catalog.is_eof()) {
        udb_record* record = catalog.get_item();
        if (!record)
            break;
        const std::u16string column = (*record)[0].to_wstring();
        const int32_t index = schema_.get_field_idx(column);
        if (index < 0)
            continue;
        t_ftd& ftd = schema_[static_cast<size_t>(index)];
        const std::u16string default_text = (*record)[1].to_wstring();
        if (!default_text.empty())
            ftd.default_value = get_def_value(ftd.vartype, default_text);
        const std::u16string type = (*record)[2].to_wstring();
        if (type == u"NVARCHAR2" || type == u"NCHAR") {
            // National character columns are described in bytes, two per
            // character. The fetch buffer, already defined, keeps its size.
            ora_type& object = *columns_[static_cast<size_t>(index)];
            const uint32_t size = (object.size() ? object.size() : ftd.size) / 2;
            ftd.size = size;
            object.set_size(size);
        }
    }
}

void ora_table::init_indexes() {
    // Keys, indexes and foreign keys are loaded only outside a conversion
    // run, and every reader of this system is opened during one: nothing
    // is read here.
    tk_trace(2, "ora_table::init_indexes");
}

ole_variant ora_table::get_def_value(uint16_t kind, std::u16string text) {
    tk_trace(1, "ora_table::get_def_value");
    tk_trim(text);
    bool quoted = false;
    if (text.size() > 1 && text.front() == u'\'' && text.back() == u'\'') {
        text = text.substr(1, text.size() - 2);
        quoted = true;
    }
    if (!quoted && kind == VT_BSTR)
        return ole_variant();
    if (kind == VT_DATE)
        return ole_variant();
    std::u16string unquoted;
    unquoted.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        unquoted += text[i];
        if (text[i] == u'\'' && i + 1 < text.size() && text[i + 1] == u'\'')
            ++i;
    }
    try {
        return ole_variant::from_wstring(unquoted, kind);
    } catch (const ole_type_exception&) {
        return ole_variant();
    }
}

bool ora_table::is_eof() {
    tk_trace(1, "ora_table::is_eof");
    if (!initialized_)
        throw tk_mail_assertion(kSource, __LINE__);
    if (rows_read_ < records_count_) {
        bool row = false;
        try {
            row = fetch_row();
        } catch (const udb_record_refused&) {
            ++rows_read_;  // the refused row counts as read
            throw;
        }
        if (row)
            return false;
    }
    // The count is reached, or the rows ended before it (rows deleted since
    // the count): either way no further row is handed out.
    at_end_ = true;
    fetched_ = false;
    return true;
}

void ora_table::next() {
    tk_trace(1, "ora_table::next");
    ++rows_read_;
}
