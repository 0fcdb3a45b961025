#include "core/err_hand.h"

#include <algorithm>

#include "TK/tk_log.h"
#include "TK/tk_utf.h"
#include "core/con_out.h"

namespace {
constexpr size_t kPositionLimit = 255;  // characters of a "%s, record #%d" context
}

void console_error_view::show_internal_error(const std::string& text) {
    con_out("Internal error: " + text);
}

void console_error_view::show_error(const std::string& text) {
    con_out("Error:");
    con_out(text);
}

void console_error_view::show_report(const std::string& text) {
    show_error(text);
}

bool console_error_view::ask_continue(const std::string& text, bool& dont_show_again) {
    show_error(text);
    dont_show_again = false;
    return true;
}

void console_error_view::end_process(int status) {
    throw tsl_exit_request{status};
}

error_handler::error_handler(error_view& view, size_t count, const tk_error_entry* entries)
    : view_(view), messages_(count, entries) {
    tk_trace(2, "error_handler::ctor");
}

error_handler::~error_handler() = default;

void error_handler::load_err_map(size_t count, const tk_error_entry* entries) {
    tk_trace(2, "error_handler::load_err_map");
    messages_.load_map(count, entries);
}

void error_handler::set_table(const std::u16string& name) {
    context_ = tk::utf16_to_utf8(name);
}

void error_handler::set_position(const std::u16string& name, int record_number) {
    std::u16string text = tk_wformat(u"%s, record #%d", name.c_str(), record_number);
    if (text.size() > kPositionLimit)
        text.resize(kPositionLimit);
    context_ = tk::utf16_to_utf8(text);
}

std::string error_handler::compose(const tk_exception& e) const {
    std::string text;
    if (!context_.empty())
        text = context_ + ": ";
    std::string mapped = messages_.convert(e.system_error());
    text += mapped.empty() ? e.message() : mapped;
    return text;
}

void error_handler::report(const tk_exception& e) {
    tk_trace(2, "error_handler::report");
    ++reports_;
    std::string text = compose(e);
    tk_trace(3, "Error:\n%s", text.c_str());
    std::replace(text.begin(), text.end(), '\n', ' ');
    view_.note_error(text);
    if (!suppress_)
        view_.show_report(text);
}

void error_handler::end_run(const tk_exception& e) {
    tk_trace(2, "error_handler::end_run");
    ++reports_;
    std::string text = compose(e);
    tk_trace(3, "Error:\n%s", text.c_str());
    std::replace(text.begin(), text.end(), '\n', ' ');
    view_.note_error(text);
    view_.show_error(text);
    throw tk_final_exception();
}

void error_handler::handle(const tk_exception& e, bool no_abort) {
    tk_trace(2, "error_handler::handle");
    ++reports_;
    if (e.code() == 2) {
        tk_trace(3, "Internal error:\n%s", e.what());
        view_.show_internal_error(e.message());
        view_.end_process(-1);
    }
    std::string text = compose(e);
    tk_trace(3, "Error:\n%s", text.c_str());
    std::replace(text.begin(), text.end(), '\n', ' ');
    view_.note_error(text);

    if (e.code() != 0) {  // level 1 (and any level the family does not know)
        tk_trace(1, "Got 1-level error");
        if (!suppress_) {
            tk_trace(1, "Step 1");
            view_.show_error(text);
            tk_trace(1, "Step 2");
        }
        if (view_.fatal_ends_process())
            view_.end_process(-1);
        if (!no_abort)
            throw tk_final_exception();
        return;
    }
    tk_trace(1, "Got 0-level error");
    if (suppress_)
        return;
    bool dont_show_again = false;
    bool go_on = view_.ask_continue(text, dont_show_again);
    if (!go_on && !no_abort)
        throw tk_final_exception();
    suppress_ = dont_show_again;
}
