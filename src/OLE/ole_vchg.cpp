// ole_variant::change_type: in-place kind conversion. The kinds the
// automation conversion does not handle the way this system needs (64-bit
// integers, dates, byte images) have rules of their own here; every other
// pair goes through the automation conversion (ole_auto.cpp).
#include <cmath>
#include <cstring>

#include "OLE/ole_date.h"
#include "OLE/ole_misc.h"
#include "OLE/ole_var.h"
#include "TK/tk_log.h"

namespace {

std::u16string decimal_text(uint64_t magnitude, bool negative) {
    char buf[24];
    int i = sizeof buf;
    do {
        buf[--i] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (negative)
        buf[--i] = '-';
    std::u16string out;
    out.reserve(sizeof buf - i);
    for (; i < static_cast<int>(sizeof buf); ++i) out.push_back(static_cast<char16_t>(buf[i]));
    return out;
}

// Currency to a whole number: truncated toward zero, then one up when the
// first dropped decimal is 5 or more (a negative value's dropped digits are
// negative, so negative values stay truncated).
int64_t cy_to_whole(const CY& cy) {
    int64_t q = cy.int64 / OLE_CY_SCALE;
    if ((cy.int64 % OLE_CY_SCALE) / 1000 >= 5)
        ++q;
    return q;
}

}  // namespace

void ole_variant::change_type(uint16_t new_kind) {
    tk_trace(1, "ole_variant::change_type(old=%d,new=%d)", vt_, new_kind);
    if (new_kind == vt_ || vt_ == VT_EMPTY || vt_ == VT_NULL)
        return;
    if (ole_is_binary_kind(vt_) && ole_is_binary_kind(new_kind))
        return;
    ole_variant out;
    if (!convert_special(new_kind, out)) {
        if (!ole_succeeded(automation_convert(new_kind, out)))
            throw ole_cast_exception();
    }
    *this = std::move(out);
}

bool ole_variant::convert_special(uint16_t nk, ole_variant& out) const {
    // From a 64-bit integer.
    if (vt_ == VT_I8 || vt_ == VT_UI8) {
        const bool is_signed = vt_ == VT_I8;
        const uint64_t bits = data_.ui8;
        switch (nk) {
            case VT_I2:
            case VT_UI2:
            case VT_BOOL:  // not normalised to -1/0
                out.vt_ = nk, out.data_.ui2 = static_cast<uint16_t>(bits);
                return true;
            case VT_I4:
            case VT_INT:
                out.vt_ = nk, out.data_.ui4 = static_cast<uint32_t>(bits);
                return true;
            case VT_I1:
            case VT_UI1:
                out.vt_ = nk, out.data_.ui1 = static_cast<uint8_t>(bits);
                return true;
            case VT_UI4:
            case VT_UINT:
                out.vt_ = VT_UINT, out.data_.ui4 = static_cast<uint32_t>(bits);
                return true;
            case VT_R4:
                out.vt_ = VT_R4;
                out.data_.r4 = is_signed ? static_cast<float>(data_.i8) : static_cast<float>(bits);
                return true;
            case VT_R8:
                out.vt_ = VT_R8;
                out.data_.r8 =
                    is_signed ? static_cast<double>(data_.i8) : static_cast<double>(bits);
                return true;
            case VT_CY:
            case VT_DECIMAL: {
                CY cy;
                ole_hresult hr =
                    is_signed ? ole_cy_from_i64(data_.i8, &cy) : ole_cy_from_u64(bits, &cy);
                if (!ole_succeeded(hr))
                    throw ole_cast_exception();
                if (nk == VT_CY) {
                    out.vt_ = VT_CY, out.data_.cy = cy;
                } else {
                    ole_dec_from_cy(cy, &out.data_.dec);
                    out.data_.dec.wReserved = VT_DECIMAL;
                    out.vt_ = VT_DECIMAL;
                }
                return true;
            }
            case VT_BSTR:
                if (is_signed) {
                    const bool neg = data_.i8 < 0;
                    out.str_ = decimal_text(neg ? uint64_t{0} - bits : bits, neg);
                } else {
                    out.str_ = decimal_text(bits, false);
                }
                out.vt_ = VT_BSTR;
                return true;
            case VT_I8:
            case VT_UI8:
                out.vt_ = nk, out.data_.ui8 = bits;
                return true;
            default:
                throw ole_cast_exception();
        }
    }

    // From a date: only its text.
    if (vt_ == VT_DATE) {
        if (nk != VT_BSTR)
            throw ole_cast_exception();
        out.str_ = ole_date(data_.date.st).to_wstring();
        out.vt_ = VT_BSTR;
        return true;
    }

    // To a 64-bit integer.
    if (nk == VT_I8 || nk == VT_UI8) {
        int64_t v;
        switch (vt_) {
            case VT_I2:
                v = data_.i2;
                break;
            case VT_BOOL:
                v = data_.boolean;
                break;
            case VT_I4:
            case VT_INT:
                v = data_.i4;
                break;
            case VT_I1:
                v = data_.i1;
                break;
            case VT_UI1:
                v = data_.ui1;
                break;
            case VT_UI2:
                v = data_.ui2;
                break;
            case VT_UI4:
            case VT_UINT:
                v = data_.ui4;
                break;
            case VT_R4:
            case VT_R8: {
                const double t = std::trunc(vt_ == VT_R4 ? data_.r4 : data_.r8);
                if (t >= -9223372036854775808.0 && t < 9223372036854775808.0) {
                    v = static_cast<int64_t>(t);
                } else if (nk == VT_UI8 && t >= 0 && t < 18446744073709551616.0) {
                    out.vt_ = VT_UI8, out.data_.ui8 = static_cast<uint64_t>(t);
                    return true;
                } else {
                    throw ole_cast_exception();  // NaN or beyond 64 bits
                }
                break;
            }
            case VT_CY:
                v = cy_to_whole(data_.cy);
                break;
            case VT_DECIMAL: {
                CY cy;
                if (!ole_succeeded(ole_dec_to_cy(data_.dec, &cy)))
                    throw ole_cast_exception();
                v = cy_to_whole(cy);
                break;
            }
            default:
                throw ole_cast_exception();
        }
        out.vt_ = nk;
        out.data_.i8 = v;  // the same 64 bits for VT_UI8
        return true;
    }

    // To a date: only from the full "YYYY-MM-DD hh:mm:ss" text.
    if (nk == VT_DATE) {
        if (vt_ != VT_BSTR || str_.size() != 19)
            throw ole_cast_exception();
        ole_variant d = from_wstring(str_, VT_DATE);
        if (d.vt_ != VT_DATE)
            throw ole_cast_exception();
        out = std::move(d);
        return true;
    }

    if (ole_is_binary_kind(nk)) {
        convert_to_binary(out);
        return true;
    }
    return false;
}

void ole_variant::convert_to_binary(ole_variant& out) const {
    const void* src = &data_;
    size_t size;
    switch (vt_) {
        case VT_I1:
        case VT_UI1:
            size = 1;
            break;
        case VT_I2:
        case VT_BOOL:
        case VT_UI2:
            size = 2;
            break;
        case VT_I4:
        case VT_R4:
        case VT_UI4:
        case VT_INT:
        case VT_UINT:
            size = 4;
            break;
        case VT_R8:
        case VT_CY:
        case VT_I8:
        case VT_UI8:
            size = 8;
            break;
        case VT_DATE:
            src = &data_.date.st;
            size = sizeof(SYSTEMTIME);
            break;
        case VT_DECIMAL:
            size = sizeof(DECIMAL);
            break;
        case VT_BSTR:  // two bytes per character, no terminator
            src = str_.data();
            size = str_.size() * sizeof(char16_t);
            break;
        default:
            throw ole_cast_exception();
    }
    out.allocate_safe_array(size);
    if (size)
        std::memcpy(out.bytes_.data(), src, size);
}
