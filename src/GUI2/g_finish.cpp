#include "GUI2/g_finish.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include "GUI2/g_f_dlg.h"
#include "GUI2/g_wiz_sh.h"
#include "TK/tk_log.h"
#include "core/tsl_conv.h"

finish_page::finish_page(wizard_shell& shell, const QString& profile_ext)
    : wizard_page(shell), profile_ext_(profile_ext) {
    setObjectName("finish_page");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(make_exterior("Conversion is Completed"));
    result_ = new QLabel(this);
    result_->setObjectName("result");
    result_->setWordWrap(true);
    layout->addWidget(result_);
    errors_ = new QPlainTextEdit(this);
    errors_->setObjectName("errors");
    errors_->setReadOnly(true);
    errors_->setLineWrapMode(QPlainTextEdit::NoWrap);
    errors_->hide();
    layout->addWidget(errors_);
    layout->addStretch();
    layout->addWidget(
        new QLabel("Select the checkbox below to open the resulting file\n"
                   "with MS Excel (it must be installed on your system).",
                   this));
    open_on_exit_ = new QCheckBox("&Open on exit", this);
    open_on_exit_->setObjectName("open_on_exit");
    layout->addWidget(open_on_exit_);
    auto* save = new QPushButton("&Save Settings", this);
    save->setObjectName("save_settings");
    layout->addWidget(save, 0, Qt::AlignLeft);
    connect(save, &QPushButton::clicked, this, [this] { save_settings(); });
}

void finish_page::page_init() {
    tk_trace(2, "finish_page::page_init");
    tessal_convertor& conv = tessal_convertor::instance();
    open_on_exit_->setChecked(conv.open_on_exit);
    shell().enable_button(QWizard::CancelButton, false);
    shell().enable_button(QWizard::HelpButton, false);
    std::vector<std::u16string> errors = shell().errors();
    if (errors.empty()) {
        tk_trace(2, "Display success-message");
        result_->setText(
            "Wizard has converted your Oracle database into\nMS Excel spreadsheet "
            "successfully.\n\nClick 'Finish' to exit the wizard.");
        errors_->hide();
        return;
    }
    tk_trace(2, "Display errors");
    result_->setText(
        "There were some errors while converting databases.\nClick 'Finish' to exit the wizard.");
    QStringList lines;
    for (const std::u16string& e : errors) lines << QString::fromStdU16String(e);
    errors_->setPlainText(lines.join('\n'));
    errors_->show();
}

bool finish_page::on_next() {
    tk_trace(2, "finish_page::on_finish");
    tessal_convertor& conv = tessal_convertor::instance();
    conv.open_on_exit = open_on_exit_->isChecked();
    // A run that wrote nothing (aborted, failed) leaves no workbook to open.
    const QString book = QString::fromStdU16String(conv.dest);
    if (conv.open_on_exit && !book.isEmpty() && QFileInfo(book).isFile())
        shell().prompter().open_url(QUrl::fromLocalFile(book));
    return true;
}

void finish_page::save_settings() {
    QString path = ask_profile_file(shell(), this, true, profile_ext_);
    if (path.isEmpty())
        return;
    tessal_convertor& conv = tessal_convertor::instance();
    conv.open_on_exit = open_on_exit_->isChecked();
    conv.store_profile(path.toStdU16String());
}
