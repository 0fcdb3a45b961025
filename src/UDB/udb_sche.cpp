#include "UDB/udb_sche.h"

#include "TK/tk_log.h"
#include "UDB/udb_name.h"

// ---- udb_field

udb_field::udb_field() {
    tk_trace(1, "udb_field::empty ctor");
}

udb_field::udb_field(const std::u16string& name, int32_t size, const ole_variant& value,
                     bool b_not_null, bool b_autoincrement)
    : ole_variant(value),
      size(size),
      name(name),
      b_not_null(b_not_null),
      b_autoincrement(b_autoincrement) {
    tk_trace(1, "udb_field::ctor #2");
    tk_wtrace(1, u"name=%s, size=%d", this->name.c_str(), size);
}

udb_field::udb_field(const std::u16string& name, int32_t size, ole_variant&& value, bool b_not_null,
                     bool b_autoincrement)
    : ole_variant(std::move(value)),
      size(size),
      name(name),
      b_not_null(b_not_null),
      b_autoincrement(b_autoincrement) {
    tk_trace(1, "udb_field::ctor #2");
    tk_wtrace(1, u"name=%s, size=%d", this->name.c_str(), size);
}

udb_field::udb_field(const udb_field& other)
    : ole_variant(other),
      size(other.size),
      name(other.name),
      b_not_null(other.b_not_null),
      b_autoincrement(other.b_autoincrement),
      b_recoded(other.b_recoded),
      b_text_cell(other.b_text_cell) {
    tk_trace(1, "udb_field::copy ctor");
}

// ---- t_ftd

t_ftd::t_ftd(const udb_field& field, const ole_variant& default_value, int32_t reserved)
    : size(static_cast<uint32_t>(field.size)),
      name(field.name),
      vartype(field.get_type()),
      b_autoincrement(field.b_autoincrement),
      b_not_null(field.b_not_null),
      default_value(default_value),
      reserved(reserved) {
    tk_trace(1, "t_ftd::ctor1");
    trace_fields();
}

t_ftd::t_ftd(uint32_t size, const std::u16string& name, uint16_t vartype, bool b_not_null,
             bool b_autoincrement, const ole_variant& default_value, int32_t reserved)
    : size(size),
      name(name),
      vartype(vartype),
      b_autoincrement(b_autoincrement),
      b_not_null(b_not_null),
      default_value(default_value),
      reserved(reserved) {
    tk_trace(1, "t_ftd::ctor2");
    trace_fields();
}

void t_ftd::trace_fields() const {
    tk_wtrace(1, u"\tfield name='%s', vartype=%d, size=%d, b_not_null=%d, reserved=%d",
              name.c_str(), static_cast<int>(vartype), static_cast<int>(size), b_not_null ? 1 : 0,
              static_cast<int>(reserved));
}

// ---- udb_schema

udb_schema::~udb_schema() {
    clear();
}

udb_schema::udb_schema(udb_schema&& other) noexcept
    : ftds_(std::move(other.ftds_)), owns_(other.owns_) {
    other.ftds_.clear();
}

udb_schema& udb_schema::operator=(udb_schema&& other) noexcept {
    if (this != &other) {
        clear();
        ftds_ = std::move(other.ftds_);
        owns_ = other.owns_;
        other.ftds_.clear();
    }
    return *this;
}

void udb_schema::add(t_ftd* ftd) {
    try {
        ftds_.push_back(ftd);
    } catch (...) {
        if (owns_)
            delete ftd;
        throw;
    }
}

void udb_schema::clear() {
    if (owns_) {
        for (t_ftd* ftd : ftds_) delete ftd;
    }
    ftds_.clear();
}

const t_ftd* udb_schema::lookup(const std::u16string& name) const {
    tk_wtrace(1, u"udb_schema::find_field(%s)", name.c_str());
    for (const t_ftd* ftd : ftds_) {
        tk_wtrace(1, u"Processing %s", ftd->name.c_str());
        if (udb_name_equal(name, ftd->name))
            return ftd;
    }
    return nullptr;
}

udb_found_ftd<t_ftd> udb_schema::find_field(const std::u16string& name) {
    // The descriptors are not const; only the lookup is shared.
    return udb_found_ftd<t_ftd>(const_cast<t_ftd*>(lookup(name)), 309);
}

udb_found_ftd<const t_ftd> udb_schema::find_field(const std::u16string& name) const {
    return udb_found_ftd<const t_ftd>(lookup(name), 324);
}

int32_t udb_schema::get_field_idx(const std::u16string& name) const {
    tk_wtrace(1, u"udb_schema::get_field_idx(%s)", name.c_str());
    for (size_t i = 0; i < ftds_.size(); ++i) {
        if (udb_name_equal(name, ftds_[i]->name))
            return static_cast<int32_t>(i);
    }
    return -1;
}

t_ftd& udb_schema::at(size_t i) {
    if (i >= ftds_.size())
        throw tk_mail_assertion("udb_sche", __LINE__);
    return *ftds_[i];
}

const t_ftd& udb_schema::at(size_t i) const {
    if (i >= ftds_.size())
        throw tk_mail_assertion("udb_sche", __LINE__);
    return *ftds_[i];
}

// ---- udb_record

udb_field& udb_record::at(size_t i) {
    if (i >= fields_.size())
        throw tk_mail_assertion("udb_sche", __LINE__);
    return fields_[i];
}

const udb_field& udb_record::at(size_t i) const {
    if (i >= fields_.size())
        throw tk_mail_assertion("udb_sche", __LINE__);
    return fields_[i];
}
