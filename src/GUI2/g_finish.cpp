#include "GUI2/g_finish.h"

#include <QCheckBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include "GUI2/g_f_dlg.h"
#include "GUI2/g_wiz_sh.h"
#include "TK/tk_log.h"
#include "TK/tk_utf.h"
#include "core/tsl_conv.h"

namespace {

QString plural(long long n, const char* one, const char* many) {
    return QString("%1 %2").arg(n).arg(n == 1 ? one : many);
}

// "The workbook ... holds 2 worksheets with 18 records." and a line for
// each continuation file.
QString written_files(const std::vector<xls_converter::written_file>& files) {
    QStringList lines;
    for (size_t i = 0; i < files.size(); ++i) {
        const xls_converter::written_file& f = files[i];
        lines << QString("The %1 %2 holds %3 with %4.")
                     .arg(i == 0 ? "workbook" : "continuation file")
                     .arg(QString::fromStdU16String(f.path))
                     .arg(plural(f.sheets, "worksheet", "worksheets"))
                     .arg(plural(f.records, "record", "records"));
    }
    return lines.join('\n');
}

}  // namespace

finish_page::finish_page(wizard_shell& shell, const QString& profile_ext)
    : wizard_page(shell), profile_ext_(profile_ext) {
    setObjectName("finish_page");
    auto* layout = new QVBoxLayout(this);
    title_ = make_exterior("Conversion is Completed");
    layout->addWidget(title_);
    result_ = new QLabel(this);
    result_->setObjectName("result");
    result_->setWordWrap(true);
    layout->addWidget(result_);
    errors_ = new QPlainTextEdit(this);
    errors_->setObjectName("errors");
    errors_->setReadOnly(true);
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
    const std::vector<xls_converter::written_file>& files = conv.published_files();
    // Only a workbook this run put in place is offered; an old one is not
    // its result.
    open_on_exit_->setEnabled(!files.empty());
    open_on_exit_->setChecked(!files.empty() && conv.open_on_exit);
    shell().enable_button(QWizard::CancelButton, false);
    shell().enable_button(QWizard::HelpButton, false);
    QString text;
    if (!files.empty()) {
        title_->setText("Conversion is Completed");
        if (!conv.anything_reported()) {
            tk_trace(2, "Display success-message");
            text =
                "Wizard has converted your Oracle database into\nMS Excel spreadsheet "
                "successfully.\n\nClick 'Finish' to exit the wizard.";
        } else {
            tk_trace(2, "Display errors");
            text =
                "There were some errors while converting databases.\nClick 'Finish' to exit the "
                "wizard.";
        }
        text += "\n\n" + written_files(files);
        // How values were kept (no errors): numbers written as text.
        for (const std::u16string& note : conv.run_notes())
            text += "\n" + QString::fromStdU16String(note);
    } else if (conv.aborted) {
        tk_trace(2, "Display abort");
        title_->setText("Conversion is Aborted");
        text =
            "The conversion was aborted: nothing was written, the destination is left as it "
            "was.\nClick 'Finish' to exit the wizard.";
    } else {
        tk_trace(2, "Display nothing written");
        title_->setText("Nothing was Converted");
        text =
            "The conversion wrote nothing: the destination is left as it was. The errors "
            "below say why.\nClick 'Finish' to exit the wizard.";
    }
    result_->setText(text);
    std::vector<std::u16string> errors = shell().errors();
    if (errors.empty()) {
        errors_->hide();
        return;
    }
    QStringList lines;
    for (const std::u16string& e : errors) lines << QString::fromStdU16String(e);
    const size_t more = shell().error_count() - errors.size();
    if (more != 0)
        lines << QString(more == 1 ? "%1 more error was not shown."
                                   : "%1 more errors were not shown.")
                     .arg(more);
    errors_->setPlainText(lines.join('\n'));
    errors_->show();
}

void finish_page::keep_open_on_exit() {
    if (open_on_exit_->isEnabled())
        tessal_convertor::instance().open_on_exit = open_on_exit_->isChecked();
}

bool finish_page::on_next() {
    tk_trace(2, "finish_page::on_finish");
    keep_open_on_exit();
    const std::vector<xls_converter::written_file>& files =
        tessal_convertor::instance().published_files();
    if (!files.empty() && open_on_exit_->isChecked()) {
        const QString book = QString::fromStdU16String(files.front().path);
        if (!shell().prompter().open_url(QUrl::fromLocalFile(book)))
            shell().error(u"No application was found to open " + book.toStdU16String() + u".");
    }
    return true;
}

bool finish_page::on_cancel() {
    return on_next();
}

void finish_page::save_settings() {
    QString path = ask_profile_file(shell(), this, true, profile_ext_);
    if (path.isEmpty())
        return;
    keep_open_on_exit();
    std::string why;
    if (!tessal_convertor::instance().store_profile(path.toStdU16String(), &why)) {
        shell().error(u"The profile " + path.toStdU16String() + u" cannot be saved: " +
                      tk::utf8_to_utf16(why.empty() ? "its settings cannot be written" : why) +
                      u".");
    }
}
