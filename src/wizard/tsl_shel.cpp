#include "wizard/tsl_shel.h"

#include <QUrl>
#include <QUrlQuery>
#include <cstdio>
#include <cstdlib>

#include "GUI2/g_wiz_sh.h"
#include "TK/tk_bug.h"
#include "TK/tk_excep.h"
#include "TK/tk_log.h"
#include "TK/tk_utf.h"
#include "wizard/tsl_edlg.h"

namespace {

std::u16string wide(const std::string& text) {
    return tk::utf8_to_utf16(text);
}

// The continue/abort dialog on the user-interface thread; true for Continue.
bool ask_continue_dialog(const std::u16string& text, bool& dont_show_again) {
    wizard_shell* shell = wizard_shell::instance_ptr();
    dont_show_again = false;
    if (!shell)
        return true;
    // The wizard is going: the run stops at once.
    if (shell->closing())
        return false;
    bool go_on = true;
    shell->on_ui([&] {
        dlg_error_continue dialog(text, &shell->sheet());
        dialog.raise();
        go_on = shell->prompter().exec(dialog) != dlg_error_continue::abort_run;
        dont_show_again = dialog.dont_show_again();
    });
    return go_on;
}

int mail_delivery(const tk_bug_report& report) {
    wizard_shell* shell = wizard_shell::instance_ptr();
    if (!shell)
        return 1;
    QUrl url(QString::fromStdString(report.recipient));
    QUrlQuery query;
    query.addQueryItem("subject", QString::fromStdString(report.subject));
    query.addQueryItem("body", QString::fromStdString(report.date + "\n\n" + report.body));
    url.setQuery(query);
    bool sent = false;
    shell->on_ui([&] { sent = shell->prompter().open_url(url); });
    return sent ? 0 : 2;
}

unsigned clipboard_delivery(const std::u16string& text) {
    wizard_shell* shell = wizard_shell::instance_ptr();
    if (!shell)
        return tk_no_clipboard;
    shell->on_ui([&] { shell->prompter().set_clipboard(QString::fromStdU16String(text)); });
    return 0;
}

}  // namespace

void wizard_error_view::show_internal_error(const std::string& text) {
    wizard_shell* shell = wizard_shell::instance_ptr();
    if (!shell || shell->closing())
        return;
    shell->on_ui([&] {
        dlg_error_ex dialog(wide(text), &shell->sheet());
        shell->prompter().exec(dialog);
    });
}

void wizard_error_view::note_error(const std::string& text) {
    if (wizard_shell* shell = wizard_shell::instance_ptr())
        shell->add_error(wide(text));
}

void wizard_error_view::show_error(const std::string& text) {
    if (wizard_shell* shell = wizard_shell::instance_ptr())
        shell->error(wide(text));
}

bool wizard_error_view::ask_continue(const std::string& text, bool& dont_show_again) {
    return ask_continue_dialog(wide(text), dont_show_again);
}

void wizard_error_view::end_process(int status) {
    // An internal error: nothing of the process can be trusted any more, so
    // no destructor runs (the settings are not written).
    std::fflush(nullptr);
    std::_Exit(status);
}

void wizard_front::run_started() {
    if (wizard_shell* shell = wizard_shell::instance_ptr())
        shell->start_timer();
}

void wizard_front::table_missing(const std::u16string& name) {
    tk_wtrace(3, u"Table %s not exists", name.c_str());
    if (wizard_shell* shell = wizard_shell::instance_ptr())
        shell->add_error(u"Table " + name + u" not exists");
}

void wizard_front::too_many_columns(const std::u16string& name, size_t columns) {
    tk_wtrace(2, u"Table %s has %d columns", name.c_str(), static_cast<int>(columns));
    bool dont_show_again = false;
    if (!ask_continue_dialog(u"Table will be truncated up to 256 columns.", dont_show_again))
        throw tk_final_exception();
}

void wizard_front::unexpected_error(const std::exception& e) {
    if (wizard_shell* shell = wizard_shell::instance_ptr()) {
        shell->add_error(wide(e.what()));  // the completion page says why nothing was written
        shell->error(wide(e.what()));
    }
}

void install_desktop_delivery() {
    tk_set_mail_delivery(&mail_delivery);
    tk_set_clipboard_delivery(&clipboard_delivery);
}

std::map<int, QString> tessal_help_pages() {
    return {{0, "index.html"},
            {kHelpConnection, "connection.html"},
            {kHelpSelection, "selection.html"}};
}
