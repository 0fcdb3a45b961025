// Column descriptions and cell values exchanged with the workbook driver.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Field types, numbered as the database engine numbers them.
enum jet_field_type {
    jet_boolean = 1,
    jet_byte = 2,
    jet_integer = 3,
    jet_long = 4,
    jet_currency = 5,
    jet_single = 6,
    jet_double = 7,
    jet_date = 8,
    jet_binary = 9,
    jet_text = 10,
    jet_long_binary = 11,
    jet_memo = 12
};

struct jet_column {
    std::u16string name;
    int type = jet_text;  // a jet_field_type
    int size = 0;
    bool required = false;
    bool auto_increment = false;
    std::u16string default_value;  // kept, not applied: a worksheet has no defaults
};

// One cell value handed to jet_table::append. A text is a view: the caller
// keeps it alive for the call; the driver copies what it keeps. A label is
// a text written as a text cell whatever the column's type (a number's
// exact digits, which a number cell would change).
struct jet_value {
    enum class kind_t : uint8_t { null, number, text, boolean, date, label };
    kind_t kind = kind_t::null;
    double number = 0;
    std::u16string_view text;
    bool boolean = false;
    int16_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;  // for date
    int32_t nanosecond = 0;  // for date: the fraction of its second (0 to 999,999,999)

    static jet_value of_number(double v) {
        jet_value r;
        r.kind = kind_t::number;
        r.number = v;
        return r;
    }
    static jet_value of_text(std::u16string_view s) {
        jet_value r;
        r.kind = kind_t::text;
        r.text = s;
        return r;
    }
    static jet_value of_label(std::u16string_view s) {
        jet_value r;
        r.kind = kind_t::label;
        r.text = s;
        return r;
    }
    static jet_value of_boolean(bool b) {
        jet_value r;
        r.kind = kind_t::boolean;
        r.boolean = b;
        return r;
    }
    static jet_value of_date(int y, int mo, int d, int h = 0, int mi = 0, int s = 0,
                             int32_t ns = 0) {
        jet_value r;
        r.kind = kind_t::date;
        r.year = static_cast<int16_t>(y);
        r.month = static_cast<int16_t>(mo);
        r.day = static_cast<int16_t>(d);
        r.hour = static_cast<int16_t>(h);
        r.minute = static_cast<int16_t>(mi);
        r.second = static_cast<int16_t>(s);
        r.nanosecond = ns;
        return r;
    }
};
