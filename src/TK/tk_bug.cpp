#include "TK/tk_bug.h"

#include <limits.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>

#include "TK/tk_log.h"
#include "TK/tk_utf.h"

namespace {
std::atomic<tk_mail_delivery> g_mail{nullptr};
std::atomic<tk_clipboard_delivery> g_clipboard{nullptr};

std::string current_directory() {
    char buf[PATH_MAX];
    return getcwd(buf, sizeof buf) ? std::string(buf) : std::string();
}
}  // namespace

tk_mail_delivery tk_set_mail_delivery(tk_mail_delivery deliver) {
    return g_mail.exchange(deliver);
}

tk_clipboard_delivery tk_set_clipboard_delivery(tk_clipboard_delivery deliver) {
    return g_clipboard.exchange(deliver);
}

tk_bug_report tk_compose_bug_report(const std::u16string& subject_end, const std::u16string& body,
                                    const std::tm* when) {
    tk_bug_report r;
    r.subject = "Bug report on " + tk::utf16_to_utf8(subject_end);
    if (when) {
        char date[64];
        std::snprintf(date, sizeof date, "%d/%d/%d %d:%d", when->tm_year + 1900, when->tm_mon + 1,
                      when->tm_mday, when->tm_hour, when->tm_min);
        r.date = date;
    }
    r.recipient = tk_support_address;
    r.body = tk::utf16_to_utf8(body);
    return r;
}

void tk_copy_to_clipboard2(const std::u16string& text) {
    tk_wtrace(2, u"tk_copy_to_clipboard2(%s)", text.c_str());
    tk_clipboard_delivery deliver = g_clipboard.load();
    unsigned error = tk_no_clipboard;
    if (deliver) {
        try {
            error = deliver(text);
        } catch (...) {
            error = tk_no_clipboard;
        }
    }
    if (error == 0) {
        tk_trace(2, "OpenClipboard succeeded");
    } else {
        tk_trace(2, "GetLastError() returns %08X", error);
    }
}

void tk_send_bug(const std::u16string& subject_end, const std::u16string& body) {
    tk_wtrace(2, u"tk_send_bug(%s|%s)", subject_end.c_str(), body.c_str());
    std::time_t now = std::time(nullptr);
    std::tm local{};
    bool have_time = now != std::time_t(-1) && localtime_r(&now, &local) != nullptr;
    tk_bug_report report = tk_compose_bug_report(subject_end, body, have_time ? &local : nullptr);

    // Mail clients may change the current directory; it is put back.
    std::string cwd = current_directory();
    tk_mail_delivery deliver = g_mail.load();
    if (!deliver) {
        tk_trace(2, "Failed to locate MAPI32.DLL");
    } else {
        int result;
        try {
            result = deliver(report);
        } catch (...) {
            result = -1;
        }
        tk_trace(2, "lpfnMAPISendMail returns %d", result);
    }
    if (!cwd.empty() && current_directory() != cwd && chdir(cwd.c_str()) != 0) {
        tk_trace(2, "tk_send_bug: cannot restore the current directory");
    }
}
