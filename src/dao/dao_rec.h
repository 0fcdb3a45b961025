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

// Field type (jet_field_type) of a column of kind `vartype` and length
// `size`: texts of 1 to 255 characters are Text, others Memo; binaries of
// 1 to 255 bytes Binary, others Long Binary. A kind without a field type
// raises ole_type_exception.
int get_native_type(uint16_t vartype, uint32_t size);
// The kind of the values of a column of field type `type`; codes without a
// kind of their own give VT_BLOB.
uint16_t get_vartype(int type);

}  // namespace dao_field

// The value in a kind the driver takes: VT_I1 -> VT_I2, VT_UI2 -> VT_I4,
// VT_UI4, VT_I8, VT_UI8 -> VT_R8 (the number the value's text form read
// back in the new kind gives). Other kinds are returned unchanged.
ole_variant dao_get_valid_variant(const ole_variant& v);

// True for the kinds dao_get_valid_variant changes.
inline bool dao_needs_adaptation(uint16_t vt) {
    return vt == VT_I1 || vt == VT_UI2 || vt == VT_UI4 || vt == VT_I8 || vt == VT_UI8;
}

// The driver's cell value for `v`. A text is a view of `v` (no copy), so
// `v` must stay unchanged while `out` is used; kinds without a cell of their
// own (errors, binaries) take their text form, made in `scratch`.
//   VT_EMPTY, VT_NULL  null (no cell)
//   VT_DATE            a date; a value without a date part (its text reads
//                      "0000-00-00 hh:mm:ss") becomes 1899-12-30 with its
//                      time of day
//   VT_BOOL            a boolean
//   VT_BSTR            a text
//   numeric kinds      a number (adapted kinds as dao_get_valid_variant)
void dao_to_jet_value(const ole_variant& v, jet_value& out, std::u16string& scratch);
