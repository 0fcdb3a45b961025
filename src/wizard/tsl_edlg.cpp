#include "wizard/tsl_edlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "GUI2/g_wiz_sh.h"
#include "TK/tk_bug.h"
#include "TK/tk_log.h"

namespace {

QString error_caption() {
    wizard_shell* shell = wizard_shell::instance_ptr();
    return shell ? QString::fromStdU16String(shell->title()) + " Error" : QString("Error");
}

// Icon and message side by side; returns the row's layout.
QHBoxLayout* message_row(QDialog* dialog, const std::u16string& text) {
    auto* row = new QHBoxLayout;
    auto* icon = new QLabel(dialog);
    icon->setPixmap(dialog->style()->standardIcon(QStyle::SP_MessageBoxCritical).pixmap(32, 32));
    row->addWidget(icon, 0, Qt::AlignTop);
    auto* message = new QLabel(QString::fromStdU16String(text), dialog);
    message->setObjectName("message");
    message->setWordWrap(true);
    message->setTextInteractionFlags(Qt::TextSelectableByMouse);
    message->setMinimumWidth(320);
    row->addWidget(message, 1);
    return row;
}

QPushButton* button(QDialog* dialog, const char* text, const char* name) {
    auto* b = new QPushButton(text, dialog);
    b->setObjectName(name);
    return b;
}

}  // namespace

dlg_error_continue::dlg_error_continue(const std::u16string& text, QWidget* parent)
    : QDialog(parent) {
    tk_trace(2, "dlg_error_continue::ctor");
    setObjectName("dlg_error_continue");
    setWindowTitle(error_caption());
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(message_row(this, text));
    dont_show_ = new QCheckBox("&Do not show this dialog box again", this);
    dont_show_->setObjectName("dont_show");
    layout->addWidget(dont_show_);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    QPushButton* go_on = button(this, "Continue", "continue");
    go_on->setDefault(true);
    QPushButton* stop = button(this, "Abort", "abort");
    buttons->addWidget(go_on);
    buttons->addWidget(stop);
    layout->addLayout(buttons);
    connect(go_on, &QPushButton::clicked, this, [this] { done(continue_run); });
    connect(stop, &QPushButton::clicked, this, [this] { done(abort_run); });
    tk_trace(2, "dlg_error_continue::on_init");
}

bool dlg_error_continue::dont_show_again() const {
    return dont_show_->isChecked();
}

dlg_error_ex::dlg_error_ex(const std::u16string& text, QWidget* parent)
    : QDialog(parent), text_(text) {
    tk_trace(2, "dlg_error_ex::ctor");
    setObjectName("dlg_error_ex");
    setWindowTitle(error_caption());
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(message_row(this, text));
    auto* buttons = new QHBoxLayout;
    QPushButton* send = button(this, "Send bug", "send_bug");
    QPushButton* ok_button = button(this, "OK", "ok");
    ok_button->setDefault(true);
    QPushButton* copy = button(this, "Copy to clipboard", "copy");
    buttons->addWidget(send);
    buttons->addStretch();
    buttons->addWidget(ok_button);
    buttons->addWidget(copy);
    layout->addLayout(buttons);
    connect(ok_button, &QPushButton::clicked, this, [this] { done(ok); });
    connect(copy, &QPushButton::clicked, this, [this] {
        tk_copy_to_clipboard2(text_);
        done(copied);
    });
    connect(send, &QPushButton::clicked, this, [this] {
        wizard_shell* shell = wizard_shell::instance_ptr();
        tk_send_bug(shell ? shell->title() : std::u16string(u"Tessaline"), text_);
    });
    tk_trace(2, "dlg_error_ex::on_init");
}
