#include "agent/ag_front.h"

#include <cstdio>

#include "TK/tk_utf.h"
#include "core/con_out.h"

void agent_front::database_started(const std::u16string& src, int32_t table_count) {
    con_out("Converting database " + tk::utf16_to_utf8(src) + "(" + std::to_string(table_count) +
            " tables)");
}

void agent_front::table_missing(const std::u16string& name) {
    con_err("Table " + tk::utf16_to_utf8(name) + " not exists");
}

void agent_front::table_started(const std::u16string& name, int32_t record_count) {
    table_ = tk::utf16_to_utf8(name);
    std::string line = "Converting table " + table_;
    if (record_count != 0)
        line += " (" + std::to_string(record_count) + " records)";
    con_out(line);
    drawing_ = con_progress_allowed();
    total_ = record_count;
    started_ = drawn_ = clock::now();
}

void agent_front::records_done(int32_t done) {
    if (!drawing_ || done % kCheckEvery != 0)
        return;
    clock::time_point now = clock::now();
    if (now - drawn_ < kRedrawEvery)
        return;
    drawn_ = now;
    con_progress(
        progress_text(table_, done, total_, std::chrono::duration<double>(now - started_).count()));
}

void agent_front::table_ended() {
    drawing_ = false;
    con_progress_clear();
}

void agent_front::table_note(const std::u16string& name, const std::string& text) {
    con_out(tk::utf16_to_utf8(name) + ": " + text);
}

void agent_front::unexpected_error(const std::exception& e) {
    con_err(e.what());
}

std::string agent_front::progress_text(const std::string& table, int32_t done, int32_t total,
                                       double seconds) {
    char buf[96];
    long rate = seconds > 0 ? static_cast<long>(done / seconds) : 0;
    if (total > 0) {
        std::snprintf(buf, sizeof buf, ": %d of %d records, %ld records/s", done, total, rate);
    } else {
        std::snprintf(buf, sizeof buf, ": %d records, %ld records/s", done, rate);
    }
    return table + buf;
}
