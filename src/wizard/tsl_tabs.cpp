#include "wizard/tsl_tabs.h"

#include <QFontMetrics>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <vector>

#include "GUI2/g_wiz_sh.h"
#include "TK/tk_excep.h"
#include "TK/tk_log.h"
#include "core/err_hand.h"
#include "core/tsl_conv.h"
#include "wizard/tsl_qdlg.h"
#include "wizard/tsl_shel.h"

namespace {

QPushButton* make_button(QWidget* parent, const char* text, const char* name) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(name);
    return b;
}

QStringList entries(const QListWidget& list) {
    QStringList names;
    for (int i = 0; i < list.count(); ++i) names << list.item(i)->text();
    return names;
}

}  // namespace

sel_tables_page::sel_tables_page(wizard_shell& shell, const std::u16string& empty_question)
    : wizard_page(shell), empty_question_(empty_question) {
    tk_trace(2, "sel_tables_page::ctor");
    setObjectName("sel_tables_page");
    make_interior(3, "Select tables");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel("Select Oracle tables to convert into MS Excel format.", this));
    auto* grid = new QGridLayout;
    auto* available_label = new QLabel("&Available tables:", this);
    auto* selected_label = new QLabel("&Selected tables:", this);
    available_ = new QListWidget(this);
    available_->setObjectName("available");
    available_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    available_label->setBuddy(available_);
    selected_ = new QListWidget(this);
    selected_->setObjectName("selected");
    selected_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    selected_label->setBuddy(selected_);
    auto* buttons = new QVBoxLayout;
    QPushButton* add = make_button(this, "A&dd >", "add");
    QPushButton* add_all = make_button(this, "Add a&ll >", "add_all");
    QPushButton* remove = make_button(this, "< &Remove", "remove");
    QPushButton* remove_all = make_button(this, "< Re&move all", "remove_all");
    add_query_ = make_button(this, "&Add Query", "add_query");
    add_query_->hide();
    buttons->addStretch();
    for (QPushButton* b : {add, add_all, remove, remove_all}) buttons->addWidget(b);
    buttons->addSpacing(16);
    buttons->addWidget(add_query_);
    buttons->addStretch();
    grid->addWidget(available_label, 0, 0);
    grid->addWidget(selected_label, 0, 2);
    grid->addWidget(available_, 1, 0);
    grid->addLayout(buttons, 1, 1);
    grid->addWidget(selected_, 1, 2);
    layout->addLayout(grid);
    connect(add, &QPushButton::clicked, this, [this] { on_add(); });
    connect(add_all, &QPushButton::clicked, this, [this] { on_add_all(); });
    connect(remove, &QPushButton::clicked, this, [this] { on_delete(); });
    connect(remove_all, &QPushButton::clicked, this, [this] { on_del_all(); });
    connect(add_query_, &QPushButton::clicked, this, [this] { on_add_query(); });
    connect(available_, &QListWidget::itemDoubleClicked, this, [this] { on_add(); });
    connect(selected_, &QListWidget::itemDoubleClicked, this,
            [this](QListWidgetItem* item) { on_edit_query(item); });
}

int sel_tables_page::help_topic() const {
    return kHelpSelection;
}

bool sel_tables_page::contains(const QListWidget& list, const QString& name) {
    for (int i = 0; i < list.count(); ++i)
        if (list.item(i)->text().compare(name, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

bool sel_tables_page::is_query(const QString& name) const {
    return queries_.count(name.toStdU16String()) != 0;
}

void sel_tables_page::page_init() {
    tk_trace(2, "sel_tables_page::do_page_init");
    tessal_convertor& conv = tessal_convertor::instance();
    available_->clear();
    selected_->clear();
    queries_.clear();
    std::vector<std::u16string> tables;
    try {
        conv.get_all_tables(tables);
    } catch (const tk_exception& e) {
        error_handler::instance().handle(e, true);
    }
    int widest = 0;
    QFontMetrics metrics(available_->font());
    for (const std::u16string& t : tables) {
        QString name = QString::fromStdU16String(t);
        available_->addItem(name);
        widest = std::max(widest, metrics.horizontalAdvance(name));
    }
    available_->setMinimumWidth(std::min(widest + 32, 320));
    add_query_->show();
    for (const auto& [name, query] : conv.selected_items) {
        QString entry = QString::fromStdU16String(name);
        if (query.empty()) {
            for (QListWidgetItem* item : available_->findItems(entry, Qt::MatchFixedString))
                selected_->addItem(available_->takeItem(available_->row(item)));
        } else if (!contains(*available_, entry) && !contains(*selected_, entry)) {
            queries_[name] = query;
            selected_->addItem(entry);
        }
    }
    for (const auto& [name, query] : conv.available_queries) {
        QString entry = QString::fromStdU16String(name);
        if (query.empty() || contains(*available_, entry) || contains(*selected_, entry))
            continue;
        queries_[name] = query;
        available_->addItem(entry);
    }
}

void sel_tables_page::move(QListWidget& from, QListWidget& to, bool all) {
    std::vector<QListWidgetItem*> taken;  // owned here between the two lists
    for (int i = from.count() - 1; i >= 0; --i)
        if (all || from.item(i)->isSelected())
            taken.push_back(from.takeItem(i));
    for (auto item = taken.rbegin(); item != taken.rend(); ++item) to.addItem(*item);
}

void sel_tables_page::on_add() {
    tk_trace(2, "sel_tables_page::on_add");
    move(*available_, *selected_, false);
}

void sel_tables_page::on_add_all() {
    tk_trace(2, "sel_tables_page::on_add_all");
    move(*available_, *selected_, true);
}

void sel_tables_page::on_delete() {
    tk_trace(2, "sel_tables_page::on_delete");
    move(*selected_, *available_, false);
}

void sel_tables_page::on_del_all() {
    tk_trace(2, "sel_tables_page::on_del_all");
    move(*selected_, *available_, true);
}

void sel_tables_page::on_add_query() {
    tk_trace(2, "sel_tables_page::on_add_query");
    std::u16string name, query;
    for (;;) {
        set_query_dlg dialog(shell(), name, query, this);
        if (shell().prompter().exec(dialog) != QDialog::Accepted)
            return;
        name = dialog.name();
        query = dialog.query();
        QString entry = QString::fromStdU16String(name);
        if (!contains(*available_, entry) && !contains(*selected_, entry))
            break;
        shell().message(u"Duplicate table name. Try again.");
    }
    queries_[name] = query;
    selected_->addItem(QString::fromStdU16String(name));
}

void sel_tables_page::on_edit_query(QListWidgetItem* item) {
    if (!item || !is_query(item->text()))
        return;
    tk_trace(2, "sel_tables_page::on_edit_query");
    std::u16string old_name = item->text().toStdU16String();
    set_query_dlg dialog(shell(), old_name, queries_[old_name], this);
    if (shell().prompter().exec(dialog) != QDialog::Accepted)
        return;
    queries_.erase(old_name);
    queries_[dialog.name()] = dialog.query();
    item->setText(QString::fromStdU16String(dialog.name()));
}

bool sel_tables_page::on_next() {
    if (selected_->count() == 0 && !shell().question(empty_question_, true))
        return false;
    tessal_convertor& conv = tessal_convertor::instance();
    conv.selected_tables.clear();
    conv.selected_items.clear();
    conv.available_queries.clear();
    for (const QString& entry : entries(*selected_)) {
        std::u16string name = entry.toStdU16String();
        auto query = queries_.find(name);
        if (query == queries_.end())
            conv.selected_tables.push_back(name);
        else
            conv.selected_items[name] = query->second;
    }
    for (const QString& entry : entries(*available_)) {
        auto query = queries_.find(entry.toStdU16String());
        if (query != queries_.end())
            conv.available_queries.insert(*query);
    }
    return true;
}
