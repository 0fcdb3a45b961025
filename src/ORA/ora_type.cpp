#include "ORA/ora_type.h"

#include "ORA/ora_engi.h"
#include "TK/tk_log.h"
#include "TK/tk_utf.h"

namespace {

constexpr const char16_t kUnsupported[] = u"<unsupported type>";
constexpr uint32_t kUnsupportedSize = 18;
// The widest interval text and its terminator: "-999999999 23:59:59.999999999"
// (INTERVAL DAY(9) TO SECOND(9)); "-999999999-11" is shorter.
constexpr uint32_t kIntervalChars = 30;

}  // namespace

ora_type::ora_type(OCIParam* param, uint8_t type_code) : type_code_(type_code) {
    OraText* name = nullptr;
    ub4 name_bytes = 0;
    get_attr(param, &name, OCI_ATTR_NAME, &name_bytes);
    if (name && name_bytes >= 2) {
        name_.assign(reinterpret_cast<const char16_t*>(name), name_bytes / 2);
    }
    nullable_ = static_cast<uint8_t>(get_attr_u32(param, OCI_ATTR_IS_NULL) & 0xFF);
}

ora_type::~ora_type() {
    if (!define_)
        return;
    if (ora_engine* engine = ora_engine::instance_ptr(); engine && engine->oci()) {
        engine->oci()->OCIHandleFree(define_, OCI_HTYPE_DEFINE);
    }
}

void ora_type::get_attr(OCIParam* param, void* value, ub4 attribute, ub4* size) {
    ora_engine& engine = ora_engine::instance();
    engine.check_status(
        engine.oci()->OCIAttrGet(param, OCI_DTYPE_PARAM, value, size, attribute, engine.err()));
}

uint32_t ora_type::get_attr_u32(OCIParam* param, ub4 attribute) {
    uint32_t value = 0;
    get_attr(param, &value, attribute);
    return value;
}

void ora_type::define_buffer(OCIStmt* stmt, ub4 position, void* buffer, sb4 length, ub2 type,
                             ub2* returned_length) {
    ora_engine& engine = ora_engine::instance();
    engine.check_status(engine.oci()->OCIDefineByPos(stmt, &define_, engine.err(), position, buffer,
                                                     length, type, &indicator_, returned_length,
                                                     nullptr, OCI_DEFAULT));
    if (charset_form_ == SQLCS_NCHAR) {
        ub1 form = SQLCS_NCHAR;
        engine.check_status(engine.oci()->OCIAttrSet(define_, OCI_HTYPE_DEFINE, &form, 0,
                                                     OCI_ATTR_CHARSET_FORM, engine.err()));
    }
}

void ora_type::read_charset_form(OCIParam* param) {
    charset_form_ = static_cast<uint8_t>(get_attr_u32(param, OCI_ATTR_CHARSET_FORM) & 0xFF);
}

void ora_type::recode(std::u16string_view escaped, ole_variant& out) {
    std::string bytes;
    bytes.reserve(escaped.size());
    for (char16_t c : escaped) {
        if (c != 0)  // a NUL inside a text is dropped, as everywhere
            bytes.push_back(static_cast<char>(c < 0x80 ? c : c - 0xDC00));
    }
    recode_bytes(bytes, out);
}

void ora_type::recode_bytes(std::string_view bytes, ole_variant& out) {
    if (!codepage_)
        codepage_ = std::make_unique<tk_codepage>(tk_ansi_codepage());
    out.attach_wstring(codepage_->decode(bytes));
    recoded_ = true;
}

uint16_t ora_type::get_vartype() const {
    switch (type_code_) {
        case SQLT_DAT:
        case SQLT_TIMESTAMP:
        case SQLT_TIMESTAMP_TZ:
        case TSL_OCI_STORED_TIMESTAMP_LTZ:
        case SQLT_TIMESTAMP_LTZ:
            return VT_DATE;
        case SQLT_BIN:
        case SQLT_LBI:
        case SQLT_BLOB:
            return VT_BLOB;
        default:
            return VT_BSTR;
    }
}

t_ftd* ora_type::get_ftd() const {
    const uint16_t kind = get_vartype();
    return new t_ftd(size_, name_, kind, nullable_ == 0, false, ole_variant(),
                     kind == VT_DATE ? 1 : 0);
}

std::unique_ptr<ora_type> ora_type::create(OCIParam* param, ub2 type_code) {
    switch (type_code) {
        case SQLT_CHR:
        case SQLT_STR:
        case SQLT_AFC:
            return std::make_unique<ora_string>(param);
        case SQLT_NUM:
        case SQLT_INT:
        case SQLT_FLT:
        case SQLT_VNU:
        case SQLT_PDN:
            return std::make_unique<ora_number>(param);
        case SQLT_LNG:
        case SQLT_LBI:
            return std::make_unique<ora_str_repr>(param, type_code, 1000000);
        case SQLT_RID:
        case SQLT_RDD:
        case SQLT_LAB:
            return std::make_unique<ora_str_repr>(param, type_code, 255);
        case TSL_OCI_STORED_INTERVAL_YM:
        case SQLT_INTERVAL_YM:
        case SQLT_INTERVAL_DS:
            return std::make_unique<ora_str_repr>(param, type_code, kIntervalChars);
        case SQLT_DAT:
        case SQLT_TIMESTAMP:
        case SQLT_TIMESTAMP_TZ:
        case TSL_OCI_STORED_TIMESTAMP_LTZ:
        case SQLT_TIMESTAMP_LTZ:
            return std::make_unique<ora_date>(param, type_code);
        case SQLT_BIN:
            return std::make_unique<ora_binary>(param);
        case SQLT_IBFLOAT:
        case SQLT_IBDOUBLE:
            return std::make_unique<ora_bdouble>(param, static_cast<uint8_t>(type_code));
        case SQLT_CLOB:
        case SQLT_BLOB:
            return std::make_unique<ora_lob>(param, type_code);
        default:
            tk_trace(1, "Unsupported column type %d", type_code);
            return std::make_unique<ora_dummy>(param);
    }
}

// ---- ora_dummy -------------------------------------------------------------

ora_dummy::ora_dummy(OCIParam* param) : ora_type(param, SQLT_STR) {
    size_ = kUnsupportedSize;
    nullable_ = 0;
}

void ora_dummy::to_variant(ole_variant& out) {
    out.attach_wstring(kUnsupported);
}

// ---- ora_record --------------------------------------------------------------

void ora_record::fill(const std::vector<std::unique_ptr<ora_type>>& columns) {
    if (size() != columns.size()) {
        clear();
        reserve(columns.size());
        for (const auto& column : columns) {
            emplace_back(column->name(), static_cast<int32_t>(column->size()), ole_variant());
        }
    }
    for (size_t i = 0; i < columns.size(); ++i) {
        ora_type& column = *columns[i];
        if (column.is_truncated()) {
            const sb2 needed = column.indicator();
            throw tk_exception("The value of column " + tk::utf16_to_utf8(column.name()) +
                                   " is longer than its fetch buffer (" +
                                   (needed > 0 ? std::to_string(needed) + " bytes"
                                               : std::string("over 32767 bytes")) +
                                   ") and would be cut; the record is not converted.",
                               0);
        }
    }
    for (size_t i = 0; i < columns.size(); ++i) {
        ora_type& column = *columns[i];
        udb_field& field = (*this)[i];
        field.size = static_cast<int32_t>(column.size());
        field.b_recoded = false;
        if (column.is_null()) {
            field.clear();
        } else {
            column.recoded_ = false;
            column.to_variant(field);
            field.b_recoded = column.recoded_;
        }
    }
}
