// The wizard program's side of the shared core: how the error handler's
// reports appear (wizard_error_view: the shell's boxes, the two error
// dialogs, the error list), what a run tells the wizard (wizard_front: the
// progress timer, the 255-column question), the desktop's mail and
// clipboard for bug reports, and the manual's pages by help topic.
//
// Both views may be called on the conversion's worker thread; every dialog
// then runs on the user-interface thread while the worker waits. They
// borrow the shell through wizard_shell::instance_ptr() and do without it
// (no list, plain captions) when none exists.
#pragma once

#include <QString>
#include <map>

#include "core/cnv_front.h"
#include "core/err_hand.h"

// Help topics the pages ask for.
inline constexpr int kHelpConnection = 1015;  // listener and service-name errors
inline constexpr int kHelpSelection = 0x401;  // the table-selection page

class wizard_error_view : public error_view {
  public:
    void show_internal_error(const std::string& text) override;
    void note_error(const std::string& text) override;
    void show_error(const std::string& text) override;
    bool ask_continue(const std::string& text, bool& dont_show_again) override;
    bool fatal_ends_process() const override { return false; }
    [[noreturn]] void end_process(int status) override;
};

class wizard_front : public conversion_front {
  public:
    void run_started() override;
    void table_missing(const std::u16string& name) override;
    // Continue/abort with "Table will be truncated up to 256 columns.";
    // Abort throws tk_final_exception.
    void too_many_columns(const std::u16string& name, size_t columns) override;
    void unexpected_error(const std::exception& e) override;
};

// Installs the desktop's mail program and clipboard as the toolkit's
// delivery of bug reports.
void install_desktop_delivery();

// Help topic to page of the manual (0: the index).
std::map<int, QString> tessal_help_pages();
