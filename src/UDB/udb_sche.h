// Engine-neutral column descriptions and values.
//
// t_ftd       what a column is (name, kind, size, flags, default value).
// udb_field   a column's value in one row: an ole_variant with the column's
//             name, size and flags.
// udb_schema  the ordered descriptors of one table or query result.
// udb_record  one row: the ordered fields, one per column.
//
// Records are built for reuse: a reader or writer keeps one udb_record per
// table and overwrites the values of its fields in place row after row
// (udb_field::set_value, or the ole_variant base directly), so moving a row
// allocates nothing beyond the values themselves.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "OLE/ole_var.h"
#include "TK/tk_excep.h"

class udb_field : public ole_variant {
  public:
    // VT_EMPTY, no name, size 0.
    udb_field();
    udb_field(const std::u16string& name, int32_t size, const ole_variant& value,
              bool b_not_null = false, bool b_autoincrement = false);
    // Same, taking the value's storage over.
    udb_field(const std::u16string& name, int32_t size, ole_variant&& value,
              bool b_not_null = false, bool b_autoincrement = false);
    udb_field(const udb_field& other);
    udb_field(udb_field&& other) noexcept = default;
    udb_field& operator=(const udb_field& other) = default;
    udb_field& operator=(udb_field&& other) noexcept = default;
    ~udb_field() override = default;

    // The kind of the value.
    virtual uint16_t get_type() const { return ole_variant::get_type(); }

    // Replaces the value, keeping name, size and flags; string and array
    // buffers are reused where they are large enough.
    void set_value(const ole_variant& value) { ole_variant::operator=(value); }
    void set_value(ole_variant&& value) { ole_variant::operator=(std::move(value)); }
    ole_variant& value() { return *this; }
    const ole_variant& value() const { return *this; }

    int32_t size = 0;
    std::u16string name;
    bool b_not_null = false;
    bool b_autoincrement = false;
    // Set by a reader on a text the source held in no valid form of its own
    // encoding, which the reader read in the ANSI code page instead (the
    // driver reports such values); false for every other value.
    bool b_recoded = false;
    // Set by the driver on a value a destination writes as a text cell
    // whatever its column's kind: the exact digits (a VT_BSTR) of a number
    // that a spreadsheet number would change.
    bool b_text_cell = false;
};

// Field type descriptor: one column of a table or query result.
class t_ftd {
  public:
    // ctor1: size, name and flags from `field`, vartype from its get_type().
    t_ftd(const udb_field& field, const ole_variant& default_value, int32_t reserved);
    // ctor2.
    t_ftd(uint32_t size, const std::u16string& name, uint16_t vartype, bool b_not_null,
          bool b_autoincrement, const ole_variant& default_value, int32_t reserved);

    // The column's length as the source reports it.
    uint32_t size;
    std::u16string name;
    // The ole_variant kind of the column's values.
    uint16_t vartype;
    bool b_autoincrement;
    bool b_not_null;
    // VT_EMPTY when the column has no default.
    ole_variant default_value;
    // Source marker: 1 for VT_DATE columns, precision * 256 + scale for
    // VT_DECIMAL numbers, else 0.
    int32_t reserved;

  private:
    void trace_fields() const;
};

// The result of a lookup by name: tests like a bool (found or not) and gives
// the descriptor through * and ->. Reaching a descriptor that was not found
// is an internal error, so code that is not sure tests first.
template <class T>
class udb_found_ftd {
  public:
    udb_found_ftd(T* ftd, int line) : ftd_(ftd), line_(line) {}
    explicit operator bool() const { return ftd_ != nullptr; }
    T& operator*() const { return get(); }
    T* operator->() const { return &get(); }
    T& get() const {
        if (!ftd_)
            throw tk_mail_assertion("udb_sche", line_);
        return *ftd_;
    }

  private:
    T* ftd_;
    int line_;
};

// Ordered descriptors of one table. An owning schema deletes its
// descriptors when destroyed; a non-owning one leaves them to their owner.
// Lookups by name ignore case, walk from position 0 and allocate nothing.
class udb_schema {
  public:
    explicit udb_schema(bool owns = true) : owns_(owns) {}
    ~udb_schema();
    udb_schema(const udb_schema&) = delete;
    udb_schema& operator=(const udb_schema&) = delete;
    udb_schema(udb_schema&& other) noexcept;
    udb_schema& operator=(udb_schema&& other) noexcept;

    // Appends a descriptor; an owning schema takes it over (also when the
    // append itself fails).
    void add(t_ftd* ftd);
    void add(std::unique_ptr<t_ftd> ftd) { add(ftd.release()); }
    // Removes all descriptors (deleting them when owned).
    void clear();

    // The first descriptor of that name, or not found (see udb_found_ftd).
    udb_found_ftd<t_ftd> find_field(const std::u16string& name);
    udb_found_ftd<const t_ftd> find_field(const std::u16string& name) const;
    // 0-based position of the first descriptor of that name, or -1.
    int32_t get_field_idx(const std::u16string& name) const;

    size_t count() const { return ftds_.size(); }
    bool empty() const { return ftds_.empty(); }
    // Unchecked access.
    t_ftd& operator[](size_t i) { return *ftds_[i]; }
    const t_ftd& operator[](size_t i) const { return *ftds_[i]; }
    // Checked access: an index out of range is an internal error.
    t_ftd& at(size_t i);
    const t_ftd& at(size_t i) const;
    std::vector<t_ftd*>::const_iterator begin() const { return ftds_.begin(); }
    std::vector<t_ftd*>::const_iterator end() const { return ftds_.end(); }
    bool owns() const { return owns_; }

  private:
    const t_ftd* lookup(const std::u16string& name) const;

    std::vector<t_ftd*> ftds_;
    bool owns_;
};

// One row in column order. The record owns its fields. Readers fill one
// record per row by overwriting the values of its fields in place.
class udb_record {
  public:
    udb_record() = default;
    udb_record(const udb_record&) = default;
    udb_record(udb_record&&) noexcept = default;
    udb_record& operator=(const udb_record&) = default;
    udb_record& operator=(udb_record&&) noexcept = default;
    virtual ~udb_record() = default;

    size_t size() const { return fields_.size(); }
    bool empty() const { return fields_.empty(); }
    // Unchecked access.
    udb_field& operator[](size_t i) { return fields_[i]; }
    const udb_field& operator[](size_t i) const { return fields_[i]; }
    // Checked access: an index out of range is an internal error.
    udb_field& at(size_t i);
    const udb_field& at(size_t i) const;

    void reserve(size_t n) { fields_.reserve(n); }
    udb_field& push_back(const udb_field& f) { return fields_.emplace_back(f); }
    udb_field& push_back(udb_field&& f) { return fields_.emplace_back(std::move(f)); }
    template <class... Args>
    udb_field& emplace_back(Args&&... args) {
        return fields_.emplace_back(std::forward<Args>(args)...);
    }
    // Exchanges the fields (values, names and their storage) with `other`.
    void swap(udb_record& other) noexcept { fields_.swap(other.fields_); }
    // Drops the fields, keeping the vector's capacity.
    void clear() { fields_.clear(); }
    // Shrinks or grows to n fields (new fields empty), keeping the others.
    void resize(size_t n) { fields_.resize(n); }

    std::vector<udb_field>::iterator begin() { return fields_.begin(); }
    std::vector<udb_field>::iterator end() { return fields_.end(); }
    std::vector<udb_field>::const_iterator begin() const { return fields_.begin(); }
    std::vector<udb_field>::const_iterator end() const { return fields_.end(); }

  private:
    std::vector<udb_field> fields_;
};
