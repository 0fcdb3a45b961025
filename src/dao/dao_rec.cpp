#include "dao/dao_rec.h"

#include "TK/tk_log.h"
#include "jet/jet_value.h"

namespace dao_field {

int get_native_type(uint16_t vartype, uint32_t size) {
    tk_trace(1, "dao_field::get_native_type(%d)", vartype);
    switch (vartype) {
        case VT_I2:
        case VT_I1:
            return jet_integer;
        case VT_I4:
        case VT_UI2:
            return jet_long;
        case VT_R4:
            return jet_single;
        case VT_R8:
        case VT_DECIMAL:
        case VT_UI4:
        case VT_I8:
        case VT_UI8:
            return jet_double;
        case VT_CY:
            return jet_currency;
        case VT_DATE:
            return jet_date;
        case VT_BSTR:
            return size >= 1 && size <= 255 ? jet_text : jet_memo;
        case VT_BOOL:
            return jet_boolean;
        case VT_UI1:
            return jet_byte;
        case VT_BLOB:
        case VT_BLOB_OBJECT:
        case VT_BYTE_ARRAY:
            return size >= 1 && size <= 255 ? jet_binary : jet_long_binary;
        default:
            throw ole_type_exception();
    }
}

uint16_t get_vartype(int type) {
    tk_trace(1, "dao_field::get_vartype(%d)", type);
    switch (type) {
        case jet_boolean:
            return VT_BOOL;
        case jet_byte:
            return VT_UI1;
        case jet_integer:
            return VT_I2;
        case jet_long:
            return VT_I4;
        case jet_currency:
            return VT_CY;
        case jet_single:
            return VT_R4;
        case jet_double:
        case 19:
        case 20:
        case 21:
            return VT_R8;
        case jet_date:
        case 22:
            return VT_DATE;
        case jet_text:
        case jet_memo:
            return VT_BSTR;
        default:
            return VT_BLOB;
    }
}

}  // namespace dao_field

ole_variant dao_get_valid_variant(const ole_variant& v) {
    // Each result equals what the value's text form read back as the new
    // kind gives ("%d" -> short, "%u" -> long, "%lu" / "%I64d" / "%I64u" ->
    // double), computed without the text.
    switch (v.get_type()) {
        case VT_I1:
            tk_trace(1, "Converting VT_I1 value to short");
            return ole_variant(static_cast<short>(v.i1()));
        case VT_UI2:
            tk_trace(1, "Converting VT_UI2 value to integer");
            return ole_variant(static_cast<int>(v.ui2()));
        case VT_UI4:
            tk_trace(1, "Converting VT_UI4 value to double");
            return ole_variant(static_cast<double>(v.ui4()));
        case VT_I8:
            tk_trace(1, "Converting BIGINT value to double");
            return ole_variant(static_cast<double>(v.i8()));
        case VT_UI8:
            tk_trace(1, "Converting BIGINT value to double");
            return ole_variant(static_cast<double>(v.ui8()));
        default:
            return v;
    }
}

void dao_to_jet_value(const ole_variant& v, jet_value& out, std::u16string& scratch) {
    switch (v.get_type()) {
        case VT_EMPTY:
        case VT_NULL:
            out = jet_value();
            return;
        case VT_DATE: {
            const SYSTEMTIME& st = v.date();
            if (st.wYear == 0 && st.wMonth == 0 && st.wDay == 0) {
                tk_trace(1, "Null date has been found");
                out = jet_value::of_date(1899, 12, 30, st.wHour, st.wMinute, st.wSecond,
                                         static_cast<int32_t>(v.date_nanosecond()));
            } else {
                out = jet_value::of_date(st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute,
                                         st.wSecond, static_cast<int32_t>(v.date_nanosecond()));
            }
            return;
        }
        case VT_BSTR:
            out = jet_value::of_text(v.wstr_view());
            return;
        case VT_BOOL:
            out = jet_value::of_boolean(v.boolean() != 0);
            return;
        case VT_I1:
            tk_trace(1, "Converting VT_I1 value to short");
            out = jet_value::of_number(v.i1());
            return;
        case VT_UI2:
            tk_trace(1, "Converting VT_UI2 value to integer");
            out = jet_value::of_number(v.ui2());
            return;
        case VT_UI4:
            tk_trace(1, "Converting VT_UI4 value to double");
            out = jet_value::of_number(v.ui4());
            return;
        case VT_I8:
            tk_trace(1, "Converting BIGINT value to double");
            out = jet_value::of_number(static_cast<double>(v.i8()));
            return;
        case VT_UI8:
            tk_trace(1, "Converting BIGINT value to double");
            out = jet_value::of_number(static_cast<double>(v.ui8()));
            return;
        case VT_I2:
        case VT_I4:
        case VT_R4:
        case VT_R8:
        case VT_CY:
        case VT_DECIMAL:
        case VT_UI1:
            out = jet_value::of_number(v.to_double());
            return;
        case VT_INT:
            out = jet_value::of_number(v.i4());
            return;
        case VT_UINT:
            out = jet_value::of_number(static_cast<double>(v.ui4()));
            return;
        default:
            scratch = v.to_wstring();
            out = jet_value::of_text(scratch);
            return;
    }
}
