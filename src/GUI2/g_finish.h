// The completion page: the outcome of the run (success, or the errors the
// shell collected, at most 20), "&Open on exit" and "&Save Settings".
// Only Finish leads on: Cancel and Help are disabled here.
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

  protected:
    void page_init() override;
    bool on_next() override;  // Finish

  private:
    void save_settings();

    QString profile_ext_;
    QLabel* result_;
    QPlainTextEdit* errors_;
    QCheckBox* open_on_exit_;
};
