// Fixed-buffer column classes: character strings, RAW bytes, dates and the
// text representations of LONG, LONG RAW, ROWID and intervals.
#include <algorithm>
#include <cstdio>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "ORA/ora_engi.h"
#include "ORA/ora_type.h"
#include "ORA/ora_util.h"
#include "TK/tk_log.h"

namespace {

// The first unit of p[0..n) that is a NUL or an escaped byte (0xDC80 to
// 0xDCFF), or n; eight units a step where SSE2 is there.
size_t find_special(const char16_t* p, size_t n) {
    size_t i = 0;
#if defined(__SSE2__)
    const __m128i high = _mm_set1_epi16(static_cast<short>(0xFF80));
    const __m128i escaped = _mm_set1_epi16(static_cast<short>(0xDC80));
    const __m128i zero = _mm_setzero_si128();
    for (; i + 8 <= n; i += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        const __m128i hit = _mm_or_si128(_mm_cmpeq_epi16(v, zero),
                                         _mm_cmpeq_epi16(_mm_and_si128(v, high), escaped));
        if (_mm_movemask_epi8(hit))
            break;
    }
#endif
    while (i < n && p[i] != 0 && (p[i] & 0xFF80) != 0xDC80) ++i;
    return i;
}

// The text of a fetch buffer of `cap` characters as the value. With the
// returned length (below the 0xFFFF bytes that mean "at least that much")
// the text ends there, a terminator counted in it left out, and a NUL inside
// the text is dropped with the text after it kept; otherwise the text ends
// at its first NUL. A text of escaped bytes (ASCII and units 0xDC80 to
// 0xDCFF only, see ora_type.h) is not attached: false, with `escaped` set.
bool attach_text(const char16_t* buf, size_t cap, bool with_length, ub2 returned, ole_variant& out,
                 std::u16string_view& escaped) {
    size_t n = with_length && returned < 0xFFFF ? std::min<size_t>(returned / 2, cap)
                                                : ora_text_length(buf, cap);
    while (n > 0 && buf[n - 1] == 0) --n;
    const std::u16string_view text(buf, n);
    if (find_special(buf, n) == n) {  // nearly every text
        out.attach_wstring(text);
        return true;
    }
    // Bit 0 a NUL, bit 1 an escaped byte, bit 2 any other unit beyond ASCII.
    unsigned seen = 0;
    for (char16_t c : text) {
        const bool esc = (c & 0xFF80) == 0xDC80;
        seen |= unsigned(c == 0) | unsigned(esc) << 1 | unsigned(c >= 0x80 && !esc) << 2;
    }
    if ((seen & 6) == 2) {
        escaped = text;
        return false;
    }
    if (!(seen & 1)) {
        out.attach_wstring(text);
        return true;
    }
    std::u16string kept;
    kept.reserve(n);
    for (char16_t c : text)
        if (c != 0)
            kept += c;
    out.attach_wstring(kept);
    return true;
}

}  // namespace

// ---- ora_string --------------------------------------------------------------

ora_string::ora_string(OCIParam* param) : ora_type(param, SQLT_STR) {
    size_ = get_attr_u32(param, OCI_ATTR_DATA_SIZE) & 0xFFFF;  // a ub2
    read_charset_form(param);
    buffer_.assign(size_ + 1, u'\0');
}

void ora_string::define(OCIStmt* stmt, ub4 position) {
    // The returned length tells where a text with a NUL inside ends; a
    // buffer longer than a ub2 can count is read up to its first NUL.
    const size_t bytes = buffer_.size() * 2;
    with_length_ = bytes <= 0xFFFF;
    define_buffer(stmt, position, buffer_.data(), static_cast<sb4>(bytes), SQLT_STR,
                  with_length_ ? &returned_ : nullptr);
}

void ora_string::to_variant(ole_variant& out) {
    std::u16string_view escaped;
    if (!attach_text(buffer_.data(), buffer_.size(), with_length_, returned_, out, escaped))
        recode(escaped, out);
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

ora_date::ora_date(OCIParam* param, uint8_t type_code, bool as_text)
    : ora_type(param, type_code), as_text_(as_text) {
    // A timestamp's fraction of a second comes only in its text.
    if (as_text || is_timestamp_code(type_code))
        text_.assign(kTextCharacters + 1, u'\0');
}

bool ora_date::is_timestamp_code(ub2 type_code) {
    return is_date_code(type_code) && type_code != SQLT_DAT;
}

bool ora_date::is_date_code(ub2 type_code) {
    switch (type_code) {
        case SQLT_DAT:
        case SQLT_TIMESTAMP:
        case SQLT_TIMESTAMP_TZ:
        case TSL_OCI_STORED_TIMESTAMP_LTZ:
        case SQLT_TIMESTAMP_LTZ:
            return true;
        default:
            return false;
    }
}

void ora_date::define(OCIStmt* stmt, ub4 position) {
    if (!text_.empty()) {
        define_buffer(stmt, position, text_.data(), static_cast<sb4>(text_.size() * 2), SQLT_STR);
        return;
    }
    define_buffer(stmt, position, buffer_, sizeof(buffer_), SQLT_DAT);
}

namespace {

// Reads exactly `count` digits at t[i]; advances i.
bool digits(std::u16string_view t, size_t& i, int count, int& value) {
    if (i + static_cast<size_t>(count) > t.size())
        return false;
    value = 0;
    for (int k = 0; k < count; ++k, ++i) {
        const char16_t c = t[i];
        if (c < u'0' || c > u'9')
            return false;
        value = value * 10 + (c - u'0');
    }
    return true;
}

int days_in_month(int year, int month) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    // The Julian calendar before 1583 (every fourth year a leap year), as
    // the server counts.
    const bool leap =
        year < 1583 ? year % 4 == 0 : (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

// 'Z' or +HH[:]MM / -HH[:]MM, possibly after one blank.
bool zone(std::u16string_view t, size_t& i) {
    size_t j = i;
    if (j < t.size() && t[j] == u' ')
        ++j;
    if (j < t.size() && t[j] == u'Z') {
        i = j + 1;
        return true;
    }
    if (j >= t.size() || (t[j] != u'+' && t[j] != u'-'))
        return false;
    ++j;
    int h = 0, m = 0;
    if (!digits(t, j, 2, h))
        return false;
    if (j < t.size() && t[j] == u':')
        ++j;
    if (!digits(t, j, 2, m))
        return false;
    i = j;
    return true;
}

}  // namespace

bool ora_date::parse_text(std::u16string_view t, SYSTEMTIME& out, std::u16string_view* fraction) {
    while (!t.empty() && t.front() == u' ') t.remove_prefix(1);
    while (!t.empty() && t.back() == u' ') t.remove_suffix(1);
    size_t i = 0;
    if (i < t.size() && t[i] == u'-')
        ++i;  // before the Christian era: the year's magnitude is kept
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    std::u16string_view frac;
    if (!digits(t, i, 4, year) || i >= t.size() || t[i++] != u'-' || !digits(t, i, 2, month) ||
        i >= t.size() || t[i++] != u'-' || !digits(t, i, 2, day))
        return false;
    if (i < t.size() && (t[i] == u' ' || t[i] == u'T') && i + 1 < t.size() && t[i + 1] >= u'0' &&
        t[i + 1] <= u'9') {
        ++i;
        if (!digits(t, i, 2, hour) || i >= t.size() || t[i++] != u':' || !digits(t, i, 2, minute))
            return false;
        if (i < t.size() && t[i] == u':') {
            ++i;
            if (!digits(t, i, 2, second))
                return false;
            if (i < t.size() && t[i] == u'.') {
                // The server writes the point even for a precision of 0.
                const size_t start = ++i;
                while (i < t.size() && t[i] >= u'0' && t[i] <= u'9') ++i;
                frac = t.substr(start, i - start);
            }
        }
        if (i < t.size() && !zone(t, i))
            return false;
    }
    if (i != t.size())
        return false;
    if (month < 1 || month > 12 || day < 1 || day > days_in_month(year, month) || hour > 23 ||
        minute > 59 || second > 59)
        return false;
    out = SYSTEMTIME{};
    out.wYear = static_cast<uint16_t>(year);
    out.wMonth = static_cast<uint16_t>(month);
    out.wDay = static_cast<uint16_t>(day);
    out.wHour = static_cast<uint16_t>(hour);
    out.wMinute = static_cast<uint16_t>(minute);
    out.wSecond = static_cast<uint16_t>(second);
    if (fraction)
        *fraction = frac;
    return true;
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

namespace {

// Nanoseconds of the digits after a second's point (the first nine).
uint32_t nanoseconds(std::u16string_view fraction) {
    uint32_t ns = 0;
    for (size_t k = 0; k < 9; ++k)
        ns = ns * 10 + (k < fraction.size() ? static_cast<uint32_t>(fraction[k] - u'0') : 0);
    return ns;
}

// "YYYY-MM-DD HH:MM:SS." and the fraction as given.
void timestamp_text(const SYSTEMTIME& st, std::u16string_view fraction, ole_variant& out) {
    char head[32];
    const int n = std::snprintf(head, sizeof head, "%04d-%02d-%02d %02d:%02d:%02d.", st.wYear,
                                st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond);
    std::u16string* text = out.mutable_bstr();
    if (!text) {
        out.attach_wstring(u"");
        text = out.mutable_bstr();
    }
    text->assign(head, head + n);
    text->append(fraction);
}

}  // namespace

void ora_date::to_variant(ole_variant& out) {
    if (text_.empty()) {
        out = ole_variant(decode(buffer_));
        return;
    }
    const std::u16string_view text(text_.data(), ora_text_length(text_.data(), text_.size()));
    SYSTEMTIME st{};
    std::u16string_view fraction;
    if (!as_text_) {
        // A timestamp for a date cell: its fraction goes with it.
        if (!parse_text(text, st, &fraction))
            throw ora_exception(1861, "ORA-01861: literal does not match format string");
        out = ole_variant(st, nanoseconds(fraction));
        return;
    }
    // A year before the Christian era has no canonical text: the text stays
    // as the source holds it.
    const size_t lead = text.find_first_not_of(u' ');
    const bool before_era = lead != std::u16string_view::npos && text[lead] == u'-';
    if (!before_era && parse_text(text, st, &fraction)) {
        if (is_timestamp_code(type_code_) && !fraction.empty())
            timestamp_text(st, fraction, out);
        else
            out = ole_variant(st);
        return;
    }
    std::u16string_view escaped;
    if (!attach_text(text_.data(), text_.size(), false, 0, out, escaped))
        recode(escaped, out);
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
        define_buffer(stmt, position, buffer_.data(), length, SQLT_STR, &returned_);
    }
}

void ora_str_repr::to_variant(ole_variant& out) {
    if (type_code_ != SQLT_LBI) {
        std::u16string_view escaped;
        if (!attach_text(buffer_.data(), buffer_.size(), true, returned_, out, escaped))
            recode(escaped, out);
        return;
    }
    std::u16string_view text(buffer_.data(), ora_text_length(buffer_.data(), buffer_.size()));
    // A LONG RAW longer than the define buffer arrives cut, possibly in the
    // middle of a byte's two digits; an odd-length text would turn the whole
    // value into nothing, so the half byte is dropped.
    if (text.size() % 2)
        text.remove_suffix(1);
    out = ole_variant::from_wstring(text, VT_BLOB);
}
