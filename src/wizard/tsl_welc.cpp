#include "wizard/tsl_welc.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "GUI2/g_f_dlg.h"
#include "GUI2/g_wiz_sh.h"
#include "TK/tk_excep.h"
#include "TK/tk_log.h"
#include "TK/tk_utf.h"
#include "core/err_hand.h"
#include "core/tsl_conv.h"

welcome_page::welcome_page(wizard_shell& shell, const QString& profile_ext)
    : wizard_page(shell), profile_ext_(profile_ext) {
    setObjectName("welcome_page");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(make_exterior("Welcome to the Database\nConversion Wizard\n"));
    layout->addWidget(
        new QLabel("This wizard helps you convert Oracle database into\n"
                   "MS Excel spreadsheet. Click 'Next' to continue.",
                   this));
    layout->addSpacing(12);
    layout->addWidget(
        new QLabel("WARNING: conversion productivity strongly depends\n"
                   "on amount of available memory. It is recommended that\n"
                   "you exit all programs before continue with the wizard.",
                   this));
    layout->addStretch();
    layout->addWidget(
        new QLabel("Tessaline \u00A9 Brannock. Free software for converting "
                   "Oracle data.",
                   this));
    auto* load = new QPushButton("&Load Settings", this);
    load->setObjectName("load_settings");
    layout->addWidget(load, 0, Qt::AlignLeft);
    connect(load, &QPushButton::clicked, this, [this] { load_settings(); });
}

void welcome_page::load_settings() {
    QString path = ask_profile_file(shell(), this, false, profile_ext_);
    if (path.isEmpty())
        return;
    load_profile_file(shell(), path.toStdU16String());
}

void load_profile_file(wizard_shell& shell, const std::u16string& path) {
    try {
        std::string why;
        if (!tessal_convertor::instance().load_profile(path, &why))
            shell.error(u"The profile " + path + u" cannot be loaded: " + tk::utf8_to_utf16(why) +
                        u".");
    } catch (const tk_exception& e) {
        error_handler::instance().handle(e, true);
    }
}
