#include "GUI2/g_wiz_pg.h"

#include <QFont>
#include <QLabel>
#include <QVBoxLayout>

#include "GUI2/g_wiz_sh.h"
#include "TK/tk_log.h"

wizard_page::wizard_page(wizard_shell& shell) : shell_(shell) {}

void wizard_page::on_set_active() {
    tk_trace(1, "wizard_page::OnSetActive");
    // Back and Next follow the sheet's own rules (history, commit page,
    // isComplete); a page that runs work disables them itself.
    page_init();
}

bool wizard_page::on_cancel() {
    tk_trace(2, "wizard_page::on_cancel");
    return shell_.question(u"Are you sure you want to exit the wizard?", true);
}

void wizard_page::on_help() {
    int topic = help_topic();
    if (topic == 0)
        shell_.display_help();
    else
        shell_.display_help(topic);
}

int wizard_page::nextId() const {
    return shell_.next_id(page_id_);
}

QFont exterior_title_font() {
    QFont font("Verdana");
    font.setPointSize(16);
    font.setBold(true);
    return font;
}

QLabel* wizard_page::make_exterior(const QString& title) {
    setPixmap(QWizard::WatermarkPixmap, shell_.watermark());
    auto* label = new QLabel(title, this);
    label->setObjectName("title");
    label->setFont(exterior_title_font());
    label->setWordWrap(true);
    return label;
}

void wizard_page::make_interior(int step, const QString& subtitle) {
    setTitle(QString("Step %1 of 4").arg(step));
    setSubTitle(subtitle);
}
