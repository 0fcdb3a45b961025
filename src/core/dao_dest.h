// The product's workbook side of the converter: the workbook database
// engine (dao_engine) and the two workbook engines (xls_engine_50 for
// format version 0, xls_engine_80 for 1), owned for the converter's life,
// and the .xlsx writer (xlsx_database, src/xlsx) for format version 2.
//
// A version-2 workbook is created (create_dao_src with its connect string,
// "Excel 12.0 Xml;") once per file and run and kept open for the whole run
// (keeps_workbook_open); close_database writes it. It is never opened
// again and needs no patch: its formats are written with its cells.
//
// While a dao_destination lives, its engines are the process's table of
// format versions (xls_engine_for), which the wizard's destination page
// borrows for their names and descriptions (format_name,
// format_description, which also know version 2).
#pragma once

#include <memory>

#include "common/xls_engi.h"
#include "core/cnv_dest.h"
#include "dao/dao_engi.h"

class dao_database;

class dao_destination : public xls_destination {
  public:
    dao_destination();
    ~dao_destination() override;

    bool set_version_if(int32_t key) override;
    udb_database* open_dao_src(tk::file_target& file, const std::u16string& connect,
                               int32_t mode) override;
    udb_database* create_dao_src(tk::file_target& file, const std::u16string& connect) override;
    std::unique_ptr<udb_validator> make_sheet_validator(
        const std::vector<std::u16string>& selected_tables,
        const std::vector<std::u16string>& source_tables) override;
    bool is_record_refused(const tk_exception& e) const override;
    bool is_sheet_full(const tk_exception& e) const override;
    void close_database(udb_database& database) override;
    size_t replaced_characters(const udb_recordset& recordset) const override;
    bool keeps_workbook_open(int32_t format_version) const override;
    std::u16string connect(int32_t format_version) const override;
    void set_wrap(bool wrap) override;
    // Patches `file`; a workbook the patch could not walk is reported
    // (level 0: the data are there, the header format is not).
    void patch(int32_t format_version, tk::file_target& file) override;

    // The connect string of format version 2.
    static constexpr char16_t kXlsxConnect[] = u"Excel 12.0 Xml;";

  private:
    xls_engine& engine(int32_t format_version) const;
    // Caps the column widths of `db`'s new sheets lower when texts wrap.
    dao_database* fit_columns(dao_database* db) const;

    dao_engine dao_;
    std::unique_ptr<xls_engine> engines_[2];
    bool wrap_ = false;
};

// The workbook engine of a format version (0 or 1) while the converter's
// workbook side lives; null otherwise or for another version.
xls_engine* xls_engine_for(int32_t format_version);

// The name and description the wizard shows for a format version: the
// engine's for 0 and 1 (while the workbook side lives), the .xlsx writer's
// for 2; empty for any other number.
std::u16string format_name(int32_t format_version);
std::string format_description(int32_t format_version);

// The workbook side the programs give their converter.
std::unique_ptr<xls_destination> make_workbook_destination();
