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
    // "Add &Query": Alt+A belongs to "&Available tables:".
    add_query_ = make_button(this, "Add &Query", "add_query");
    add_query_->hide();
    edit_query_ = make_button(this, "&Edit Query", "edit_query");
    edit_query_->setEnabled(false);
    buttons->addStretch();
    for (QPushButton* b : {add, add_all, remove, remove_all}) buttons->addWidget(b);
    buttons->addSpacing(16);
    buttons->addWidget(add_query_);
    buttons->addWidget(edit_query_);
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
    connect(edit_query_, &QPushButton::clicked, this,
            [this] { on_edit_query(selected_->currentItem()); });
    connect(selected_, &QListWidget::currentItemChanged, this, [this] { update_edit(); });
}

void sel_tables_page::update_edit() {
    QListWidgetItem* item = selected_->currentItem();
    edit_query_->setEnabled(item && is_query(item->text()));
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

bool sel_tables_page::name_taken(const QString& name, const QListWidgetItem* except) const {
    for (const QListWidget* list : {available_, selected_})
        for (int i = 0; i < list->count(); ++i)
            if (list->item(i) != except &&
                list->item(i)->text().compare(name, Qt::CaseInsensitive) == 0)
                return true;
    return false;
}

bool sel_tables_page::is_query(const QString& name) const {
    return queries_.count(name.toStdU16String()) != 0;
}

void sel_tables_page::page_init() {
    tk_trace(2, "sel_tables_page::do_page_init");
    tessal_convertor& conv = tessal_convertor::instance();
    // The source's tables are read again only after a new connection.
    if (!tables_read_ || tables_serial_ != conv.oracle.connection_serial()) {
        tables_.clear();
        tables_read_ = true;
        tables_serial_ = conv.oracle.connection_serial();
        try {
            conv.get_all_tables(tables_);
        } catch (const tk_exception& e) {
            error_handler::instance().handle(e, true);
        }
    }
    // The lists show the converter's selection: what the page stored when it
    // was left (also by Back), with what a profile loaded since has added.
    available_->clear();
    selected_->clear();
    queries_.clear();
    int widest = 0;
    QFontMetrics metrics(available_->font());
    for (const std::u16string& t : tables_) {
        QString name = QString::fromStdU16String(t);
        available_->addItem(name);
        widest = std::max(widest, metrics.horizontalAdvance(name));
    }
    available_->setMinimumWidth(std::min(widest + 32, 320));
    add_query_->show();
    auto select_table = [this](const std::u16string& name) {
        QString entry = QString::fromStdU16String(name);
        for (QListWidgetItem* item : available_->findItems(entry, Qt::MatchFixedString))
            selected_->addItem(available_->takeItem(available_->row(item)));
    };
    for (const std::u16string& table : conv.selected_tables) select_table(table);
    for (const auto& [name, query] : conv.selected_items) {
        QString entry = QString::fromStdU16String(name);
        if (query.empty()) {
            select_table(name);
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
    update_edit();
}

void sel_tables_page::cleanupPage() {
    // Back: what the user chose stays for the next visit.
    store_selection();
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

bool sel_tables_page::ask_query(std::u16string& name, std::u16string& query,
                                const QListWidgetItem* except) {
    // Until the name is free (no second entry of one name) or the user
    // cancels.
    for (;;) {
        set_query_dlg dialog(shell(), name, query, this);
        if (shell().prompter().exec(dialog) != QDialog::Accepted)
            return false;
        name = dialog.name();
        query = dialog.query();
        if (!name_taken(QString::fromStdU16String(name), except))
            return true;
        shell().message(u"Duplicate table name. Try again.");
    }
}

void sel_tables_page::on_add_query() {
    tk_trace(2, "sel_tables_page::on_add_query");
    std::u16string name, query;
    if (!ask_query(name, query, nullptr))
        return;
    queries_[name] = query;
    selected_->addItem(QString::fromStdU16String(name));
    selected_->setCurrentRow(selected_->count() - 1);
}

void sel_tables_page::on_edit_query(QListWidgetItem* item) {
    if (!item || !is_query(item->text()))
        return;
    tk_trace(2, "sel_tables_page::on_edit_query");
    const std::u16string old_name = item->text().toStdU16String();
    std::u16string name = old_name, query = queries_[old_name];
    if (!ask_query(name, query, item))
        return;
    queries_.erase(old_name);
    queries_[name] = query;
    item->setText(QString::fromStdU16String(name));
}

bool sel_tables_page::on_next() {
    if (selected_->count() == 0 && !shell().question(empty_question_, true))
        return false;
    store_selection();
    return true;
}

void sel_tables_page::store_selection() {
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
}
