#include "wizard/tsl_file.h"

#include <limits.h>
#include <unistd.h>

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <cerrno>
#include <string>

#include "GUI2/g_f_dlg.h"
#include "GUI2/g_wiz_sh.h"
#include "TK/tk_excep.h"
#include "TK/tk_flock.h"
#include "TK/tk_fname.h"
#include "TK/tk_log.h"
#include "TK/tk_utf.h"
#include "core/cnv_guard.h"
#include "core/dao_dest.h"
#include "core/tsl_conv.h"

namespace {

std::u16string with_extension(const std::u16string& path, const std::u16string& ext) {
    if (path.empty())
        return path;
    size_t slash = path.find_last_of(u'/');
    size_t dot = path.find_last_of(u'.');
    std::u16string base =
        dot != std::u16string::npos && (slash == std::u16string::npos || dot > slash)
            ? path.substr(0, dot)
            : path;
    return base + ext;
}
}  // namespace

void common_check_dest(const std::u16string& path) {
    tk_wtrace(1, u"common_check_dest(%s)", path.c_str());
    if (tk::utf16_to_utf8(path).size() >= PATH_MAX) {
        throw tk_exception("Destination name is too long: the system takes paths of up to " +
                               std::to_string(PATH_MAX - 1) + " bytes.",
                           1);
    }
    if (tk_is_path_exist(path.c_str()))
        throw tk_exception("Destination name should specify a file, not folder.", 1);
    if (tk_is_file_exist(path.c_str()) && !tk_is_file_exist(path.c_str(), 1))
        throw tk_exception("Destination name specifies an existing read-only file.", 1);
    tk_file_wname name(path.c_str());
    if (!tk_is_path_exist(name.folder().c_str()))
        throw tk_exception(
            "Destination path does not exist.\nPlease verify the correct path was given.", 1);
}

void check_replaceable(const std::u16string& path) {
    tk_file_wname name(path.c_str());
    std::string folder = tk::utf16_to_utf8(name.folder());
    if (::access(folder.c_str(), W_OK | X_OK) != 0)
        throw tk_exception_ex();
    if (::access(tk::utf16_to_utf8(path).c_str(), W_OK) != 0)
        throw tk_exception_ex();
}

std::u16string proposed_destination(const std::u16string& dest, const std::string& source_file,
                                    const std::u16string& service, int32_t format_version) {
    const std::u16string ext = xls_converter::workbook_extension(format_version);
    if (!dest.empty())
        return with_extension(dest, ext);
    if (!source_file.empty())
        return with_extension(tk::utf8_to_utf16(source_file), ext);
    // A `file:` source that names no file here proposes nothing.
    return service.rfind(u"file:", 0) == 0 ? std::u16string() : with_extension(service, ext);
}

sel_file_page::sel_file_page(wizard_shell& shell) : wizard_page(shell) {
    setObjectName("sel_file_page");
    make_interior(2, "Conversion settings");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(
        "On this page you can specify the destination name and conversion settings.", this));
    auto* dest_label = new QLabel("MS &Excel destination file name:", this);
    layout->addWidget(dest_label);
    auto* row = new QHBoxLayout;
    dest_ = new QLineEdit(this);
    dest_->setObjectName("dest");
    dest_label->setBuddy(dest_);
    auto* browse_button = new QPushButton("Browse...", this);
    browse_button->setObjectName("browse");
    row->addWidget(dest_, 1);
    row->addWidget(browse_button);
    layout->addLayout(row);
    auto* format_row = new QHBoxLayout;
    auto* format_label = new QLabel("&Format version:", this);
    format_ = new QComboBox(this);
    format_->setObjectName("format");
    format_label->setBuddy(format_);
    format_row->addWidget(format_label);
    format_row->addWidget(format_, 1);
    layout->addLayout(format_row);
    auto* group = new QGroupBox(" Format Description: ", this);
    auto* group_layout = new QVBoxLayout(group);
    description_ = new QLabel(group);
    description_->setObjectName("format_description");
    description_->setWordWrap(true);
    description_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // Room for the longest description, which the layout cannot foresee for
    // a wrapped text.
    description_->setMinimumHeight(description_->fontMetrics().lineSpacing() * 4);
    group_layout->addWidget(description_);
    layout->addWidget(group);
    auto check = [this, layout](const char* text, const char* name) {
        auto* box = new QCheckBox(text, this);
        box->setObjectName(name);
        layout->addWidget(box);
        return box;
    };
    dates_to_strings_ = check("&Convert dates into strings", "dates_to_strings");
    wrap_text_ = check("&Wrap text into multiple lines in a cell", "wrap_text");
    split_data_ = check("&Split data into multiple spreadsheets if necessary", "split_data");
    layout->addStretch();
    connect(browse_button, &QPushButton::clicked, this, [this] { browse(); });
    connect(format_, &QComboBox::currentIndexChanged, this, [this] {
        show_description();
        propose_extension();
    });
}

void sel_file_page::page_init() {
    tk_trace(1, "sel_file_page::page_init");
    tessal_convertor& conv = tessal_convertor::instance();
    dates_to_strings_->setChecked(conv.dates_to_strings);
    wrap_text_->setChecked(conv.wrap_text());
    split_data_->setChecked(conv.split_data);
    const int32_t version =
        xls_converter::is_format_version(conv.format_version) ? conv.format_version : 1;
    dest_->setText(QString::fromStdU16String(
        proposed_destination(conv.dest, conv.oracle.source_file(), conv.oracle.service, version)));
    format_->blockSignals(true);
    format_->clear();
    for (int v = 0; v < xls_converter::kFormatVersions; ++v) {
        std::u16string name = format_name(v);
        format_->addItem(!name.empty() ? QString::fromStdU16String(name)
                                       : QString("Version %1").arg(v));
    }
    format_->setCurrentIndex(version);
    format_->blockSignals(false);
    show_description();
}

void sel_file_page::show_description() {
    description_->setText(QString::fromStdString(format_description(format_->currentIndex())));
}

void sel_file_page::propose_extension() {
    // A name the user typed keeps its folder and base name; only an
    // extension of a workbook version follows the new choice.
    const std::u16string text = dest_->text().toStdU16String();
    const std::u16string ext = xls_converter::workbook_extension(format_->currentIndex());
    for (int v = 0; v < xls_converter::kFormatVersions; ++v) {
        const std::u16string old = xls_converter::workbook_extension(v);
        if (old != ext && text.size() > old.size() &&
            text.compare(text.size() - old.size(), old.size(), old) == 0) {
            dest_->setText(QString::fromStdU16String(with_extension(text, ext)));
            return;
        }
    }
}

void sel_file_page::store_file_info() {
    tk_trace(1, "sel_file_page::store_file_info");
    tessal_convertor& conv = tessal_convertor::instance();
    conv.dates_to_strings = dates_to_strings_->isChecked();
    conv.set_wrap_text(wrap_text_->isChecked());
    conv.split_data = split_data_->isChecked();
    conv.format_version = format_->currentIndex();
    conv.dest = dest_->text().toStdU16String();
}

void sel_file_page::browse() {
    QString path = ask_workbook_file(shell(), this, dest_->text(), format_->currentIndex() == 2);
    if (!path.isEmpty())
        dest_->setText(path);
}

bool sel_file_page::on_next() {
    store_file_info();
    const std::u16string dest = tessal_convertor::instance().dest;
    if (dest.empty()) {
        shell().message(u"You should enter MS Excel file name");
        return false;
    }
    try {
        common_check_dest(dest);
        // What the run would refuse at its start is refused here, where the
        // user can still choose another destination.
        tessal_convertor& conv = tessal_convertor::instance();
        std::string refusal =
            destination_refusal(dest, conv.oracle.source_file(), conv.format_version);
        if (refusal.empty())
            lock_destination(dest, refusal);  // held by another run? (dropped at once)
        if (!refusal.empty())
            throw tk_exception(refusal, 1);
        if (tk_is_file_exist(dest.c_str())) {
            if (!shell().question(u"Destination file already exists. Overwrite?", true))
                return false;
            check_replaceable(dest);
        }
    } catch (const tk_exception& e) {
        shell().error(tk::utf8_to_utf16(e.message()));
        return false;
    }
    return true;
}
