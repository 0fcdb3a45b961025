// Fixed-buffer column classes: character strings, RAW bytes, dates and the
// text representations of LONG, LONG RAW, ROWID and intervals.
#include "ORA/ora_engi.h"
#include "ORA/ora_type.h"
#include "ORA/ora_util.h"
#include "TK/tk_log.h"

// ---- ora_string --------------------------------------------------------------

ora_string::ora_string(OCIParam* param) : ora_type(param, SQLT_STR) {
    size_ = get_attr_u32(param, OCI_ATTR_DATA_SIZE) & 0xFFFF;  // a ub2
    read_charset_form(param);
    buffer_.assign(size_ + 1, u'\0');
}

void ora_string::define(OCIStmt* stmt, ub4 position) {
    define_buffer(stmt, position, buffer_.data(), static_cast<sb4>(buffer_.size() * 2), SQLT_STR);
}

void ora_string::to_variant(ole_variant& out) {
    out.attach_wstring(
        std::u16string_view(buffer_.data(), ora_text_length(buffer_.data(), buffer_.size())));
}

// ---- ora_binary ----------------------------------------------------------------

ora_binary::ora_binary(OCIParam* param) : ora_type(param, SQLT_BIN) {
    size_ = get_attr_u32(param, OCI_ATTR_DATA_SIZE) & 0xFFFF;  // a ub2
    // One byte at least, so the buffer always has an address.
    buffer_.assign(size_ ? size_ : 1, 0);
}

void ora_binary::define(OCIStmt* stmt, ub4 position) {
    // The returned length is asked for so that a shorter value is not
    // padded with the bytes of an earlier row.
    define_buffer(stmt, position, buffer_.data(), static_cast<sb4>(size_), SQLT_BIN, &returned_);
}

void ora_binary::to_variant(ole_variant& out) {
    const size_t n = returned_ < size_ ? returned_ : size_;
    out.attach_binary(buffer_.data(), n);
}

// ---- ora_date --------------------------------------------------------------------

ora_date::ora_date(OCIParam* param, uint8_t type_code) : ora_type(param, type_code) {}

void ora_date::define(OCIStmt* stmt, ub4 position) {
    define_buffer(stmt, position, buffer_, sizeof(buffer_), SQLT_DAT);
}

SYSTEMTIME ora_date::decode(const uint8_t* b) {
    const int century = b[0] > 100 ? b[0] - 100 : 100 - b[0];
    const int year = b[1] > 100 ? b[1] - 100 : 100 - b[1];
    SYSTEMTIME st{};
    st.wYear = static_cast<uint16_t>(century * 100 + year);
    st.wMonth = b[2];
    st.wDay = b[3];
    st.wHour = static_cast<uint16_t>(b[4] ? b[4] - 1 : 0);
    st.wMinute = static_cast<uint16_t>(b[5] ? b[5] - 1 : 0);
    st.wSecond = static_cast<uint16_t>(b[6] ? b[6] - 1 : 0);
    return st;
}

void ora_date::to_variant(ole_variant& out) {
    out = ole_variant(decode(buffer_));
}

// ---- ora_str_repr ------------------------------------------------------------------

ora_str_repr::ora_str_repr(OCIParam* param, uint8_t type_code, uint32_t characters)
    : ora_type(param, type_code) {
    size_ = characters;
    if (type_code_ == SQLT_LBI) {
        // "0x", then the server's hexadecimal text.
        buffer_.assign(static_cast<size_t>(size_) * 2 + 2, u'\0');
        buffer_[0] = u'0';
        buffer_[1] = u'x';
    } else {
        buffer_.assign(size_, u'\0');
    }
}

void ora_str_repr::define(OCIStmt* stmt, ub4 position) {
    const sb4 length = static_cast<sb4>(size_ * 2);
    if (type_code_ == SQLT_LBI) {
        define_buffer(stmt, position, buffer_.data() + 2, length, SQLT_STR);
    } else {
        define_buffer(stmt, position, buffer_.data(), length, SQLT_STR);
    }
}

void ora_str_repr::to_variant(ole_variant& out) {
    std::u16string_view text(buffer_.data(), ora_text_length(buffer_.data(), buffer_.size()));
    if (type_code_ == SQLT_LBI) {
        // A LONG RAW longer than the define buffer arrives cut, possibly in
        // the middle of a byte's two digits; an odd-length text would turn
        // the whole value into nothing, so the half byte is dropped.
        if (text.size() % 2)
            text.remove_suffix(1);
        out = ole_variant::from_wstring(text, VT_BLOB);
    } else {
        out.attach_wstring(text);
    }
}
