// ora_number: numeric columns, fetched as text in the client's number format
// and parsed into the column's kind; ora_bdouble: the IEEE columns.
#include <cmath>

#include "ORA/ora_engi.h"
#include "ORA/ora_nfast.h"
#include "ORA/ora_type.h"
#include "ORA/ora_util.h"
#include "TK/tk_log.h"
#include "TK/tk_utf.h"

namespace {

// The scale OCI reports for floating-point numbers (FLOAT, and NUMBER
// without precision).
constexpr int32_t kFloatScale = -127;
// The server's number for a text that is no number.
constexpr int32_t kInvalidNumber = 1722;

}  // namespace

ora_number::ora_number(OCIParam* param) : ora_type(param, SQLT_NUM) {
    // Precision is an sb2 of a select-list column, scale a signed byte.
    const int32_t precision = static_cast<sb2>(get_attr_u32(param, OCI_ATTR_PRECISION) & 0xFFFF);
    const int32_t scale = static_cast<sb1>(get_attr_u32(param, OCI_ATTR_SCALE) & 0xFF);

    precision_ = precision;
    scale_ = scale < 0 ? 0 : scale;
    kind_ = kind_for(precision, scale);
    if (kind_ == VT_DECIMAL && precision_ == scale_)
        ++precision_;
    tk_trace(1, "ora_number: precision=%d, scale=%d, kind=%d", precision, scale, kind_);
}

uint16_t ora_number::kind_for(int32_t precision, int32_t scale) {
    // FLOAT(p) reports its binary precision with scale -127: a floating
    // value, whatever p is.
    if (precision == 0 || precision > 38 || scale == kFloatScale)
        return VT_R8;
    // A DECIMAL holds 28 digits; a wider fixed-point column would lose its
    // large values entirely, so it is read as a double.
    if (scale > 0)
        return precision > 28 ? VT_R8 : VT_DECIMAL;
    // A negative scale rounds to tens, hundreds...: NUMBER(p,-s) holds p+s
    // digits, and the integer must be wide enough for all of them.
    if (scale < 0)
        precision -= scale;
    if (precision > 38)
        return VT_R8;
    if (precision <= 2)
        return VT_I1;
    if (precision <= 4)
        return VT_I2;
    if (precision <= 9)
        return VT_I4;
    // Ten or more digits do not fit 32 bits: a 64-bit integer holds up to 18
    // digits exactly; beyond that a double keeps the magnitude.
    if (precision <= 18)
        return VT_I8;
    return VT_R8;
}

t_ftd* ora_number::get_ftd() const {
    const int32_t reserved = kind_ == VT_DECIMAL ? (precision_ << 8) | scale_ : 0;
    return new t_ftd(0, name_, kind_, nullable_ == 0, false, ole_variant(), reserved);
}

void ora_number::define(OCIStmt* stmt, ub4 position) {
    define_buffer(stmt, position, buffer_, static_cast<sb4>(kBufferBytes), SQLT_STR);
}

void ora_number::to_variant(ole_variant& out) {
    const size_t cap = kBufferBytes / 2;
    const size_t n = ora_text_length(buffer_, cap);
    // Number texts are ASCII; narrowing them on the stack keeps the read
    // free of allocations. Any other character makes the text no number.
    char narrow[kBufferBytes / 2 + 1];
    bool ascii = true;
    for (size_t i = 0; i < n && ascii; ++i) {
        ascii = buffer_[i] <= 0x7F;
        narrow[i] = static_cast<char>(buffer_[i]);
    }
    // A text that is no number refuses its record; a value the column's kind
    // cannot hold is handed on as a double (ora_read_number).
    if (!ascii || !ora_read_number(narrow, n, kind_, out))
        throw ora_exception(kInvalidNumber, "ORA-01722: invalid number");
}

// ---- ora_bdouble ---------------------------------------------------------------

ora_bdouble::ora_bdouble(OCIParam* param, uint8_t type_code) : ora_type(param, type_code) {}

t_ftd* ora_bdouble::get_ftd() const {
    return new t_ftd(0, name_, VT_R8, nullable_ == 0, false, ole_variant(), 0);
}

void ora_bdouble::define(OCIStmt* stmt, ub4 position) {
    if (type_code_ == SQLT_IBFLOAT)
        define_buffer(stmt, position, &float_, sizeof float_, SQLT_BFLOAT);
    else
        define_buffer(stmt, position, &double_, sizeof double_, SQLT_BDOUBLE);
}

void ora_bdouble::to_variant(ole_variant& out) {
    const double v = type_code_ == SQLT_IBFLOAT ? static_cast<double>(float_) : double_;
    if (!std::isfinite(v)) {
        throw tk_exception("The value of column " + tk::utf16_to_utf8(name_) + " is " +
                               (std::isnan(v) ? "NaN"
                                : v < 0       ? "-Inf"
                                              : "Inf") +
                               ", which a worksheet cannot hold; the record is not converted.",
                           0);
    }
    out = ole_variant(v);
}
