// The "Add Query" dialog: a query's worksheet name ("Store as Table:") and
// its SELECT text, with Test Query (asks the connected source) and Help.
// OK is refused while the name is empty or holds "=", or the text is not a
// SELECT. Both texts stop at kMaxText characters.
#pragma once

#include <QDialog>
#include <string>

class QLineEdit;
class QPlainTextEdit;
class wizard_shell;

// True when `query`, after leading blanks, starts with "SELECT" in any
// letter case.
bool starts_with_select(const std::u16string& query);

class set_query_dlg : public QDialog {
  public:
    static constexpr int kMaxText = 2048;

    set_query_dlg(wizard_shell& shell, const std::u16string& name, const std::u16string& query,
                  QWidget* parent = nullptr);

    std::u16string name() const;
    std::u16string query() const;

  private:
    void on_ok();
    void test_query();
    void keep_limit();

    wizard_shell& shell_;
    QLineEdit* name_;
    QPlainTextEdit* query_;
    int last_change_end_ = 0;  // where the text's last change ended
};
