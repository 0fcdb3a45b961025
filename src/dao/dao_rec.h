// Field types and values between the universal model and the workbook
// driver: the mapping of ole_variant kinds to field types and back, the
// adaptation of kinds the driver does not take, and the making of one
// driver cell value from one ole_variant.
#pragma once

#include <cstdint>
#include <string>

#include "OLE/ole_var.h"
#include "jet/jet_value.h"

namespace dao_field {

// Field type of a column of kind `vartype` and length `size`; a kind with
// none raises ole_type_exception. Texts and binaries of 1 to 255 become
// Text / Binary, others Memo / Long Binary.
int get_native_type(uint16_t vartype, uint32_t size);
// The kind of the values of a column of field type `type`.
uint16_t get_vartype(int type);

}  // namespace dao_field

// The value in a kind the driver takes: VT_I1 -> VT_I2, VT_UI2 -> VT_I4,
// VT_UI4, VT_I8, VT_UI8 -> VT_R8 (the same number, as the value's text form
// read back gives it). Other kinds are returned unchanged.
ole_variant dao_get_valid_variant(const ole_variant& v);

// True for the kinds dao_get_valid_variant changes.
inline bool dao_needs_adaptation(uint16_t vt) {
    return vt == VT_I1 || vt == VT_UI2 || vt == VT_UI4 || vt == VT_I8 || vt == VT_UI8;
}

// One cell value for the driver from `v`, for a column of kind `column_kind`
// that is `required`. Texts are passed as views of `v` (no copy); `scratch`
// holds a text made here and must live as long as `out` is used.
//   VT_EMPTY / VT_NULL: null, or for a required column an empty value of the
//     column's kind (an empty text for a text column, else null);
//   VT_DATE: a date whose date part is 0000-00-00 (a time of day alone)
//     becomes 1899-12-30 with that time;
//   numbers, currency, decimals (adapted kinds included): a number;
//   VT_BOOL: a boolean; VT_BSTR: a text; others: their text form.
void dao_to_jet_value(const ole_variant& v, uint16_t column_kind, bool required, jet_value& out,
                      std::u16string& scratch);
