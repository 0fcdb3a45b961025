// The completion page: what the run did (the workbook and continuation
// files it put in place, with their worksheets and records, and how it kept
// values; or that it was aborted, or wrote nothing), the errors the shell collected, "&Open on
// exit" (offered only when the run published its workbook) and "&Save
// Settings". Only Finish leads on: Cancel and Help are disabled here, and
// Escape or the window's close box act as Finish.
//
// It reads and writes the process's converter (tessal_convertor::instance),
// which outlives the page.
#pragma once

#include "GUI2/g_wiz_pg.h"

class QCheckBox;
class QLabel;
class QPlainTextEdit;

class finish_page : public wizard_page {
  public:
    // `profile_ext`: the extension offered by the Save Settings dialog.
    finish_page(wizard_shell& shell, const QString& profile_ext);

    bool on_cancel() override;  // as Finish

  protected:
    void page_init() override;
    bool on_next() override;  // Finish

  private:
    void save_settings();
    // Open on exit into the settings, when the page offers it.
    void keep_open_on_exit();

    QString profile_ext_;
    QLabel* title_;
    QLabel* result_;
    QPlainTextEdit* errors_;
    QCheckBox* open_on_exit_;
};
