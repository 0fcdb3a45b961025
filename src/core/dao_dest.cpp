#include "core/dao_dest.h"

#include "TK/tk_excep.h"
#include "TK/tk_log.h"
#include "TK/tk_publ.h"
#include "TK/tk_utf.h"
#include "dao/dao_db.h"
#include "dao/dao_recs.h"
#include "dao/dao_vali.h"
#include "jet/jet_db.h"
#include "xlsx/xlsx_db.h"

namespace {
xls_engine* g_engines[2] = {nullptr, nullptr};

// Widest column, in characters, when texts wrap: a long text then reads as
// a few lines of a paragraph rather than one line across the screen.
constexpr unsigned k_wrapped_column_chars = 40;
}  // namespace

xls_engine* xls_engine_for(int32_t format_version) {
    return format_version == 0 || format_version == 1 ? g_engines[format_version] : nullptr;
}

std::u16string format_name(int32_t format_version) {
    if (format_version == 2)
        return u"MS Excel 2007 (.xlsx)";
    xls_engine* engine = xls_engine_for(format_version);
    return engine ? engine->name : std::u16string();
}

std::string format_description(int32_t format_version) {
    if (format_version == 2) {
        return "Destination spreadsheet will be saved in MS Excel 2007 format (.xlsx).\n"
               "Each worksheet can contain not more than 1048575 rows.";
    }
    xls_engine* engine = xls_engine_for(format_version);
    return engine ? engine->description : std::string();
}

std::unique_ptr<xls_destination> make_workbook_destination() {
    return std::make_unique<dao_destination>();
}

dao_destination::dao_destination() : dao_(false) {
    engines_[0] = std::make_unique<xls_engine_50>();
    engines_[1] = std::make_unique<xls_engine_80>();
    g_engines[0] = engines_[0].get();
    g_engines[1] = engines_[1].get();
}

dao_destination::~dao_destination() {
    g_engines[0] = g_engines[1] = nullptr;
}

xls_engine& dao_destination::engine(int32_t format_version) const {
    if (format_version != 0 && format_version != 1)
        throw tk_mail_assertion("dao_dest", __LINE__);
    return *engines_[format_version];
}

bool dao_destination::set_version_if(int32_t key) {
    return dao_.set_version_if(key);
}

udb_database* dao_destination::open_dao_src(tk::file_target& file, const std::u16string& connect,
                                            int32_t mode) {
    // A written .xlsx workbook is never opened again (it stays open instead).
    if (connect == kXlsxConnect)
        throw tk_mail_assertion("dao_dest", __LINE__);
    return fit_columns(dao_.open_dao_src(file, connect, mode));
}

udb_database* dao_destination::create_dao_src(tk::file_target& file,
                                              const std::u16string& connect) {
    if (connect == kXlsxConnect) {
        xlsx_database::options opt;
        opt.wrap = wrap_;
        opt.max_column_chars = wrap_ ? k_wrapped_column_chars : jet_database::k_max_column_chars;
        return new xlsx_database(file, opt);
    }
    return fit_columns(dao_.create_dao_src(file, connect));
}

dao_database* dao_destination::fit_columns(dao_database* db) const {
    if (db && wrap_)
        db->jet().set_max_column_width(k_wrapped_column_chars);
    return db;
}

std::unique_ptr<udb_validator> dao_destination::make_sheet_validator(
    const std::vector<std::u16string>& selected_tables,
    const std::vector<std::u16string>& source_tables) {
    return std::make_unique<xls_tn_validator>(selected_tables, source_tables);
}

bool dao_destination::is_record_refused(const tk_exception& e) const {
    return dao_is_record_refused(e);
}

bool dao_destination::is_sheet_full(const tk_exception& e) const {
    return dao_is_sheet_full(e);
}

size_t dao_destination::replaced_characters(const udb_recordset& recordset) const {
    // An .xlsx workbook holds every character.
    const auto* rs = dynamic_cast<const dao_recordset*>(&recordset);
    return rs ? rs->replaced_characters() : 0;
}

void dao_destination::close_database(udb_database& database) {
    if (auto* book = dynamic_cast<xlsx_database*>(&database)) {
        book->close();
        return;
    }
    dynamic_cast<dao_database&>(database).close();
}

bool dao_destination::keeps_workbook_open(int32_t format_version) const {
    return format_version == 2;
}

std::u16string dao_destination::connect(int32_t format_version) const {
    if (format_version == 2)
        return kXlsxConnect;
    return engine(format_version).connect;
}

void dao_destination::set_wrap(bool wrap) {
    wrap_ = wrap;
    engines_[0]->wrap = engines_[1]->wrap = wrap;
}

void dao_destination::patch(int32_t format_version, tk::file_target& file) {
    const std::string content = file.content_path();
    if (!engine(format_version).patch(tk::utf8_to_utf16(content))) {
        throw tk_exception(
            "The header and cell formats could not be applied to " + file.name() + ".", 0);
    }
}
