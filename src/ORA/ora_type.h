// Column objects: one per select-list column of a result set the Oracle
// source reads. Each is built from the column's describe parameter, gives
// the column's type descriptor (t_ftd), binds its fetch buffer on the
// reader's statement once, and after every fetch decodes the current value.
//
// Type code to class (OCI_ATTR_DATA_TYPE):
//   1, 5, 96                    ora_string    SQLT_STR, size*2+2 bytes
//   2, 3, 4, 6, 7               ora_number    SQLT_STR, 510 bytes
//   8, 24                       ora_str_repr  1,000,000 characters (LONG RAW as hex)
//   11, 104, 105                ora_str_repr  255 characters
//   182, 189, 190               ora_str_repr  30 characters (the widest interval)
//   12                          ora_date      SQLT_DAT, 7 bytes
//   187, 188, 231, 232          ora_date      the session's text (for the fraction of
//                                             a second)
//   23                          ora_binary    SQLT_BIN, size bytes
//   100, 101                    ora_bdouble   SQLT_BFLOAT / SQLT_BDOUBLE (IEEE numbers)
//   112, 113                    ora_lob       a LOB locator, read in pieces
//   anything else               ora_dummy     "<unsupported type>", nothing defined
//
// National character columns (NCHAR, NVARCHAR2, NCLOB) are defined with
// OCI_ATTR_CHARSET_FORM SQLCS_NCHAR: otherwise the client converts them
// through the database character set, which may not hold their text.
//
// A value the client had to cut to fit its buffer (a positive indicator, or
// -2 beyond 32,767 bytes) is never handed on: the row is refused with a
// report (ora_record::fill).
//
// Texts the embedded provider holds in no valid UTF-8 come with each byte
// above 0x7F as the unit 0xDC00 + byte (UTF-16 buffers) or as the byte
// itself (CLOB pieces in UTF-8); such a value is read in the ANSI code page
// (tk_cpage.h), as the workbook's Excel 5.0 texts are, and its field is
// marked udb_field::b_recoded.
//
// Ownership: a column object owns its buffers, its LOB locator and its
// define handle, and must be destroyed before the statement it was defined
// on. Buffers are sized once and reused for every row.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "OLE/ole_var.h"
#include "TK/tk_cpage.h"
#include "UDB/udb_sche.h"
#include "oci/tsl_oci.h"

class ora_type {
  public:
    virtual ~ora_type();
    ora_type(const ora_type&) = delete;
    ora_type& operator=(const ora_type&) = delete;

    // The class for a describe type code; the caller owns the result.
    static std::unique_ptr<ora_type> create(OCIParam* param, ub2 type_code);

    // The ole_variant kind of the column's values.
    virtual uint16_t get_vartype() const;
    // A new descriptor owned by the caller.
    virtual t_ftd* get_ftd() const;
    // The current (non-NULL) value into `out`; buffers of `out` are reused.
    virtual void to_variant(ole_variant& out) = 0;
    // Binds the fetch buffer at the 1-based position.
    virtual void define(OCIStmt* stmt, ub4 position) = 0;

    const std::u16string& name() const { return name_; }
    uint8_t nullable() const { return nullable_; }
    uint32_t size() const { return size_; }
    void set_size(uint32_t size) { size_ = size; }
    uint8_t type_code() const { return type_code_; }
    sb2 indicator() const { return indicator_; }
    // True when the last fetch delivered NULL.
    bool is_null() const { return indicator_ == -1; }
    // True when the last fetch cut the value to fit the buffer.
    bool is_truncated() const { return indicator_ > 0 || indicator_ == -2; }
    // OCI_ATTR_CHARSET_FORM of a character column as described (0 when not read).
    uint8_t charset_form() const { return charset_form_; }
    // True when the last to_variant read a text in the code page.
    bool recoded() const { return recoded_; }

  protected:
    friend class ora_record;
    // Reads the column name and OCI_ATTR_IS_NULL.
    ora_type(OCIParam* param, uint8_t type_code);

    // One guarded OCIAttrGet on the parameter.
    static void get_attr(OCIParam* param, void* value, ub4 attribute, ub4* size = nullptr);
    // A scalar attribute read into a zeroed 32-bit cell, so that a 1-, 2-
    // or 4-byte attribute lands in its low bytes.
    static uint32_t get_attr_u32(OCIParam* param, ub4 attribute);
    // Guarded OCIDefineByPos with this column's indicator; a national
    // column's define then asks for its character set form.
    void define_buffer(OCIStmt* stmt, ub4 position, void* buffer, sb4 length, ub2 type,
                       ub2* returned_length = nullptr);
    // Reads OCI_ATTR_CHARSET_FORM of a character column.
    void read_charset_form(OCIParam* param);

    // Reads the bytes of an escaped text (see above) in the ANSI code page
    // into `out`, and sets recoded().
    void recode(std::u16string_view escaped, ole_variant& out);
    void recode_bytes(std::string_view bytes, ole_variant& out);

    OCIDefine* define_ = nullptr;
    std::u16string name_;
    uint8_t nullable_ = 0;
    uint32_t size_ = 0;
    uint8_t type_code_ = 0;
    sb2 indicator_ = 0;
    uint8_t charset_form_ = 0;
    bool recoded_ = false;
    std::unique_ptr<tk_codepage> codepage_;  // made at the first text that needs it
};

// NUMBER and the other numeric codes, fetched as text (which holds all 38
// digits) and parsed into the column's kind:
//   precision 0 or > 38, or a FLOAT (scale -127)  VT_R8
//   scale > 0                                     VT_DECIMAL (reserved (p << 8) | s)
//   scale <= 0: precision 1-2 VT_I1, 3-4 VT_I2, 5-9 VT_I4, 10-18 VT_I8, 19-38 VT_R8
// A value with more than 15 significant digits that the kind does not hold
// exactly comes as the text of its digits (ora_nfast.h), never as a double.
class ora_number : public ora_type {
  public:
    ora_number(OCIParam* param);
    uint16_t get_vartype() const override { return kind_; }
    t_ftd* get_ftd() const override;
    void to_variant(ole_variant& out) override;
    void define(OCIStmt* stmt, ub4 position) override;

    int32_t precision() const { return precision_; }
    int32_t scale() const { return scale_; }
    // The kind for a precision and scale as described.
    static uint16_t kind_for(int32_t precision, int32_t scale);

  private:
    static constexpr size_t kBufferBytes = 510;
    int32_t precision_ = 0;
    int32_t scale_ = 0;
    uint16_t kind_ = 0;
    char16_t buffer_[kBufferBytes / 2] = {};
};

// VARCHAR2, CHAR and the other character codes (type code stored as 5). A
// NUL inside a value is dropped, the text after it kept.
class ora_string : public ora_type {
  public:
    ora_string(OCIParam* param);
    void to_variant(ole_variant& out) override;
    void define(OCIStmt* stmt, ub4 position) override;

  private:
    std::vector<char16_t> buffer_;  // size + 1 characters
    ub2 returned_ = 0;              // bytes the fetch returned
    bool with_length_ = false;      // the define asks for the returned length
};

// BINARY_FLOAT and BINARY_DOUBLE: IEEE numbers, fetched as such and handed
// on as VT_R8 (a float widened exactly). NaN and the infinities, which no
// worksheet number holds, refuse their record.
class ora_bdouble : public ora_type {
  public:
    ora_bdouble(OCIParam* param, uint8_t type_code);
    uint16_t get_vartype() const override { return VT_R8; }
    t_ftd* get_ftd() const override;
    void to_variant(ole_variant& out) override;
    void define(OCIStmt* stmt, ub4 position) override;

  private:
    double double_ = 0;
    float float_ = 0;
};

// RAW: the value's bytes, trimmed to the length the fetch returned.
class ora_binary : public ora_type {
  public:
    ora_binary(OCIParam* param);
    void to_variant(ole_variant& out) override;
    void define(OCIStmt* stmt, ub4 position) override;

  private:
    std::vector<uint8_t> buffer_;  // size bytes
    ub2 returned_ = 0;
};

// CLOB, NCLOB (text, read as UTF-8) and BLOB (bytes), read through a locator
// in 32,768-byte pieces.
class ora_lob : public ora_type {
  public:
    ora_lob(OCIParam* param, uint8_t type_code);
    ~ora_lob() override;
    void to_variant(ole_variant& out) override;
    void define(OCIStmt* stmt, ub4 position) override;

    static constexpr ub4 kPieceBytes = 32768;

  private:
    // Adds the piece's first n bytes to the value (raises std::bad_alloc).
    void keep_piece(ole_variant& out, bool text, ub4 n);

    OCILobLocator* locator_ = nullptr;
    std::vector<unsigned char> piece_;  // kPieceBytes + 1
    std::string text_;                  // a CLOB's UTF-8 bytes, reused per row
};

// DATE, fetched in the 7-byte DATE layout, and the timestamp codes, fetched
// as the server's text (the session is set to give "YYYY-MM-DD HH24:MI:SS.FF")
// and read with their fraction of a second; a timestamp text that is no date
// refuses its record (ORA-01861), as a DATE's would.
//
// When the dates are written as text, every date column is fetched as text:
// a text of the form "YYYY-MM-DD[ HH:MI[:SS[.fff]]]" that is a valid date
// becomes that date, and a timestamp's with a fraction becomes the canonical
// text "YYYY-MM-DD HH:MI:SS" followed by the fraction as the source gives
// it; any other text (a value a source that does not enforce the type
// holds, a year before the Christian era) is handed on as it stands.
class ora_date : public ora_type {
  public:
    ora_date(OCIParam* param, uint8_t type_code, bool as_text = false);
    void to_variant(ole_variant& out) override;
    void define(OCIStmt* stmt, ub4 position) override;

    // The type codes this class serves.
    static bool is_date_code(ub2 type_code);
    // The 7 bytes (century+100, year+100, month, day, hour+1, minute+1,
    // second+1) as a broken-down date and time.
    static SYSTEMTIME decode(const uint8_t* bytes);
    // Reads a date text of the form above (a 'T' may stand for the blank, a
    // time zone after the time is ignored, a leading '-' marks a year
    // before the Christian era, which comes out as the positive year, as in
    // decode); false when the text has another form or is no valid date.
    // `fraction` (optional) receives the digits after the seconds' point.
    static bool parse_text(std::u16string_view text, SYSTEMTIME& out,
                           std::u16string_view* fraction = nullptr);
    // True for the timestamp codes (a fraction of a second).
    static bool is_timestamp_code(ub2 type_code);

    // Characters of a date value read as text.
    static constexpr uint32_t kTextCharacters = 4000;

  private:
    bool as_text_ = false;
    uint8_t buffer_[7] = {};
    std::vector<char16_t> text_;  // kTextCharacters + 1 when fetched as text
};

// LONG, LONG RAW, ROWID and intervals: text of a fixed length in characters.
// A NUL inside a text is dropped, the text after it kept (for a LONG value
// whose length the fetch can tell, below 32,767 characters).
// A LONG RAW arrives as hexadecimal text behind a "0x" and becomes bytes.
class ora_str_repr : public ora_type {
  public:
    ora_str_repr(OCIParam* param, uint8_t type_code, uint32_t characters);
    void to_variant(ole_variant& out) override;
    void define(OCIStmt* stmt, ub4 position) override;

  private:
    std::vector<char16_t> buffer_;
    ub2 returned_ = 0;  // bytes the fetch returned (0xFFFF: at least that many)
};

// Any other type (BFILE, objects, collections): always the text
// "<unsupported type>"; nothing is defined and the value is never NULL.
class ora_dummy : public ora_type {
  public:
    ora_dummy(OCIParam* param);
    void to_variant(ole_variant& out) override;
    void define(OCIStmt*, ub4) override {}
};

// One row as the reader hands it out: a field per column, in column order.
// The reader keeps one record and refills it after every fetch, so a row
// costs no allocation beyond its values.
class ora_record : public udb_record {
  public:
    ora_record() = default;
    // A record of the current row of `columns`.
    explicit ora_record(const std::vector<std::unique_ptr<ora_type>>& columns) { fill(columns); }
    // Overwrites the fields with the current row: a NULL becomes VT_EMPTY,
    // every other value is decoded by its column. Names and sizes follow
    // the columns.
    void fill(const std::vector<std::unique_ptr<ora_type>>& columns);
};
