#include "wizard/tsl_qdlg.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>

#include "GUI2/g_wiz_sh.h"
#include "TK/tk_log.h"
#include "TK/tk_utils.h"
#include "core/err_maps.h"
#include "core/tsl_conv.h"

bool starts_with_select(const std::u16string& query) {
    size_t start = query.find_first_not_of(u" \t\r\n\f\v");
    if (start == std::u16string::npos)
        return false;
    return tk_equal_nocase(std::u16string_view(query).substr(start, 6), u"SELECT");
}

set_query_dlg::set_query_dlg(wizard_shell& shell, const std::u16string& name,
                             const std::u16string& query, QWidget* parent)
    : QDialog(parent), shell_(shell) {
    tk_trace(2, "set_query_dlg::set_query_dlg");
    setObjectName("set_query_dlg");
    setWindowTitle("Add Query");
    auto* grid = new QGridLayout(this);
    auto* name_label = new QLabel("Store as Table:", this);
    name_ = new QLineEdit(this);
    name_->setObjectName("query_name");
    name_->setMaxLength(kMaxText);
    name_label->setBuddy(name_);
    auto* query_label = new QLabel("Query:", this);
    query_ = new QPlainTextEdit(this);
    query_->setObjectName("query_text");
    // Tab moves on to the buttons, as in every other field.
    query_->setTabChangesFocus(true);
    query_label->setBuddy(query_);
    grid->addWidget(name_label, 0, 0);
    grid->addWidget(name_, 0, 1);
    grid->addWidget(query_label, 1, 0, Qt::AlignTop);
    grid->addWidget(query_, 1, 1);
    auto* buttons = new QHBoxLayout;
    auto button = [this, buttons](const char* text, const char* object) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(object);
        b->setAutoDefault(false);
        buttons->addWidget(b);
        return b;
    };
    QPushButton* ok = button("OK", "ok");
    ok->setDefault(true);
    QPushButton* cancel = button("Cancel", "cancel");
    QPushButton* test = button("Test Query", "test_query");
    QPushButton* help = button("Help", "help");
    grid->addLayout(buttons, 2, 0, 1, 2);
    connect(ok, &QPushButton::clicked, this, [this] { on_ok(); });
    connect(cancel, &QPushButton::clicked, this, [this] {
        tk_trace(2, "set_query_dlg::on_cancel");
        reject();
    });
    connect(test, &QPushButton::clicked, this, [this] { test_query(); });
    connect(help, &QPushButton::clicked, this, [this] { shell_.display_help(); });
    // The text stops at kMaxText characters: what an edit adds beyond them
    // is dropped from the end of what it added, and the text before stays.
    connect(query_->document(), &QTextDocument::contentsChange, this,
            [this](int position, int, int added) { last_change_end_ = position + added; });
    connect(query_, &QPlainTextEdit::textChanged, this, [this] { keep_limit(); });
    tk_trace(2, "set_query_dlg::on_init");
    name_->setText(QString::fromStdU16String(name));
    query_->setPlainText(QString::fromStdU16String(query));
    resize(480, 300);
}

void set_query_dlg::keep_limit() {
    QTextDocument* doc = query_->document();
    const int excess = doc->characterCount() - 1 - kMaxText;  // less the final separator
    if (excess <= 0)
        return;
    QTextCursor cut(doc);
    cut.setPosition(std::max(0, last_change_end_ - excess));
    cut.setPosition(std::max(0, last_change_end_ - excess) + excess, QTextCursor::KeepAnchor);
    cut.removeSelectedText();
}

std::u16string set_query_dlg::name() const {
    return name_->text().toStdU16String();
}

std::u16string set_query_dlg::query() const {
    return query_->toPlainText().toStdU16String();
}

void set_query_dlg::on_ok() {
    tk_trace(2, "set_query_dlg::on_ok");
    std::u16string text = query();
    if (name().empty()) {
        shell_.message(u"Table name is empty!");
        return;
    }
    // A profile keeps a query as name "=" text: a name with "=" would come
    // back cut.
    if (name().find(u'=') != std::u16string::npos) {
        shell_.message(u"Table name cannot contain \"=\". Try again.");
        return;
    }
    if (!text.empty() && !starts_with_select(text)) {
        shell_.error(u"The query must start with SELECT.");
        return;
    }
    if (text.empty()) {
        shell_.error(u"Query is empty!");
        return;
    }
    accept();
}

void set_query_dlg::test_query() {
    std::u16string text = query();
    if (!starts_with_select(text)) {
        shell_.error(u"The query must start with SELECT.");
        return;
    }
    if (tessal_convertor::instance().oracle.test_query(text)) {
        shell_.message(u"The query is correct.");
        return;
    }
    std::string support = kTslSupportAddress;
    shell_.error(
        u"You have an error in your query syntax. Make sure that it is a correct SQL "
        u"SELECT-statement. Contact " +
        std::u16string(support.begin(), support.end()) + u" if the error persists.");
}
