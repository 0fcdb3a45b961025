// ole_variant: construction, copies, numeric views and byte arrays.
// Text forms live in ole_vtxt.cpp, kind conversion in ole_vchg.cpp and
// ole_auto.cpp.
#include "OLE/ole_var.h"

#include <cmath>
#include <cstring>
#include <new>
#include <utility>

#include "OLE/ole_dnum.h"
#include "OLE/ole_misc.h"
#include "TK/tk_log.h"
#include "TK/tk_utf.h"

namespace {
const char kSource[] = "ole_var";
}

ole_cast_exception::ole_cast_exception()
    : tk_exception("Cannot cast from source type to destination type", 1) {}

ole_type_exception::ole_type_exception()
    : tk_exception("The operating type is not supported yet", 1) {}

// ---- constructors ----------------------------------------------------------

ole_variant::ole_variant() : vt_(VT_EMPTY) {
    data_.ui8 = 0;
    tk_trace(1, "ole_variant::ctor");
}

ole_variant::ole_variant(bool b) : vt_(VT_BOOL) {
    data_.ui8 = 0;
    data_.boolean = b ? -1 : 0;
    tk_trace(1, "ole_variant::ctor from bool(%d)", b ? 1 : 0);
}

ole_variant::ole_variant(char c) : vt_(VT_I1) {
    data_.ui8 = 0;
    data_.i1 = static_cast<int8_t>(c);
    tk_trace(1, "ole_variant::ctor from char(%d)", data_.i1);
}

ole_variant::ole_variant(signed char c) : vt_(VT_I1) {
    data_.ui8 = 0;
    data_.i1 = c;
    tk_trace(1, "ole_variant::ctor from char(%d)", data_.i1);
}

ole_variant::ole_variant(unsigned char b) : vt_(VT_UI1) {
    data_.ui8 = 0;
    data_.ui1 = b;
    tk_trace(1, "ole_variant::ctor from byte(%u)", static_cast<unsigned>(b));
}

ole_variant::ole_variant(short s) : vt_(VT_I2) {
    data_.ui8 = 0;
    data_.i2 = s;
    tk_trace(1, "ole_variant::ctor from short(%d)", s);
}

ole_variant::ole_variant(unsigned short s) : vt_(VT_UI2) {
    data_.ui8 = 0;
    data_.ui2 = s;
    tk_trace(1, "ole_variant::ctor from unsigned short(%u)", static_cast<unsigned>(s));
}

ole_variant::ole_variant(int i) : vt_(VT_I4) {
    data_.ui8 = 0;
    data_.i4 = i;
    tk_trace(1, "ole_variant::ctor from int(%d)", i);
}

ole_variant::ole_variant(unsigned int u) : vt_(VT_UI4) {
    data_.ui8 = 0;
    data_.ui4 = u;
    tk_trace(1, "ole_variant::ctor from unsigned int(%u)", u);
}

ole_variant::ole_variant(long h) : vt_(VT_I8) {
    data_.i8 = h;
    tk_trace(1, "ole_variant::ctor from hyper(%lld)", static_cast<long long>(h));
}

ole_variant::ole_variant(long long h) : vt_(VT_I8) {
    data_.i8 = h;
    tk_trace(1, "ole_variant::ctor from hyper(%lld)", h);
}

ole_variant::ole_variant(unsigned long h) : vt_(VT_UI8) {
    data_.ui8 = h;
    tk_trace(1, "ole_variant::ctor from uhyper(%llu)", static_cast<unsigned long long>(h));
}

ole_variant::ole_variant(unsigned long long h) : vt_(VT_UI8) {
    data_.ui8 = h;
    tk_trace(1, "ole_variant::ctor from uhyper(%llu)", h);
}

ole_variant::ole_variant(float f) : vt_(VT_R4) {
    data_.ui8 = 0;
    data_.r4 = f;
    tk_trace(1, "ole_variant::ctor from float(%g)", static_cast<double>(f));
}

ole_variant::ole_variant(double d) : vt_(VT_R8) {
    data_.r8 = d;
    tk_trace(1, "ole_variant::ctor from double(%g)", d);
}

ole_variant::ole_variant(const SYSTEMTIME& st) : vt_(VT_DATE) {
    tk_trace(1, "ole_variant::ctor from SYSTEMTIME(%04d-%02d-%02d %02d:%02d:%02d)", st.wYear,
             st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond);
    data_.date.st = st;
    data_.date.nanosecond = 0;
    data_.date.number = 0;
    if (!ole_systemtime_to_variant_time(st, &data_.date.number)) {
        tk_trace(2, "Failed to convert SYSTEMTIME->VARIANT");
        data_.date.number = 0;
    }
}

ole_variant::ole_variant(const SYSTEMTIME& st, uint32_t nanosecond) : ole_variant(st) {
    if (nanosecond > 999999999)
        throw tk_mail_assertion("ole_var", __LINE__);
    data_.date.nanosecond = nanosecond;
    data_.date.st.wMilliseconds = static_cast<uint16_t>(nanosecond / 1000000);
    // The fraction moves the number forward in the day, as the time does.
    const double part = nanosecond / 86400e9;
    double number = 0;
    if (ole_systemtime_to_variant_time(data_.date.st, &number))
        data_.date.number = number >= 0 ? number + part : number - part;
}

ole_variant::ole_variant(const CY& cy) : vt_(VT_CY) {
    data_.ui8 = 0;
    data_.cy = cy;
    tk_trace(1, "ole_variant::ctor from CY(%lld)", static_cast<long long>(cy.int64));
}

ole_variant::ole_variant(const DECIMAL& dec) {
    // The DECIMAL's reserved word shares its place with the kind, so the
    // kind is set after the copy.
    data_.dec = dec;
    data_.dec.wReserved = VT_DECIMAL;
    vt_ = VT_DECIMAL;
    tk_trace(1, "ole_variant::ctor from DECIMAL(scale=%d)", dec.scale);
}

ole_variant::ole_variant(const char16_t* s) : vt_(VT_EMPTY) {
    data_.ui8 = 0;
    if (!s)
        throw tk_mail_assertion(kSource, 831);
    tk_wtrace(1, u"ole_variant::ctor from wide string(%s)", s);
    attach_wstring(std::u16string_view(s));
}

ole_variant::ole_variant(const std::u16string& s) : vt_(VT_EMPTY) {
    data_.ui8 = 0;
    tk_wtrace(1, u"ole_variant::ctor from wstring(%s)", s.c_str());
    attach_wstring(s);
}

ole_variant::ole_variant(std::u16string&& s) : vt_(VT_BSTR), str_(std::move(s)) {
    data_.ui8 = 0;
    tk_trace(1, "ole_variant::ctor from wstring(%zu)", str_.size());
}

ole_variant::ole_variant(std::u16string_view s) : vt_(VT_EMPTY) {
    data_.ui8 = 0;
    tk_trace(1, "ole_variant::ctor from wstring(%zu)", s.size());
    attach_wstring(s);
}

ole_variant::ole_variant(const char* s) : vt_(VT_EMPTY) {
    data_.ui8 = 0;
    if (!s)
        throw tk_mail_assertion(kSource, 812);
    tk_trace(1, "ole_variant::ctor from string(%s)", s);
    attach_string(s);
}

ole_variant::ole_variant(const std::string& s) : vt_(VT_EMPTY) {
    data_.ui8 = 0;
    tk_trace(1, "ole_variant::ctor from string(%s)", s.c_str());
    attach_string(s);
}

ole_variant::ole_variant(const uint8_t* bytes, size_t length) : vt_(VT_EMPTY) {
    data_.ui8 = 0;
    tk_trace(1, "ole_variant::ctor from bytes(%zu)", length);
    attach_binary(bytes, length);
}

ole_variant::ole_variant(const std::vector<uint8_t>& bytes) : vt_(VT_EMPTY) {
    data_.ui8 = 0;
    tk_trace(1, "ole_variant::ctor from byte vector(%zu)", bytes.size());
    attach_binary(bytes);
}

ole_variant::ole_variant(std::vector<uint8_t>&& bytes)
    : vt_(VT_BYTE_ARRAY), bytes_(std::move(bytes)) {
    data_.ui8 = 0;
    tk_trace(1, "ole_variant::ctor from byte vector(%zu)", bytes_.size());
}

ole_variant ole_variant::null() {
    ole_variant v;
    v.vt_ = VT_NULL;
    return v;
}

// ---- copies and moves ------------------------------------------------------

ole_variant::ole_variant(const ole_variant& other) : vt_(other.vt_), data_(other.data_) {
    tk_trace(1, "ole_variant::copy(vt=%d)", other.vt_);
    try {
        if (vt_ == VT_BSTR)
            str_ = other.str_;
        if (vt_ == VT_BYTE_ARRAY || vt_ == VT_CARRAY) {
            bytes_ = other.bytes_;
            vt_ = VT_BYTE_ARRAY;
        }
    } catch (const std::bad_alloc&) {
        if (vt_ == VT_BSTR)
            throw tk_mail_assertion(kSource, 831);
        vt_ = VT_ERROR;  // the array could not be copied
        data_.ui8 = 0;
    }
}

ole_variant::ole_variant(ole_variant&& other) noexcept
    : vt_(other.vt_),
      data_(other.data_),
      str_(std::move(other.str_)),
      bytes_(std::move(other.bytes_)) {
    other.vt_ = VT_EMPTY;
    other.data_.ui8 = 0;
}

ole_variant& ole_variant::operator=(const ole_variant& other) {
    if (this == &other)
        return *this;
    tk_trace(1, "ole_variant::operator=(vt=%d)", other.vt_);
    // assign() reuses this value's buffers where they are large enough.
    try {
        if (other.vt_ == VT_BSTR)
            str_.assign(other.str_);
        if (other.vt_ == VT_BYTE_ARRAY || other.vt_ == VT_CARRAY) {
            bytes_.assign(other.bytes_.begin(), other.bytes_.end());
        }
    } catch (const std::bad_alloc&) {
        if (other.vt_ == VT_BSTR)
            throw tk_mail_assertion(kSource, 831);
        reset_storage();
        vt_ = VT_ERROR;
        data_.ui8 = 0;
        return *this;
    }
    if (other.vt_ != VT_BSTR)
        str_.clear();
    if (other.vt_ != VT_BYTE_ARRAY && other.vt_ != VT_CARRAY)
        bytes_.clear();
    vt_ = other.vt_ == VT_CARRAY ? VT_BYTE_ARRAY : other.vt_;
    data_ = other.data_;
    return *this;
}

ole_variant& ole_variant::operator=(ole_variant&& other) noexcept {
    if (this == &other)
        return *this;
    vt_ = other.vt_;
    data_ = other.data_;
    str_.swap(other.str_);
    bytes_.swap(other.bytes_);
    other.reset_storage();
    other.vt_ = VT_EMPTY;
    other.data_.ui8 = 0;
    return *this;
}

ole_variant::~ole_variant() = default;

void ole_variant::swap(ole_variant& other) noexcept {
    std::swap(vt_, other.vt_);
    std::swap(data_, other.data_);
    str_.swap(other.str_);
    bytes_.swap(other.bytes_);
}

bool ole_variant::operator==(const ole_variant& o) const {
    if (vt_ != o.vt_)
        return false;
    switch (vt_) {
        case VT_EMPTY:
        case VT_NULL:
            return true;
        case VT_I1:
        case VT_UI1:
            return data_.ui1 == o.data_.ui1;
        case VT_I2:
        case VT_UI2:
        case VT_BOOL:
            return data_.ui2 == o.data_.ui2;
        case VT_I4:
        case VT_UI4:
        case VT_INT:
        case VT_UINT:
        case VT_ERROR:
            return data_.ui4 == o.data_.ui4;
        case VT_I8:
        case VT_UI8:
        case VT_CY:
            return data_.ui8 == o.data_.ui8;
        case VT_R4:
            return data_.r4 == o.data_.r4;
        case VT_R8:
            return data_.r8 == o.data_.r8;
        case VT_DATE:
            return data_.date.st == o.data_.date.st &&
                   data_.date.nanosecond == o.data_.date.nanosecond;
        case VT_DECIMAL:
            return data_.dec.scale == o.data_.dec.scale && data_.dec.sign == o.data_.dec.sign &&
                   data_.dec.Hi32 == o.data_.dec.Hi32 && data_.dec.Lo64 == o.data_.dec.Lo64;
        case VT_BSTR:
            return str_ == o.str_;
        case VT_BYTE_ARRAY:
            return bytes_ == o.bytes_;
        default:
            return std::memcmp(&data_, &o.data_, sizeof data_) == 0;
    }
}

void ole_variant::reset_storage() noexcept {
    str_.clear();
    bytes_.clear();
}

void ole_variant::clear() noexcept {
    reset_storage();
    vt_ = VT_EMPTY;
    data_.ui8 = 0;
}

void ole_variant::set_null() noexcept {
    clear();
    vt_ = VT_NULL;
}

// ---- numeric views ---------------------------------------------------------

int32_t ole_variant::to_long() const {
    switch (vt_) {
        case VT_EMPTY:
        case VT_NULL:
            return 0;
        case VT_I2:
            return data_.i2;
        case VT_BOOL:
            return data_.boolean;
        case VT_I4:
            return data_.i4;
        case VT_UI4:
            return static_cast<int32_t>(data_.ui4);
        case VT_R4:
        case VT_R8: {
            double d = vt_ == VT_R4 ? data_.r4 : data_.r8;
            // Truncation toward zero; a value outside the 32-bit range gives
            // the "integer indefinite" the processor's conversion gives.
            if (!(d > -2147483649.0 && d < 2147483648.0))
                return INT32_MIN;
            return static_cast<int32_t>(d);
        }
        case VT_DECIMAL: {
            int32_t out = 0;
            ole_hresult hr = ole_dec_to_i4(data_.dec, &out);
            tk_trace(1, "from DECIMAL, hr=%08X", static_cast<unsigned>(hr));
            return ole_succeeded(hr) ? out : 0;
        }
        case VT_I1:
            return data_.i1;
        case VT_UI1:
            return data_.ui1;
        case VT_UI2:
            return data_.ui2;
        case VT_I8:
        case VT_UI8:
            return static_cast<int32_t>(static_cast<uint32_t>(data_.ui8));
        default:
            throw tk_mail_assertion(kSource, 478);
    }
}

double ole_variant::to_double() const {
    switch (vt_) {
        case VT_EMPTY:
        case VT_NULL:
            return 0;
        case VT_I2:
            return data_.i2;
        case VT_BOOL:
            return data_.boolean;
        case VT_I4:
            return data_.i4;
        case VT_I1:
            return data_.i1;
        case VT_UI1:
            return data_.ui1;
        case VT_UI2:
            return data_.ui2;
        case VT_UI4:
            return data_.ui4;
        case VT_R4:
            return data_.r4;
        case VT_R8:
            return data_.r8;
        case VT_CY: {
            double res = 0;
            ole_hresult hr = ole_cy_to_r8(data_.cy, &res);
            tk_trace(1, "from CURRECY: res=%lg, hr=%08X", res, static_cast<unsigned>(hr));
            return ole_succeeded(hr) ? res : 0;
        }
        case VT_DECIMAL: {
            double res = 0;
            ole_hresult hr = ole_dec_to_r8(data_.dec, &res);
            tk_trace(1, "from DECIMAL: res=%lg, hr=%08X", res, static_cast<unsigned>(hr));
            return ole_succeeded(hr) ? res : 0;
        }
        case VT_I8:
            return static_cast<double>(data_.i8);
        case VT_UI8:
            return static_cast<double>(data_.ui8);
        default:
            throw tk_mail_assertion(kSource, 519);
    }
}

// ---- byte arrays and strings ----------------------------------------------

size_t ole_variant::get_bytes(const uint8_t** out) const {
    if (vt_ == VT_EMPTY || vt_ == VT_NULL)
        return 0;
    if (vt_ != VT_BYTE_ARRAY)
        throw tk_mail_assertion(kSource, 669);
    if (out)
        *out = bytes_.data();
    return bytes_.size();
}

void ole_variant::allocate_safe_array(size_t size) {
    tk_trace(1, "ole_variant::allocate_safe_array(%zu)", size);
    try {
        if (vt_ == VT_BYTE_ARRAY) {
            if (bytes_.size() != size)
                bytes_.resize(size, 0);
            return;
        }
        reset_storage();
        vt_ = VT_EMPTY;
        data_.ui8 = 0;
        bytes_.assign(size, 0);
        vt_ = VT_BYTE_ARRAY;
    } catch (const std::bad_alloc&) {
        throw tk_mail_assertion(kSource, 764);
    } catch (const std::length_error&) {
        throw tk_mail_assertion(kSource, 764);
    }
}

void ole_variant::attach_binary(const uint8_t* bytes, size_t length) {
    if (!bytes)
        throw tk_mail_assertion(kSource, 735);
    allocate_safe_array(length);
    if (length)
        std::memcpy(bytes_.data(), bytes, length);
}

void ole_variant::attach_binary(const std::vector<uint8_t>& bytes) {
    allocate_safe_array(bytes.size());
    if (!bytes.empty())
        std::memcpy(bytes_.data(), bytes.data(), bytes.size());
}

void ole_variant::attach_string(std::string_view s) {
    try {
        std::u16string w = tk::utf8_to_utf16(s);
        bytes_.clear();
        str_.swap(w);
        vt_ = VT_BSTR;
        data_.ui8 = 0;
    } catch (const std::bad_alloc&) {
        throw tk_mail_assertion(kSource, 812);
    }
}

void ole_variant::attach_wstring(std::u16string_view s) {
    try {
        str_.assign(s.data(), s.size());
        bytes_.clear();
        vt_ = VT_BSTR;
        data_.ui8 = 0;
    } catch (const std::bad_alloc&) {
        throw tk_mail_assertion(kSource, 831);
    }
}

// ---- direct access ---------------------------------------------------------

void ole_variant::require(uint16_t kind, int line) const {
    if (vt_ != kind)
        throw tk_mail_assertion(kSource, line);
}

const std::u16string& ole_variant::bstr() const {
    require(VT_BSTR, __LINE__);
    return str_;
}
const std::vector<uint8_t>& ole_variant::bytes() const {
    require(VT_BYTE_ARRAY, __LINE__);
    return bytes_;
}
const SYSTEMTIME& ole_variant::date() const {
    require(VT_DATE, __LINE__);
    return data_.date.st;
}
double ole_variant::date_number() const {
    require(VT_DATE, __LINE__);
    return data_.date.number;
}
uint32_t ole_variant::date_nanosecond() const {
    require(VT_DATE, __LINE__);
    return data_.date.nanosecond;
}
int64_t ole_variant::i8() const {
    require(VT_I8, __LINE__);
    return data_.i8;
}
uint64_t ole_variant::ui8() const {
    require(VT_UI8, __LINE__);
    return data_.ui8;
}
int32_t ole_variant::i4() const {
    if (vt_ != VT_INT)
        require(VT_I4, __LINE__);
    return data_.i4;
}
uint32_t ole_variant::ui4() const {
    if (vt_ != VT_UINT)
        require(VT_UI4, __LINE__);
    return data_.ui4;
}
int16_t ole_variant::i2() const {
    require(VT_I2, __LINE__);
    return data_.i2;
}
uint16_t ole_variant::ui2() const {
    require(VT_UI2, __LINE__);
    return data_.ui2;
}
int8_t ole_variant::i1() const {
    require(VT_I1, __LINE__);
    return data_.i1;
}
uint8_t ole_variant::ui1() const {
    require(VT_UI1, __LINE__);
    return data_.ui1;
}
int16_t ole_variant::boolean() const {
    require(VT_BOOL, __LINE__);
    return data_.boolean;
}
float ole_variant::r4() const {
    require(VT_R4, __LINE__);
    return data_.r4;
}
double ole_variant::r8() const {
    require(VT_R8, __LINE__);
    return data_.r8;
}
const CY& ole_variant::cy() const {
    require(VT_CY, __LINE__);
    return data_.cy;
}
const DECIMAL& ole_variant::decimal() const {
    require(VT_DECIMAL, __LINE__);
    return data_.dec;
}
int32_t ole_variant::scode() const {
    require(VT_ERROR, __LINE__);
    return data_.scode;
}
