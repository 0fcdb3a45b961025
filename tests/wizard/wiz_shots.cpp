// Saves a picture of every page and dialog of the wizard, drawn on the
// offscreen platform, for the documentation:
//     wizard_shots OUTPUT_FOLDER DEMO_DB
// It walks through one conversion of the demo database (two tables and a
// failing query, so that the progress page, the continue/abort dialog and
// the completion page with errors are shown) and draws the dialogs on the
// way. Exits non-zero when a picture could not be written.
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QWizard>
#include <cstdio>

#include "core/dao_dest.h"
#include "wizard/tsl_app.h"
#include "wizard/tsl_edlg.h"
#include "wizard/tsl_ora.h"
#include "wizard/wiz_script.h"

namespace {

QString out_dir;
int failures = 0;

void save(QWidget& widget, const QString& name) {
    widget.show();
    QCoreApplication::processEvents();
    QString file = out_dir + "/" + name + ".png";
    if (!widget.grab().save(file)) {
        std::fprintf(stderr, "wizard_shots: cannot write %s\n", qPrintable(file));
        ++failures;
    }
}

QMessageBox::Icon icon_of(shell_prompter::box_kind kind) {
    switch (kind) {
        case shell_prompter::box_kind::error:
            return QMessageBox::Critical;
        case shell_prompter::box_kind::question:
            return QMessageBox::Question;
        default:
            return QMessageBox::Information;
    }
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    quiet_offscreen_notes();
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: wizard_shots OUTPUT_FOLDER DEMO_DB\n");
        return 2;
    }
    out_dir = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    const QString demo = QString::fromLocal8Bit(argv[2]);
    QDir().mkpath(out_dir);
    QDir work(out_dir + "/work");
    work.removeRecursively();
    QDir().mkpath(work.path());
    // Removed after the wizard, whose end still writes its settings there.
    struct remove_at_end {
        QDir& dir;
        ~remove_at_end() { dir.removeRecursively(); }
    } remove_work{work};
    // A private settings folder: no last used settings of the user show.
    qputenv("XDG_CONFIG_HOME", (work.path() + "/config").toLocal8Bit());

    auto owned = std::make_unique<script_prompter>();
    script_prompter& script = *owned;
    tessal_app wizard(QStringList(), make_workbook_destination(), std::move(owned));
    QWizard& w = wizard.shell().sheet();
    w.resize(640, 470);
    auto find = [&](const char* name) { return w.findChild<QWidget*>(name); };

    int boxes = 0;
    script.on_box = [&](const script_prompter::shown_box& b) {
        QMessageBox box(icon_of(b.kind), b.caption, b.text,
                        b.kind == shell_prompter::box_kind::question
                            ? QMessageBox::Yes | QMessageBox::No
                            : QMessageBox::Ok);
        if (b.kind == shell_prompter::box_kind::question)
            box.setDefaultButton(b.default_no ? QMessageBox::No : QMessageBox::Yes);
        save(box, QString("box_%1").arg(++boxes));
    };

    save(w, "01_welcome");
    w.reject();  // Cancel asks first (the script answers No)
    w.next();
    qobject_cast<QLineEdit*>(find("service"))->clear();
    w.next();  // an empty service name is refused with a message
    qobject_cast<QRadioButton*>(find("by_service"))->setChecked(true);
    qobject_cast<QLineEdit*>(find("service"))->setText("file:" + demo);
    qobject_cast<QLineEdit*>(find("user"))->setText("scott");
    qobject_cast<QLineEdit*>(find("password"))->setText("tiger");
    save(w, "02_connect");
    {
        connecting_dialog connecting;
        save(connecting, "dlg_connecting");
    }
    w.next();
    qobject_cast<QLineEdit*>(find("dest"))->setText(work.path() + "/demo.xls");
    save(w, "03_destination");
    w.next();
    auto* available = qobject_cast<QListWidget*>(find("available"));
    for (const char* table : {"DEPT", "EMP"})
        for (QListWidgetItem* item : available->findItems(table, Qt::MatchExactly))
            item->setSelected(true);
    qobject_cast<QPushButton*>(find("add"))->click();
    script.dialogs.push_back([&](QDialog& d) {
        d.findChild<QLineEdit*>("query_name")->setText("A_LATE");
        d.findChild<QPlainTextEdit*>("query_text")
            ->setPlainText("SELECT ENAME, HIREDATE FROM EMP WHERE LATE = 1");
        save(d, "dlg_query");
        d.findChild<QPushButton*>("ok")->click();
        return d.result();
    });
    qobject_cast<QPushButton*>(find("add_query"))->click();
    save(w, "04_tables");
    // The query names a column the demo does not have: the run asks.
    script.dialogs.push_back([&](QDialog& d) {
        // Let the progress timer show the item the run stopped at.
        auto* status = w.findChild<QLabel*>("status");
        if (!QTest::qWaitFor([&] { return !status->text().isEmpty(); }, 5000))
            std::fprintf(stderr, "wizard_shots: no progress text\n");
        save(w, "05_progress");
        save(d, "dlg_error_continue");
        d.findChild<QPushButton*>("continue")->click();
        return d.result();
    });
    w.next();
    if (!QTest::qWaitFor([&] { return w.currentId() == kFinishPage; }, 120000)) {
        std::fprintf(stderr, "wizard_shots: the run did not end\n");
        return 1;
    }
    save(w, "06_finish");
    {
        dlg_error_ex internal(u"Internal error: \ncode=tsl_conv:52");
        save(internal, "dlg_error_ex");
    }
    return failures == 0 ? 0 : 1;
}
