// ole_variant: the one value type of the system. Every field value read from
// the source, every default value and every value appended to the
// destination travels as an ole_variant.
//
// Representation: a compact tagged value. The kind is a VT_* number; the
// scalar kinds live in a small union, a string (VT_BSTR) in a
// std::u16string (embedded NULs kept; a "null BSTR" is the empty string),
// a byte array (VT_ARRAY|VT_UI1, lower bound 0) in a std::vector<uint8_t>.
// VT_DATE keeps both the broken-down SYSTEMTIME (authoritative for text) and
// the automation date number (days since 1899-12-30, time as the fraction).
// VT_I8/VT_UI8 keep their value in i8/ui8 only.
//
// Ownership: a value owns its string and its byte array; copies are deep.
// Moves are cheap (no allocation) and leave the source VT_EMPTY.
//
// Failures: broken preconditions raise tk_mail_assertion ("ole_var", line);
// conversions that input can make fail raise ole_cast_exception
// (change_type) or ole_type_exception (from_string). A value that raises in
// change_type keeps its old content.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "OLE/ole_types.h"
#include "TK/tk_excep.h"

// "Cannot cast from source type to destination type" (code 1).
class ole_cast_exception : public tk_exception {
  public:
    ole_cast_exception();
};

// "The operating type is not supported yet" (code 1).
class ole_type_exception : public tk_exception {
  public:
    ole_type_exception();
};

class ole_variant {
  public:
    // VT_EMPTY.
    ole_variant();
    ole_variant(bool b);                // VT_BOOL, -1 / 0
    ole_variant(char c);                // VT_I1
    ole_variant(signed char c);         // VT_I1
    ole_variant(unsigned char b);       // VT_UI1
    ole_variant(short s);               // VT_I2
    ole_variant(unsigned short s);      // VT_UI2
    ole_variant(int i);                 // VT_I4
    ole_variant(unsigned int u);        // VT_UI4
    ole_variant(long h);                // VT_I8 ("hyper")
    ole_variant(long long h);           // VT_I8
    ole_variant(unsigned long h);       // VT_UI8 ("uhyper")
    ole_variant(unsigned long long h);  // VT_UI8
    ole_variant(float f);               // VT_R4
    ole_variant(double d);              // VT_R8
    ole_variant(const SYSTEMTIME& st);  // VT_DATE (date number computed)
    // VT_DATE with a fraction of its second, 0 to 999,999,999 nanoseconds
    // (the milliseconds of the SYSTEMTIME are set from it).
    ole_variant(const SYSTEMTIME& st, uint32_t nanosecond);
    ole_variant(const CY& cy);        // VT_CY
    ole_variant(const DECIMAL& dec);  // VT_DECIMAL
    // VT_BSTR. A null wide C string is an internal error.
    ole_variant(const char16_t* s);
    ole_variant(const std::u16string& s);
    ole_variant(std::u16string&& s);  // takes the buffer over
    ole_variant(std::u16string_view s);
    // VT_BSTR from narrow (UTF-8) text. A null C string is an internal error.
    ole_variant(const char* s);
    ole_variant(const std::string& s);
    // VT_ARRAY|VT_UI1. A null pointer is an internal error.
    ole_variant(const uint8_t* bytes, size_t length);
    ole_variant(const std::vector<uint8_t>& bytes);
    ole_variant(std::vector<uint8_t>&& bytes);  // takes the buffer over
    // Any other pointer would silently become a bool.
    template <typename T>
    ole_variant(T*) = delete;

    // A VT_NULL value (a database NULL).
    static ole_variant null();

    ole_variant(const ole_variant& other);
    ole_variant(ole_variant&& other) noexcept;
    ole_variant& operator=(const ole_variant& other);
    ole_variant& operator=(ole_variant&& other) noexcept;
    virtual ~ole_variant();
    void swap(ole_variant& other) noexcept;

    // Same kind and same content (strings and arrays compared by content,
    // dates by SYSTEMTIME, floating point by value).
    bool operator==(const ole_variant& other) const;

    uint16_t get_type() const { return vt_; }
    bool is_empty() const { return vt_ == VT_EMPTY; }
    bool is_null() const { return vt_ == VT_NULL; }
    // Back to VT_EMPTY, releasing string and array storage contents (the
    // buffers' capacity is kept for reuse).
    void clear() noexcept;
    void set_null() noexcept;

    // 32-bit signed form; see the kinds accepted in ole_var.cpp. Any other
    // kind is an internal error ("ole_var", 478).
    int32_t to_long() const;
    // Floating-point form; VT_DATE, VT_BSTR and other kinds are an internal
    // error ("ole_var", 519).
    double to_double() const;
    // Byte arrays: sets *out to the first byte and returns the count. EMPTY
    // and NULL return 0 and leave *out alone. Other kinds: internal error
    // ("ole_var", 669). The pointer stays valid while the value is unchanged.
    size_t get_bytes(const uint8_t** out) const;

    // Makes the value a zero-filled byte array of `size` bytes, or resizes an
    // existing byte array (new bytes zero).
    void allocate_safe_array(size_t size);
    void attach_binary(const uint8_t* bytes, size_t length);
    void attach_binary(const std::vector<uint8_t>& bytes);
    // VT_BSTR from narrow text (UTF-8, malformed input replaced).
    void attach_string(std::string_view s);
    // VT_BSTR from wide text, length kept (embedded NULs included).
    void attach_wstring(std::u16string_view s);

    // Text forms (see ole_vtxt.cpp for the table by kind).
    virtual std::string to_string() const;
    virtual std::u16string to_wstring() const;

    // A new value of `kind` made from text; see ole_vtxt.cpp.
    static ole_variant from_string(std::string_view text, uint16_t kind);
    static ole_variant from_wstring(std::u16string_view text, uint16_t kind);

    // Converts in place; raises ole_cast_exception (value unchanged) when the
    // pair is not supported or the conversion fails.
    void change_type(uint16_t new_kind);

    // ---- Direct access for hot paths. Preconditions: the kind matches
    // (checked; a mismatch is an internal error with this file's stem).
    // VT_BSTR text, no copy.
    const std::u16string& bstr() const;
    std::u16string_view wstr_view() const { return bstr(); }
    // VT_BSTR text for in-place editing (cleaning, cutting); null when the
    // value is not a VT_BSTR.
    std::u16string* mutable_bstr() noexcept { return vt_ == VT_BSTR ? &str_ : nullptr; }
    // VT_ARRAY|VT_UI1 bytes, no copy.
    const std::vector<uint8_t>& bytes() const;
    // VT_ARRAY|VT_UI1 bytes for filling in place; null for other kinds.
    std::vector<uint8_t>* mutable_bytes() noexcept {
        return vt_ == VT_BYTE_ARRAY ? &bytes_ : nullptr;
    }
    // VT_DATE parts. The fraction of the second is 0 unless the value was
    // made with one; the SYSTEMTIME's milliseconds are its first digits.
    const SYSTEMTIME& date() const;
    double date_number() const;
    uint32_t date_nanosecond() const;
    // Raw scalar parts (no conversion).
    int64_t i8() const;              // VT_I8
    uint64_t ui8() const;            // VT_UI8
    int32_t i4() const;              // VT_I4, VT_INT
    uint32_t ui4() const;            // VT_UI4, VT_UINT
    int16_t i2() const;              // VT_I2
    uint16_t ui2() const;            // VT_UI2
    int8_t i1() const;               // VT_I1
    uint8_t ui1() const;             // VT_UI1
    int16_t boolean() const;         // VT_BOOL (-1 true, 0 false; not normalised)
    float r4() const;                // VT_R4
    double r8() const;               // VT_R8
    const CY& cy() const;            // VT_CY
    const DECIMAL& decimal() const;  // VT_DECIMAL
    int32_t scode() const;           // VT_ERROR

  private:
    struct date_part {
        SYSTEMTIME st;
        uint32_t nanosecond;
        double number;
    };
    union data {
        int8_t i1;
        uint8_t ui1;
        int16_t i2;
        uint16_t ui2;
        int32_t i4;
        uint32_t ui4;
        int64_t i8;
        uint64_t ui8;
        float r4;
        double r8;
        int16_t boolean;
        int32_t scode;
        CY cy;
        DECIMAL dec;
        date_part date;
    };

    void require(uint16_t kind, int line) const;
    // Keeps string/array capacity; just drops the contents.
    void reset_storage() noexcept;
    // change_type steps 2..6 and the general automation conversion
    // (ole_vchg.cpp, ole_auto.cpp). Each either converts into `out` or
    // raises ole_cast_exception; *this is never modified.
    bool convert_special(uint16_t new_kind, ole_variant& out) const;
    void convert_to_binary(ole_variant& out) const;
    ole_hresult automation_convert(uint16_t new_kind, ole_variant& out) const;
    friend class ole_variant_access;

    uint16_t vt_;
    data data_;
    std::u16string str_;
    std::vector<uint8_t> bytes_;
};

inline void swap(ole_variant& a, ole_variant& b) noexcept {
    a.swap(b);
}
