// The two error dialogs a run can raise: dlg_error_continue (a recoverable
// error: Continue or Abort, and "Do not show this dialog box again") and
// dlg_error_ex (an internal error: OK, "Send bug", "Copy to clipboard").
// Both are captioned with the shell's title + " Error" ("Error" without a
// shell) and are shown on the user-interface thread, modal to the wizard.
#pragma once

#include <QDialog>
#include <string>

class QCheckBox;

class dlg_error_continue : public QDialog {
  public:
    enum result { abort_run = 1, continue_run = 2 };
    explicit dlg_error_continue(const std::u16string& text, QWidget* parent = nullptr);
    // The state of "&Do not show this dialog box again".
    bool dont_show_again() const;

  private:
    QCheckBox* dont_show_;
};

class dlg_error_ex : public QDialog {
  public:
    enum result { ok = 1, copied = 1108 };
    explicit dlg_error_ex(const std::u16string& text, QWidget* parent = nullptr);

  private:
    std::u16string text_;
};
