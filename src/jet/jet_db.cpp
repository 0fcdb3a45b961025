// Worksheets as tables: creating, finding, deleting, appending rows.
#include "jet/jet_db.h"

#include "TK/tk_coding.h"
#include "TK/tk_excep.h"
#include "TK/tk_log.h"
#include "TK/tk_utf.h"
#include "jet/biff_format.h"
#include "jet/jet_conv.h"
#include "jet/jet_dbimpl.h"
#include "jet/jet_layout.h"
#include "jet/jet_name.h"
#include "jet/jet_sheet.h"

namespace {

std::string narrow(const std::u16string& s) {
    return tk::utf16_to_utf8(s);
}

}  // namespace

// ---- jet_table ----

jet_table::jet_table(jet_database& db, std::u16string name, std::vector<jet_column> columns,
                     bool created)
    : db_(&db), name_(std::move(name)), columns_(std::move(columns)) {
    if (created) {
        sheet_ = std::make_unique<jet_sheet_writer>(db.version(), db.impl_->max_column_chars,
                                                    db.impl_->folder);
        // A double-byte code page holds East Asian characters, which then
        // show wide as in BIFF8.
        if (db.impl_->cp && db.impl_->cp->double_byte())
            sheet_->widths().set_wide(true);
    }
    plans_.resize(columns_.size());
    scratch_.resize(columns_.size());
    hashes_.resize(columns_.size());
}

jet_table::~jet_table() = default;

uint32_t jet_table::capacity() const {
    return (db_->version() == 1 ? biff::k_max_rows_biff8 : biff::k_max_rows_biff5) - 1;
}

void jet_table::write_header() {
    auto& d = *db_->impl_;
    sheet_->begin_row(0);
    for (size_t c = 0; c < columns_.size(); ++c) {
        const auto col = static_cast<uint16_t>(c);
        sheet_->widths().header(col, columns_[c].name);
        if (d.biff8()) {
            sheet_->label_sst(col, d.g.xf_text, d.g.sst.add(columns_[c].name));
        } else {
            sheet_->label_bytes(col, d.g.xf_text, d.cp->encode(columns_[c].name, '?', &replaced_));
        }
    }
    sheet_->end_row();
}

void jet_table::append(const jet_value* values, size_t n) {
    tk_trace(1, "jet_table::append");
    auto& d = *db_->impl_;
    d.check_writable();
    if (!sheet_)
        throw jet_error::make(jet_errno::not_supported);
    if (n != columns_.size())
        throw tk_mail_assertion("jet_db", __LINE__);
    if (records_ >= capacity())
        throw jet_error::make(jet_errno::sheet_full);
    const bool b8 = d.biff8();
    for (size_t c = 0; c < n; ++c)
        jet_plan_cell(values[c], columns_[c].type, b8, scratch_[c], plans_[c], static_cast<int>(c));
    // Most texts are new to the table, and each lookup's first probe would
    // wait for memory: the probes of the whole row are started at once.
    if (b8) {
        for (size_t c = 0; c < n; ++c) {
            if (plans_[c].f == jet_cell_plan::form::text) {
                hashes_[c] = d.g.sst.hash(plans_[c].text);
                d.g.sst.prefetch(hashes_[c]);
            }
        }
    }

    using form = jet_cell_plan::form;
    jet_col_widths& widths = sheet_->widths();
    size_t lost = 0;  // counted once the row is written
    // The spools below can fail (a full disk): the engine's error, as on close.
    try {
        sheet_->begin_row(records_ + 1);
        for (size_t c = 0; c < n; ++c) {
            const jet_cell_plan& p = plans_[c];
            const auto col = static_cast<uint16_t>(c);
            switch (p.f) {
                case form::none:
                    break;
                case form::number:
                    // Dates show in their format: yyyy-mm-dd [hh:mm:ss[.000]]
                    if (p.date) {
                        widths.fixed(col, p.has_fraction ? 23 : p.has_time ? 19 : 10);
                        sheet_->number(col,
                                       p.has_fraction ? d.g.xf_datetime_ms
                                       : p.has_time   ? d.g.xf_datetime
                                                      : d.g.xf_date,
                                       p.number);
                    } else {
                        widths.number(col, p.number);
                        sheet_->number(col, d.g.xf_number, p.number);
                    }
                    break;
                case form::text:
                    widths.text(col, p.text);
                    if (b8) {
                        sheet_->label_sst(col, d.g.xf_text, d.g.sst.add(p.text, hashes_[c]));
                    } else {
                        sheet_->label_bytes(col, d.g.xf_text, d.cp->encode(p.text, '?', &lost));
                    }
                    break;
                case form::boolean:
                    widths.text(col, p.boolean ? u"TRUE" : u"FALSE");
                    sheet_->boolean(col, d.g.xf_boolean, p.boolean);
                    break;
            }
        }
        sheet_->end_row();
    } catch (...) {
        jet_rethrow_as_jet(d.path);
    }
    replaced_ += lost;
    ++records_;
}

// ---- jet_database ----

jet_database::jet_database(std::unique_ptr<impl> p) : impl_(std::move(p)), path_(impl_->path) {}

jet_database::~jet_database() = default;

int jet_database::version() const {
    return impl_->version;
}

void jet_database::set_string_table_in_place(bool on) {
    impl_->place_sst = on;
}

void jet_database::set_max_column_width(unsigned chars) {
    impl_->max_column_chars = chars;
}

jet_database::impl::sheet* jet_database::impl::find(const std::u16string& name) {
    for (auto& s : sheets)
        if (!s.deleted && jet_same_name(s.info.name, name))
            return &s;
    return nullptr;
}

void jet_database::impl::check_writable() const {
    if (closed)
        throw jet_error::make(jet_errno::object_invalid);
    if (read_only)
        throw jet_error::make(jet_errno::read_only);
}

std::vector<std::u16string> jet_database::table_names() const {
    std::vector<std::u16string> names;
    for (const auto& s : impl_->sheets)
        if (!s.deleted && s.info.type == 0)
            names.push_back(s.info.name);
    return names;
}

jet_table& jet_database::create_table(const std::u16string& name,
                                      const std::vector<jet_column>& columns) {
    tk_wtrace(2, u"jet_database::create_table(%s)", name.c_str());
    impl& d = *impl_;
    d.check_writable();
    if (!jet_valid_sheet_name(name))
        throw jet_error::make(jet_errno::not_valid_name, narrow(name));
    if (d.find(name))
        throw jet_error::make(jet_errno::table_exists, narrow(name));
    if (columns.empty())
        throw jet_error::make(jet_errno::no_fields);
    if (columns.size() > biff::k_max_columns - 1)
        throw jet_error::make(jet_errno::too_many_fields);
    for (size_t i = 0; i < columns.size(); ++i) {
        const jet_column& c = columns[i];
        const size_t len = d.biff8() ? c.name.size() : jet_biff5_length(c.name);
        if (c.name.empty() ||
            len > (d.biff8() ? biff::k_max_string_units : biff::k_max_label_biff5))
            throw jet_error::make(jet_errno::not_valid_name, narrow(c.name));
        if (c.type < jet_boolean || c.type > jet_memo)
            throw jet_error::make(jet_errno::bad_field_type);
        for (size_t k = 0; k < i; ++k)
            if (jet_same_name(columns[k].name, c.name))
                throw jet_error::make(jet_errno::field_twice);
    }

    impl::sheet s;
    std::u16string stored = name;
    size_t lost_in_name = 0;
    s.info.body.assign(6, 0);  // position (set on close), visible, worksheet
    if (d.biff8()) {
        bool wide = false;
        for (char16_t c : name) wide = wide || c > 0xFF;
        s.info.body.push_back(static_cast<uint8_t>(name.size()));
        s.info.body.push_back(wide ? biff::k_str_16bit : 0);
        for (char16_t c : name) {
            s.info.body.push_back(static_cast<uint8_t>(c));
            if (wide)
                s.info.body.push_back(static_cast<uint8_t>(c >> 8));
        }
    } else {
        const std::string bytes = jet_biff5_sheet_name(
            name, *d.cp,
            [&](std::u16string_view n) { return d.find(std::u16string(n)) != nullptr; },
            &lost_in_name);
        stored = d.cp->decode(bytes);
        s.info.body.push_back(static_cast<uint8_t>(bytes.size()));
        s.info.body.insert(s.info.body.end(), bytes.begin(), bytes.end());
    }
    s.info.name = stored;
    s.table.reset(new jet_table(*this, stored, columns, true));
    s.table->replaced_ = lost_in_name;
    try {
        s.table->write_header();
    } catch (...) {
        jet_rethrow_as_jet(d.path);
    }
    d.sheets.push_back(std::move(s));
    d.dirty = true;
    return *d.sheets.back().table;
}

jet_table* jet_database::find_table(const std::u16string& name) {
    impl& d = *impl_;
    if (d.closed)
        throw jet_error::make(jet_errno::object_invalid);
    impl::sheet* s = d.find(name);
    if (!s || s->info.type != 0)
        return nullptr;
    if (!s->table) {
        // A sheet of the opened file: its row count from its INDEX record,
        // which follows its BOF (docs/workbook_driver.md).
        auto t = std::unique_ptr<jet_table>(new jet_table(*this, s->info.name, {}, false));
        uint8_t buf[64] = {};
        const size_t got = d.stream->read_at(s->info.old_pos, buf, sizeof buf);
        const size_t bof = 4 + tk::get_u16(buf + 2);
        if (got >= bof + 16 && tk::get_u16(buf + bof) == biff::k_index) {
            const uint8_t* ix = buf + bof + 4;
            const uint32_t last1 = d.biff8() ? tk::get_u32(ix + 8) : tk::get_u16(ix + 6);
            t->records_ = last1 > 1 ? last1 - 1 : 0;
        }
        s->table = std::move(t);
    }
    return s->table.get();
}

void jet_database::delete_table(const std::u16string& name) {
    tk_wtrace(1, u"jet_database::delete_table(%s)", name.c_str());
    impl& d = *impl_;
    d.check_writable();
    impl::sheet* s = d.find(name);
    if (!s || s->info.type != 0)
        throw jet_error::make(jet_errno::object_not_found, narrow(name));
    size_t live = 0;
    for (const auto& o : d.sheets) live += !o.deleted;
    // Removing an old sheet would shift the sheet numbers that names and
    // external references of the workbook hold.
    if (live == 1 || (s->old && d.g.sheet_refs))
        throw jet_error::make(jet_errno::not_supported);
    s->deleted = true;
    s->table.reset();
    d.dirty = true;
}
