// ole_variant::automation_convert: the general kind conversion of OLE
// Automation (VariantChangeType with no flags), for the kinds this system
// holds.
//
// Supported sources: VT_I1, VT_UI1, VT_I2, VT_UI2, VT_I4, VT_UI4, VT_INT,
// VT_UINT, VT_BOOL, VT_R4, VT_R8, VT_CY, VT_DECIMAL, VT_BSTR, and
// VT_ARRAY|VT_UI1 (to VT_BSTR only). Supported targets: VT_EMPTY, the
// integer kinds above, VT_BOOL, VT_R4, VT_R8, VT_CY, VT_DECIMAL, VT_BSTR.
// Everything else is OLE_DISP_E_TYPEMISMATCH. The 64-bit integers, dates and
// byte images never come here (ole_vchg.cpp handles them first).
//
// Rules: floating point, currency, decimals and numeric text become
// integers rounded half to even; a result outside the target's range is
// OLE_DISP_E_OVERFLOW (no wrapping), except a boolean true into an unsigned
// kind, which gives all bits set. Non-zero is true, true is -1. Numbers
// become text in the automation's form (see ole_misc.h); a boolean becomes
// "-1" or "0" (the "True"/"False" words need a flag this system never
// passes). A byte array becomes a string whose characters are its bytes
// taken two by two, little-endian (an odd last byte fills the low half).
#include <cfloat>
#include <cmath>

#include "OLE/ole_misc.h"
#include "OLE/ole_var.h"
#include "TK/tk_utf.h"

namespace {

enum class source_class { integer, real, currency, decimal, text, bytes, other };

bool integer_range(uint16_t vt, int64_t* lo, int64_t* hi) {
    switch (vt) {
        case VT_I1:
            *lo = INT8_MIN, *hi = INT8_MAX;
            return true;
        case VT_UI1:
            *lo = 0, *hi = UINT8_MAX;
            return true;
        case VT_I2:
            *lo = INT16_MIN, *hi = INT16_MAX;
            return true;
        case VT_UI2:
            *lo = 0, *hi = UINT16_MAX;
            return true;
        case VT_I4:
        case VT_INT:
            *lo = INT32_MIN, *hi = INT32_MAX;
            return true;
        case VT_UI4:
        case VT_UINT:
            *lo = 0, *hi = UINT32_MAX;
            return true;
        default:
            return false;
    }
}

}  // namespace

ole_hresult ole_variant::automation_convert(uint16_t nk, ole_variant& out) const {
    // Classify the source once.
    source_class cls = source_class::other;
    int64_t iv = 0;
    double rv = 0;
    bool is_bool = false;
    switch (vt_) {
        case VT_I1:
            iv = data_.i1, cls = source_class::integer;
            break;
        case VT_UI1:
            iv = data_.ui1, cls = source_class::integer;
            break;
        case VT_I2:
            iv = data_.i2, cls = source_class::integer;
            break;
        case VT_UI2:
            iv = data_.ui2, cls = source_class::integer;
            break;
        case VT_I4:
        case VT_INT:
            iv = data_.i4, cls = source_class::integer;
            break;
        case VT_UI4:
        case VT_UINT:
            iv = data_.ui4, cls = source_class::integer;
            break;
        case VT_BOOL:
            iv = data_.boolean, is_bool = true, cls = source_class::integer;
            break;
        case VT_R4:
            rv = data_.r4, cls = source_class::real;
            break;
        case VT_R8:
            rv = data_.r8, cls = source_class::real;
            break;
        case VT_CY:
            cls = source_class::currency;
            break;
        case VT_DECIMAL:
            cls = source_class::decimal;
            break;
        case VT_BSTR:
            cls = source_class::text;
            break;
        case VT_BYTE_ARRAY:
            cls = source_class::bytes;
            break;
        default:
            break;
    }
    if (nk == VT_EMPTY) {
        out.clear();
        return OLE_S_OK;
    }
    if (cls == source_class::other)
        return OLE_DISP_E_TYPEMISMATCH;
    if (cls == source_class::bytes && nk != VT_BSTR)
        return OLE_DISP_E_TYPEMISMATCH;

    std::string text;  // the source text, narrow
    ole_number number;
    ole_hresult hr = OLE_S_OK;
    if (cls == source_class::text && nk != VT_BSTR)
        text = tk::utf16_to_utf8(str_);

    int64_t lo, hi;
    if (integer_range(nk, &lo, &hi)) {
        int64_t r = 0;
        switch (cls) {
            case source_class::integer:
                if (is_bool && lo == 0) {
                    r = iv ? hi : 0;  // true into an unsigned kind: all bits set
                } else if (iv < lo || iv > hi) {
                    return OLE_DISP_E_OVERFLOW;
                } else {
                    r = iv;
                }
                break;
            case source_class::real:
                hr = ole_r8_to_i64(rv, lo, hi, &r);
                break;
            case source_class::currency:
                hr = ole_cy_to_i64(data_.cy, lo, hi, &r);
                break;
            case source_class::decimal:
                hr = ole_dec_to_i64(data_.dec, lo, hi, &r);
                break;
            case source_class::text:
                hr = ole_parse_number(text, &number);
                if (ole_succeeded(hr))
                    hr = ole_number_to_i64(number, lo, hi, &r);
                break;
            default:
                return OLE_DISP_E_TYPEMISMATCH;
        }
        if (!ole_succeeded(hr))
            return hr;
        out.clear();
        out.vt_ = nk;
        switch (nk) {
            case VT_I1:
                out.data_.i1 = static_cast<int8_t>(r);
                break;
            case VT_UI1:
                out.data_.ui1 = static_cast<uint8_t>(r);
                break;
            case VT_I2:
                out.data_.i2 = static_cast<int16_t>(r);
                break;
            case VT_UI2:
                out.data_.ui2 = static_cast<uint16_t>(r);
                break;
            case VT_I4:
            case VT_INT:
                out.data_.i4 = static_cast<int32_t>(r);
                break;
            default:
                out.data_.ui4 = static_cast<uint32_t>(r);
                break;
        }
        return OLE_S_OK;
    }

    switch (nk) {
        case VT_BOOL: {
            bool b = false;
            switch (cls) {
                case source_class::integer:
                    b = iv != 0;
                    break;
                case source_class::real:
                    b = rv != 0;
                    break;
                case source_class::currency:
                    b = data_.cy.int64 != 0;
                    break;
                case source_class::decimal:
                    b = data_.dec.Hi32 != 0 || data_.dec.Lo64 != 0;
                    break;
                case source_class::text:
                    hr = ole_bool_from_str(text, OLE_LCID_EN_US, &b);
                    break;
                default:
                    return OLE_DISP_E_TYPEMISMATCH;
            }
            if (!ole_succeeded(hr))
                return hr;
            out.clear();
            out.vt_ = VT_BOOL;
            out.data_.boolean = b ? -1 : 0;
            return OLE_S_OK;
        }
        case VT_R4:
        case VT_R8: {
            double d = 0;
            switch (cls) {
                case source_class::integer:
                    d = static_cast<double>(iv);
                    break;
                case source_class::real:
                    d = rv;
                    break;
                case source_class::currency:
                    hr = ole_cy_to_r8(data_.cy, &d);
                    break;
                case source_class::decimal:
                    hr = ole_dec_to_r8(data_.dec, &d);
                    break;
                case source_class::text:
                    hr = ole_r8_from_str(text, OLE_LCID_EN_US, &d);
                    break;
                default:
                    return OLE_DISP_E_TYPEMISMATCH;
            }
            if (!ole_succeeded(hr))
                return hr;
            if (nk == VT_R4 && std::isfinite(d) && std::fabs(d) > FLT_MAX)
                return OLE_DISP_E_OVERFLOW;
            out.clear();
            out.vt_ = nk;
            if (nk == VT_R4) {
                out.data_.r4 = static_cast<float>(d);
            } else {
                out.data_.r8 = d;
            }
            return OLE_S_OK;
        }
        case VT_CY: {
            CY cy{};
            switch (cls) {
                case source_class::integer:
                    hr = ole_cy_from_i64(iv, &cy);
                    break;
                case source_class::real:
                    hr = ole_cy_from_r8(rv, &cy);
                    break;
                case source_class::decimal:
                    hr = ole_dec_to_cy(data_.dec, &cy);
                    break;
                case source_class::text:
                    hr = ole_cy_from_str(text, OLE_LCID_EN_US, &cy);
                    break;
                default:
                    return OLE_DISP_E_TYPEMISMATCH;
            }
            if (!ole_succeeded(hr))
                return hr;
            out.clear();
            out.vt_ = VT_CY;
            out.data_.cy = cy;
            return OLE_S_OK;
        }
        case VT_DECIMAL: {
            DECIMAL dec{};
            switch (cls) {
                case source_class::integer:
                    hr = ole_dec_from_i64(iv, &dec);
                    break;
                case source_class::real:
                    hr = vt_ == VT_R4
                             ? ole_dec_from_str(ole_r4_to_str(data_.r4), OLE_LCID_EN_US, &dec)
                             : ole_dec_from_r8(rv, &dec);
                    break;
                case source_class::currency:
                    hr = ole_dec_from_cy(data_.cy, &dec);
                    break;
                case source_class::text:
                    hr = ole_dec_from_str(text, OLE_LCID_EN_US, &dec);
                    break;
                default:
                    return OLE_DISP_E_TYPEMISMATCH;
            }
            if (!ole_succeeded(hr))
                return hr;
            out.clear();
            out.data_.dec = dec;
            out.data_.dec.wReserved = VT_DECIMAL;
            out.vt_ = VT_DECIMAL;
            return OLE_S_OK;
        }
        case VT_BSTR: {
            std::string s;
            switch (cls) {
                case source_class::integer:
                    s = std::to_string(iv);
                    break;
                case source_class::real:
                    s = vt_ == VT_R4 ? ole_r4_to_str(data_.r4) : ole_r8_to_str(rv);
                    break;
                case source_class::currency:
                    hr = ole_cy_to_str(data_.cy, &s);
                    break;
                case source_class::decimal:
                    hr = ole_dec_to_str(data_.dec, &s);
                    break;
                case source_class::bytes: {
                    out.clear();
                    out.vt_ = VT_BSTR;
                    out.str_.resize((bytes_.size() + 1) / 2);
                    for (size_t i = 0; i < bytes_.size(); ++i) {
                        out.str_[i / 2] |= static_cast<char16_t>(bytes_[i] << (8 * (i % 2)));
                    }
                    return OLE_S_OK;
                }
                default:
                    return OLE_DISP_E_TYPEMISMATCH;
            }
            if (!ole_succeeded(hr))
                return hr;
            out.clear();
            out.vt_ = VT_BSTR;
            out.str_.assign(s.begin(), s.end());  // ASCII digits, signs, points
            return OLE_S_OK;
        }
        default:
            return OLE_DISP_E_TYPEMISMATCH;
    }
}
