#include "GUI2/g_wiz_sh.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>
#include <QUrl>
#include <exception>

#include "GUI2/g_wiz_pg.h"
#include "TK/tk_excep.h"
#include "TK/tk_log.h"

namespace {

// The sheet: Cancel (and Escape, and closing the window) asks the current
// page first; Help goes to the current page.
class wizard_sheet : public QWizard {
  public:
    wizard_sheet() {
        connect(this, &QWizard::helpRequested, this, [this] {
            if (auto* page = dynamic_cast<wizard_page*>(currentPage()))
                page->on_help();
        });
        connect(this, &QWizard::currentIdChanged, this, [this](int) {
            if (auto* page = dynamic_cast<wizard_page*>(currentPage()))
                page->on_set_active();
        });
    }
    void reject() override {
        auto* page = dynamic_cast<wizard_page*>(currentPage());
        if (!page || page->on_cancel())
            QWizard::reject();
    }
};

QString caption(const wizard_shell* shell, const char* kind) {
    if (!shell)
        return QString::fromLatin1(kind);
    return QString::fromStdU16String(shell->title()) + " " + kind;
}

}  // namespace

bool shell_prompter::box(QWidget* parent, box_kind kind, const QString& caption,
                         const QString& text, bool default_no) {
    if (kind == box_kind::question) {
        return QMessageBox::question(parent, caption, text, QMessageBox::Yes | QMessageBox::No,
                                     default_no ? QMessageBox::No : QMessageBox::Yes) ==
               QMessageBox::Yes;
    }
    if (kind == box_kind::error)
        QMessageBox::critical(parent, caption, text);
    else
        QMessageBox::information(parent, caption, text);
    return false;
}

int shell_prompter::exec(QDialog& dialog) {
    return dialog.exec();
}

QString shell_prompter::file_name(QWidget* parent, bool save, const QString& title,
                                  const QString& initial, const QString& filter,
                                  const QString& default_suffix) {
    QFileDialog dialog(parent, title, initial, filter);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (!default_suffix.isEmpty())
        dialog.setDefaultSuffix(default_suffix);
    // The caller asks about overwriting itself where it matters.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().first();
}

bool shell_prompter::open_url(const QUrl& url) {
    return QDesktopServices::openUrl(url);
}

void shell_prompter::set_clipboard(const QString& text) {
    QGuiApplication::clipboard()->setText(text);
}

wizard_shell::wizard_shell(const std::u16string& title, const QPixmap& icon,
                           const QPixmap& watermark, const QPixmap& header,
                           std::map<int, QString> help_pages)
    : title_(title),
      watermark_(watermark),
      sheet_(std::make_unique<wizard_sheet>()),
      help_pages_(std::move(help_pages)),
      help_folder_(
          QDir::cleanPath(QCoreApplication::applicationDirPath() + "/../share/tessal/help")),
      prompter_(std::make_unique<shell_prompter>()) {
    tk_trace(2, "wizard_shell::ctor");
    sheet_->setObjectName("wizard");
    sheet_->setWindowTitle(QString::fromStdU16String(title_));
    sheet_->setWizardStyle(QWizard::ModernStyle);
    sheet_->setOption(QWizard::HaveHelpButton, true);
    sheet_->setOption(QWizard::NoBackButtonOnStartPage, true);
    sheet_->setOption(QWizard::DisabledBackButtonOnLastPage, true);
    if (!icon.isNull())
        sheet_->setWindowIcon(QIcon(icon));
    sheet_->setPixmap(QWizard::LogoPixmap, header);
    // Leaving the progress page is final: Next there reads as Next, not Commit.
    sheet_->setButtonText(QWizard::CommitButton, sheet_->buttonText(QWizard::NextButton));
    timer_.setInterval(kTimerPeriodMs);
    connect(&timer_, &QTimer::timeout, this, &wizard_shell::timer_tick);
}

wizard_shell::~wizard_shell() {
    tk_trace(2, "wizard_shell::dtor");
    // The pages go while everything they use still exists: first their work
    // ends (a conversion's worker still reaches the shell), then they go.
    closing_ = true;
    for (int id : order_)
        if (auto* page = dynamic_cast<wizard_page*>(sheet_->page(id)))
            page->end_work();
    timer_.stop();
    sheet_.reset();
}

bool wizard_shell::is_initialized() {
    tk_trace(1, "wizard_shell::is_initialized");
    if (exists()) {
        tk_trace(1, "Singleton has been initialized");
        return true;
    }
    tk_trace(1, "Before return false");
    return false;
}

void wizard_shell::add_page(int id, wizard_page* page) {
    // Enter is the sheet's Next on every page, also while a page's own
    // button has the focus.
    for (QPushButton* button : page->findChildren<QPushButton*>()) button->setAutoDefault(false);
    page->set_page_id(id);
    sheet_->setPage(id, page);
    order_.push_back(id);
}

int wizard_shell::next_id(int id) const {
    for (size_t i = 0; i + 1 < order_.size(); ++i)
        if (order_[i] == id)
            return order_[i + 1];
    return -1;
}

int wizard_shell::run(QWidget* parent) {
    tk_trace(2, "wizard_shell::run");
    if (parent)
        sheet_->setParent(parent, sheet_->windowFlags());
    return sheet_->exec();
}

void wizard_shell::error(const std::u16string& text) {
    tk_wtrace(1, u"wizard_shell::error(%s)", text.c_str());
    if (closing_)
        return;
    on_ui([&] {
        prompter_->box(sheet_.get(), shell_prompter::box_kind::error, caption(this, "Error"),
                       QString::fromStdU16String(text), false);
    });
}

void wizard_shell::message(const std::u16string& text) {
    tk_wtrace(1, u"wizard_shell::message(%s)", text.c_str());
    if (closing_)
        return;
    on_ui([&] {
        prompter_->box(sheet_.get(), shell_prompter::box_kind::message, caption(this, "Message"),
                       QString::fromStdU16String(text), false);
    });
}

bool wizard_shell::question(const std::u16string& text, bool default_no) {
    bool yes = false;
    if (closing_)
        return yes;
    on_ui([&] {
        yes =
            prompter_->box(sheet_.get(), shell_prompter::box_kind::question,
                           caption(this, "Question"), QString::fromStdU16String(text), default_no);
    });
    return yes;
}

void wizard_shell::display_help() {
    tk_trace(1, "wizard_shell::display_help");
    show_topic(0);
}

void wizard_shell::display_help(int topic) {
    tk_trace(1, "wizard_shell::display_help(%d)", topic);
    show_topic(topic);
}

void wizard_shell::show_topic(int topic) {
    auto page = help_pages_.find(topic);
    if (page == help_pages_.end())
        page = help_pages_.find(0);
    QString path = page == help_pages_.end() ? QString() : help_folder_ + "/" + page->second;
    if (path.isEmpty() || !QFileInfo(path).isFile()) {
        error(u"Help file does not exist. Reinstall the program.");
        return;
    }
    bool opened = false;
    on_ui([&] { opened = prompter_->open_url(QUrl::fromLocalFile(path)); });
    if (!opened)
        error(u"No application was found to open " + path.toStdU16String() + u".");
}

void wizard_shell::enable_button(QWizard::WizardButton which, bool enable) {
    on_ui([&] {
        QAbstractButton* button = sheet_->button(which);
        tk_trace(2, "wizard_shell::enable_button(%08X)",
                 static_cast<unsigned>(reinterpret_cast<uintptr_t>(button)));
        if (button)
            button->setEnabled(enable);
    });
}

void wizard_shell::start_timer() {
    on_ui([&] {
        if (timer_running_)
            throw tk_mail_assertion("g_wiz_sh", 223);
        timer_running_ = true;
        timer_.start();
    });
}

void wizard_shell::stop_timer() {
    on_ui([&] {
        timer_.stop();
        timer_running_ = false;
    });
}

void wizard_shell::add_error(const std::u16string& text) {
    std::lock_guard<std::mutex> lock(errors_mutex_);
    ++error_count_;
    if (errors_.size() < kMaxErrors)
        errors_.push_back(text);
}

size_t wizard_shell::error_count() const {
    std::lock_guard<std::mutex> lock(errors_mutex_);
    return error_count_;
}

std::vector<std::u16string> wizard_shell::errors() const {
    std::lock_guard<std::mutex> lock(errors_mutex_);
    return errors_;
}

void wizard_shell::set_prompter(std::unique_ptr<shell_prompter> prompter) {
    prompter_ = std::move(prompter);
}

void wizard_shell::on_ui(const std::function<void()>& fn) {
    if (QThread::currentThread() == thread()) {
        fn();
        return;
    }
    std::exception_ptr failure;
    QMetaObject::invokeMethod(
        this,
        [&] {
            try {
                fn();
            } catch (...) {
                failure = std::current_exception();
            }
        },
        Qt::BlockingQueuedConnection);
    if (failure)
        std::rethrow_exception(failure);
}
