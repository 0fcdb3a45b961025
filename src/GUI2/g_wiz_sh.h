// The wizard shell: the one window of the wizard (a QWizard in the modern
// style), its message boxes, help, the sheet's own buttons, the progress
// timer and the error list that the completion page shows.
//
// One shell exists per process (tk_singleton); it owns the sheet and, through
// it, the pages added to it. All widgets belong to the user-interface thread.
// Going, the shell first lets every page end its work (a running conversion
// is stopped and waited for, its questions answered Abort and its boxes not
// shown), then deletes the pages.
// The conversion's worker reaches the boxes through the same calls: they run
// on the user-interface thread while the worker waits (on_ui), so a dialog a
// run raises is modal to the wizard.
//
// Every box, dialog and desktop service goes through a shell_prompter; tests
// install their own to answer questions and record what was shown.
#pragma once

#include <QObject>
#include <QPixmap>
#include <QString>
#include <QTimer>
#include <QWizard>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "TK/tk_singl.h"

class QDialog;
class QUrl;
class QWidget;
class wizard_page;

// How the wizard asks the user and uses the desktop.
class shell_prompter {
  public:
    enum class box_kind { error, message, question };
    virtual ~shell_prompter() = default;
    // A message box owned by `parent`; true when a question is answered Yes.
    virtual bool box(QWidget* parent, box_kind kind, const QString& caption, const QString& text,
                     bool default_no);
    // Runs a modal dialog and returns its result code.
    virtual int exec(QDialog& dialog);
    // An Open or Save file dialog; empty when the user cancels.
    virtual QString file_name(QWidget* parent, bool save, const QString& title,
                              const QString& initial, const QString& filter,
                              const QString& default_suffix);
    // Opens a file or address with the desktop's application for it.
    virtual bool open_url(const QUrl& url);
    virtual void set_clipboard(const QString& text);
};

class wizard_shell : public QObject, public tk_singleton<wizard_shell> {
    Q_OBJECT
  public:
    using tk_singleton<wizard_shell>::instance;
    static constexpr size_t kMaxErrors = 20;
    static constexpr int kTimerPeriodMs = 200;

    // `help_pages`: help topic (0 for the default topic) to the page's file
    // name inside the help folder.
    wizard_shell(const std::u16string& title, const QPixmap& icon, const QPixmap& watermark,
                 const QPixmap& header, std::map<int, QString> help_pages);
    ~wizard_shell() override;

    static bool is_initialized();

    // Adds the next page (the sheet owns it); pages follow in the order added.
    // Its push buttons never take Enter from the sheet's Next.
    void add_page(int id, wizard_page* page);
    // The id of the page after `id`, or -1 after the last.
    int next_id(int id) const;
    QWizard& sheet() { return *sheet_; }
    const QPixmap& watermark() const { return watermark_; }
    const std::u16string& title() const { return title_; }

    // Shows the sheet modally; returns when it closes.
    int run(QWidget* parent);

    // Boxes, captioned title + " Error" / " Message" / " Question". None is
    // shown while the shell is going (a question is then answered No).
    void error(const std::u16string& text);
    void message(const std::u16string& text);
    bool question(const std::u16string& text, bool default_no = false);

    // The help manual: index page, or the page of `topic`; says so when the
    // manual is missing or no application opens it.
    void display_help();
    void display_help(int topic);
    // Where the manual is: <program folder>/../share/tessal/help unless set.
    const QString& help_folder() const { return help_folder_; }
    void set_help_folder(const QString& folder) { help_folder_ = folder; }

    // Enables one of the sheet's own buttons (Cancel, Help, Back, Next).
    void enable_button(QWizard::WizardButton which, bool enable);

    // The progress timer (200 ms); starting it twice is an internal error.
    void start_timer();
    void stop_timer();
    bool timer_running() const { return timer_running_; }

    // Errors since the program started, the first kMaxErrors of them, and
    // how many there were in all; safe from the worker.
    void add_error(const std::u16string& text);
    std::vector<std::u16string> errors() const;
    size_t error_count() const;

    // True once the shell is being destroyed; safe from the worker.
    bool closing() const { return closing_; }

    shell_prompter& prompter() { return *prompter_; }
    void set_prompter(std::unique_ptr<shell_prompter> prompter);

    // Runs `fn` on the user-interface thread; from another thread waits for
    // it to return and rethrows what it threw.
    void on_ui(const std::function<void()>& fn);

  signals:
    void timer_tick();

  private:
    void show_topic(int topic);

    std::u16string title_;
    QPixmap watermark_;
    std::unique_ptr<QWizard> sheet_;
    std::vector<int> order_;
    std::map<int, QString> help_pages_;
    QString help_folder_;
    QTimer timer_;
    bool timer_running_ = false;
    mutable std::mutex errors_mutex_;
    std::vector<std::u16string> errors_;
    size_t error_count_ = 0;
    std::atomic<bool> closing_{false};
    std::unique_ptr<shell_prompter> prompter_;
};
