#include "xlsx/xlsx_rs.h"

#include <xlsxwriter.h>

#include <cerrno>
#include <cmath>
#include <cstdio>

#include "TK/tk_excep.h"
#include "TK/tk_log.h"
#include "dao/dao_engi.h"
#include "dao/dao_rec.h"
#include "jet/jet_conv.h"
#include "jet/jet_error.h"
#include "xlsx/xlsx_format.h"
#include "xlsx/xlsx_txt.h"

namespace {

[[noreturn]] void refuse(long number) {
    throw dao_exception(number, jet_error::text_for(number));
}

[[noreturn]] void write_failed(const xlsx_database::sheet& sheet) {
    xlsx_raise_write_error(sheet.failed_errno, sheet.file);
}

}  // namespace

xlsx_recordset::xlsx_recordset(const std::u16string& name, xlsx_database::sheet& sheet,
                               const xlsx_database::formats& formats, const udb_schema& schema)
    : udb_recordset(name, std::u16string(), true), sheet_(sheet), formats_(formats) {
    tk_wtrace(2, u"xlsx_recordset::xlsx_recordset(%s)", name.c_str());
    // The columns take the kinds the .xls driver gives them (every number
    // a double, ...), so values convert as they do there; a kind without a
    // column type raises ole_type_exception.
    for (const t_ftd* f : schema) {
        const uint16_t kind =
            dao_field::get_vartype(dao_field::get_native_type(f->vartype, f->size));
        schema_.add(
            std::make_unique<t_ftd>(f->size, f->name, kind, false, false, ole_variant(), 0));
    }
    const size_t n = schema_.count();
    cells_.resize(n);
    texts_.resize(n);
    values_.resize(n);
    scratch_.resize(n);
}

xlsx_recordset::~xlsx_recordset() {
    tk_trace(2, "xlsx_recordset::dtor");
}

uint32_t xlsx_recordset::capacity() const {
    return xlsx::k_max_records;
}

void xlsx_recordset::append_record(udb_record& record) {
    tk_trace(1, "xlsx_recordset::append_record");
    if (sheet_.failed_errno)
        write_failed(sheet_);
    if (sheet_.records >= xlsx::k_max_records)
        refuse(jet_errno::sheet_full);
    const size_t n = record.size();
    if (n != schema_.count()) {
        throw tk_exception(
            "The structures of data source does not conform to the destination table.", 1);
    }
    using K = jet_value::kind_t;
    // The whole row is checked before any of its cells is written. Each
    // value in its column's kind, but a value for a text cell (a number's
    // exact digits).
    for (size_t i = 0; i < n; ++i) {
        udb_field& f = record[i];
        jet_value& v = values_[i];
        if (f.b_text_cell && f.get_type() == VT_BSTR) {
            v = jet_value::of_label(f.wstr_view());
        } else {
            f.change_type(schema_[i].vartype);
            dao_to_jet_value(f, v, scratch_[i]);
        }
        cell& c = cells_[i];
        c.kind = v.kind;
        switch (v.kind) {
            case K::null:
                break;
            case K::number:
                if (!std::isfinite(v.number))
                    refuse(jet_errno::overflow);
                c.number = v.number;
                break;
            case K::boolean:
                c.number = v.boolean ? 1 : 0;
                break;
            case K::date:
                if (v.nanosecond < 0 || v.nanosecond > 999999999 ||
                    !jet_date_serial(v.year, v.month, v.day, v.hour, v.minute, v.second, c.number))
                    refuse(jet_errno::overflow);
                c.number += v.nanosecond / 86400e9;
                c.has_time = v.hour || v.minute || v.second || v.nanosecond;
                c.has_fraction = v.nanosecond != 0;
                break;
            case K::text:
            case K::label:  // a text cell whatever the column (a number's exact digits)
                if (xlsx_text(v.text, texts_[i]) > xlsx::k_max_text)
                    refuse(jet_errno::record_too_large);
                break;
        }
    }

    lxw_worksheet* ws = sheet_.ws;
    const auto row = static_cast<lxw_row_t>(sheet_.records + 1);
    jet_col_widths& widths = sheet_.widths;
    lxw_error e = LXW_NO_ERROR;
    bool any = false;
    for (size_t i = 0; i < n && e == LXW_NO_ERROR; ++i) {
        const cell& c = cells_[i];
        any = any || c.kind != K::null;
        const auto col = static_cast<lxw_col_t>(i);
        const auto w = static_cast<uint16_t>(i);
        switch (c.kind) {
            case K::null:
                break;
            case K::number:
                e = worksheet_write_number(ws, row, col, c.number, formats_.cell);
                widths.number(w, c.number);
                break;
            case K::boolean:
                e = worksheet_write_boolean(ws, row, col, c.number != 0, formats_.cell);
                widths.text(w, c.number != 0 ? u"TRUE" : u"FALSE");
                break;
            case K::date:
                e = worksheet_write_number(ws, row, col, c.number,
                                           c.has_fraction ? formats_.datetime_ms
                                           : c.has_time   ? formats_.datetime
                                                          : formats_.date);
                widths.fixed(w, c.has_fraction ? xlsx::k_datetime_ms_chars
                                : c.has_time   ? xlsx::k_datetime_chars
                                               : xlsx::k_date_chars);
                break;
            case K::text:
            case K::label:
                e = worksheet_write_string(ws, row, col, texts_[i].c_str(), formats_.cell);
                widths.text(w, values_[i].text);
                break;
        }
    }
    // A record of NULLs only is still a row of the sheet (the last one
    // would otherwise fall outside the sheet's dimension).
    if (!any && e == LXW_NO_ERROR)
        e = worksheet_set_row(ws, row, LXW_DEF_ROW_HEIGHT, nullptr);
    if (e != LXW_NO_ERROR) {
        tk_trace(2, "xlsx_recordset: %s", lxw_strerror(e));
        throw tk_exception(jet_error::text_for(jet_errno::resources), 1);
    }
    ++sheet_.records;
    ++records_count_;
    // Rows reach the library's temporary file as the next row starts; a
    // write that failed there loses the workbook, and says so now.
    FILE* f = ws->optimize_tmpfile;
    if (f && ferror_unlocked(f)) {
        errno = 0;
        std::fflush(f);
        sheet_.failed_errno = errno ? errno : EIO;
        write_failed(sheet_);
    }
}
