// Bug reports from the internal-error dialog: copying the report to the
// clipboard and mailing it to the maker's support address.
//
// The toolkit composes what is handed over and writes the traces; the
// delivery belongs to the desktop front end, which installs its functions at
// start-up (tk_set_clipboard_delivery, tk_set_mail_delivery). Without them a
// copy fails and a mail finds no mail system, both only traced: report
// actions never raise.
#pragma once

#include <ctime>
#include <string>

// Where bug reports go.
inline constexpr const char tk_support_address[] = "mailto:support@brannock.example";

// The mail as handed to the mail system: one "To" recipient, no originator,
// no attachments, marked unread.
struct tk_bug_report {
    std::string subject;    // "Bug report on " + the program's title
    std::string date;       // "%d/%d/%d %d:%d": year, month, day, hour, minute
    std::string recipient;  // tk_support_address
    std::string body;       // the note text
};

// Composes the report for `subject_end` (the program's title) and `body` at
// local time `when`; a null `when` leaves the date empty. Texts are UTF-8.
tk_bug_report tk_compose_bug_report(const std::u16string& subject_end, const std::u16string& body,
                                    const std::tm* when);

// Sends a report; returns the mail system's result (0: sent).
using tk_mail_delivery = int (*)(const tk_bug_report& report);
// Puts a text on the clipboard as Unicode text; returns 0 on success or the
// system's error number.
using tk_clipboard_delivery = unsigned (*)(const std::u16string& text);

// Installs (or, with null, removes) the delivery functions; returns the
// previous one.
tk_mail_delivery tk_set_mail_delivery(tk_mail_delivery deliver);
tk_clipboard_delivery tk_set_clipboard_delivery(tk_clipboard_delivery deliver);

// The error number a copy reports when no clipboard is installed
// (ERROR_CLIPBOARD_NOT_OPEN).
inline constexpr unsigned tk_no_clipboard = 1418;

// Puts `text` on the clipboard. Failures are traced only.
void tk_copy_to_clipboard2(const std::u16string& text);

// Mails a report with the subject "Bug report on " + `subject_end`, the
// current local time and `body`. The result is traced only; the current
// directory is the same afterwards.
void tk_send_bug(const std::u16string& subject_end, const std::u16string& body);
