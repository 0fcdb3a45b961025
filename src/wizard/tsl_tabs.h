// Step 3 of 4, "Select tables": the source's tables on the left, what is
// to be converted on the right; user queries can be added (and edited by a
// double-click or "&Edit Query") and are converted like tables. Leaving the
// page, with Next or Back, writes the selection into the converter
// (selected_tables, selected_items, available_queries); the page shows it
// again when it comes back, reading the source's tables again only after a
// new connection (a selected table the new source lacks is dropped).
#pragma once

#include <QStringList>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "GUI2/g_wiz_pg.h"

class QListWidget;
class QListWidgetItem;
class QPushButton;

class sel_tables_page : public wizard_page {
  public:
    // `empty_question`: asked when the user leaves with nothing selected.
    sel_tables_page(wizard_shell& shell, const std::u16string& empty_question);

  protected:
    void page_init() override;
    bool on_next() override;
    void cleanupPage() override;
    int help_topic() const override;

  private:
    using query_map = std::map<std::u16string, std::u16string>;

    void on_add();
    void on_add_all();
    void on_delete();
    void on_del_all();
    void on_add_query();
    void on_edit_query(QListWidgetItem* item);
    // The query dialog over `name` and `query`, asked again while the name
    // is another entry's (`except` aside); false when the user cancels.
    bool ask_query(std::u16string& name, std::u16string& query, const QListWidgetItem* except);
    void store_selection();
    void update_edit();
    bool is_query(const QString& name) const;
    // An entry of either list other than `except` has the name (any case).
    bool name_taken(const QString& name, const QListWidgetItem* except) const;
    static bool contains(const QListWidget& list, const QString& name);
    static void move(QListWidget& from, QListWidget& to, bool all);

    std::u16string empty_question_;
    QListWidget* available_;
    QListWidget* selected_;
    QPushButton* add_query_;
    QPushButton* edit_query_;
    query_map queries_;                   // every query the page knows, by name
    std::vector<std::u16string> tables_;  // the source's tables
    bool tables_read_ = false;
    uint64_t tables_serial_ = 0;  // the connection they were read from
};
