// The wizard program put together: the error handler with its message maps,
// the converter with the last used settings, the shell and its six pages,
// and an optional profile from the command line applied over the settings.
//
// Construction order is the program's start order; destruction runs the
// other way: pages and shell, then the converter (which writes the last
// used settings, also after a failed or aborted run), then the handler.
// tessal's main builds one; tests build one per case.
#pragma once

#include <QStringList>
#include <memory>

#include "GUI2/g_wiz_sh.h"
#include "TK/tk_log.h"
#include "core/tsl_conv.h"
#include "wizard/tsl_shel.h"

class xls_destination;

// Page ids, in the order of the pages.
enum tessal_page_id {
    kWelcomePage = 103,
    kOraSettingsPage = 130,
    kSelFilePage = 105,
    kSelTablesPage = 127,
    kProgressPage = 106,
    kFinishPage = 107,
};

class tessal_app {
  public:
    // `profile_args`: the command line after the program name; when not
    // empty, its words joined by blanks name a profile to load. `prompter`,
    // when given, replaces the shell's boxes and dialogs (tests).
    tessal_app(const QStringList& profile_args, std::unique_ptr<xls_destination> destination,
               std::unique_ptr<shell_prompter> prompter = nullptr);
    ~tessal_app();

    // Shows the wizard; returns when it closes.
    int run();

    wizard_shell& shell() { return *shell_; }
    tessal_convertor& converter() { return *converter_; }

  private:
    tk_log log_;
    wizard_error_view view_;
    std::unique_ptr<error_handler> handler_;
    wizard_front front_;
    std::unique_ptr<tessal_convertor> converter_;
    std::unique_ptr<wizard_shell> shell_;
};

// The program's title, "Tessaline 3.3".
std::u16string tessal_title();
