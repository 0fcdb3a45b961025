// The wizard driven end to end on the offscreen platform: widgets are found
// by object name, boxes and dialogs are answered by a scripted prompter,
// the source is the demo database through the embedded provider, and every
// workbook is read back with xlrd.
#include <sys/stat.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QWizard>
#include <cstdlib>
#include <memory>

#include "common/py_run.h"
#include "core/dao_dest.h"
#include "wizard/tsl_app.h"
#include "wizard/tsl_edlg.h"
#include "wizard/tsl_ora.h"
#include "wizard/tsl_prog.h"
#include "wizard/wiz_script.h"

namespace {

using box_kind = shell_prompter::box_kind;

QString run_cmd(const QString& command) {
    QString out;
    if (FILE* p = ::popen(command.toLocal8Bit().constData(), "r")) {
        char buf[4096];
        size_t k;
        while ((k = std::fread(buf, 1, sizeof buf, p)) > 0) out += QString::fromLocal8Bit(buf, k);
        if (::pclose(p) != 0)
            out += "\nFAILED";
    }
    return out.trimmed();
}

QByteArray read_all(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Presses a dialog's button and gives back what the dialog ended with.
int press(QDialog& dialog, const char* button) {
    auto* b = dialog.findChild<QPushButton*>(button);
    if (!b)
        return -100;
    b->click();
    return dialog.result();
}

// A query dialog handler: fills the name and text, then presses `button`.
script_prompter::dialog_handler fill_query(const QString& name, const QString& sql,
                                           const char* button = "ok") {
    return [=](QDialog& d) {
        d.findChild<QLineEdit*>("query_name")->setText(name);
        d.findChild<QPlainTextEdit*>("query_text")->setPlainText(sql);
        return press(d, button);
    };
}

}  // namespace

class wizard_test : public QObject {
    Q_OBJECT

  private:
    QTemporaryDir dir_;
    QString demo_;  // the demo database file
    QString config_;
    script_prompter* script_ = nullptr;  // owned by the shell
    std::unique_ptr<tessal_app> app_;

    QString path(const QString& name) const { return dir_.filePath(name); }
    QWizard& w() { return app_->shell().sheet(); }
    template <class T>
    T* find(const char* name) {
        return w().findChild<T*>(name);
    }

    void start(const QStringList& args = {}) {
        auto script = std::make_unique<script_prompter>();
        script_ = script.get();
        app_ = std::make_unique<tessal_app>(args, make_workbook_destination(), std::move(script));
        w().show();
    }
    // Closes the wizard and ends the program's objects (settings are written).
    void stop() {
        if (app_)
            w().hide();
        app_.reset();
        script_ = nullptr;
    }

    // From the welcome page to step 3 on `db`.
    bool to_tables(const QString& db, const QString& dest) {
        if (w().currentId() == kWelcomePage)
            w().next();
        find<QRadioButton>("by_service")->setChecked(true);
        find<QLineEdit>("service")->setText("file:" + db);
        find<QLineEdit>("user")->setText("scott");
        find<QLineEdit>("password")->setText("tiger");
        w().next();
        if (w().currentId() != kSelFilePage)
            return false;
        find<QLineEdit>("dest")->setText(dest);
        w().next();
        return w().currentId() == kSelTablesPage;
    }
    void select(const QStringList& names) {
        auto* available = find<QListWidget>("available");
        available->clearSelection();
        for (const QString& n : names)
            for (QListWidgetItem* item : available->findItems(n, Qt::MatchExactly))
                item->setSelected(true);
        find<QPushButton>("add")->click();
    }
    QStringList entries(const char* list) {
        QStringList out;
        auto* l = find<QListWidget>(list);
        for (int i = 0; i < l->count(); ++i) out << l->item(i)->text();
        return out;
    }
    bool convert() {
        w().next();
        if (w().currentId() != kProgressPage)
            return false;
        // The run ends the page by itself; only the event loop is waited for.
        return QTest::qWaitFor([&] { return w().currentId() == kFinishPage; }, 120000);
    }
    QString check_book(const QString& book, const QStringList& items) {
        QString args = "'" + book + "' '" + demo_ + "'";
        for (const QString& s : items) args += " '" + s + "'";
        return run_cmd("/usr/bin/python3 " TSL_TEST_DIR "/check_book.py " + args + " 2>&1");
    }

  private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        demo_ = path("demo.db");
        QCOMPARE(run_cmd("'" TSL_SOURCE_DIR "/demo/make_demo.sh' '" + demo_ + "'"), demo_);
    }
    void init() {
        // Each case starts without last used settings.
        static int n = 0;
        config_ = path(QString("config%1").arg(++n));
        qputenv("XDG_CONFIG_HOME", config_.toLocal8Bit());
    }
    void cleanup() { stop(); }

    // The whole flow: two tables and a query, converted, read back; the
    // settings of the run are there at the next start.
    void whole_flow() {
        start();
        QCOMPARE(w().currentId(), int(kWelcomePage));
        w().next();
        find<QRadioButton>("by_service")->setChecked(true);
        find<QLineEdit>("service")->setText("file:" + demo_);
        find<QLineEdit>("user")->setText("scott");
        find<QLineEdit>("password")->setText("tiger");
        w().next();
        QCOMPARE(w().currentId(), int(kSelFilePage));
        // Without a destination the service's database is proposed, as .xls.
        QCOMPARE(find<QLineEdit>("dest")->text(), path("demo.xls"));
        QVERIFY(!find<QLabel>("format_description")->text().isEmpty());
        const QString book = path("flow.xls");
        find<QLineEdit>("dest")->setText(book);
        find<QComboBox>("format")->setCurrentIndex(1);
        w().next();
        QCOMPARE(w().currentId(), int(kSelTablesPage));
        QVERIFY(entries("available").contains("EMP"));
        select({"EMP", "DEPT"});
        script_->dialogs.push_back(
            fill_query("Q_RICH", "SELECT ENAME, SAL FROM EMP WHERE SAL > 2500"));
        find<QPushButton>("add_query")->click();
        QCOMPARE(entries("selected"), QStringList({"DEPT", "EMP", "Q_RICH"}));
        QVERIFY(convert());
        QVERIFY(app_->shell().errors().empty());
        QVERIFY(find<QLabel>("result")->text().startsWith("Wizard has converted"));
        QVERIFY(find<QPlainTextEdit>("errors")->isHidden());
        QVERIFY(!w().button(QWizard::CancelButton)->isEnabled());
        QVERIFY(!w().button(QWizard::BackButton)->isEnabled());
        QVERIFY(!w().button(QWizard::HelpButton)->isEnabled());
        QCOMPARE(check_book(book, {"DEPT=SELECT * FROM DEPT", "EMP=SELECT * FROM EMP",
                                   "Q_RICH=SELECT ENAME, SAL FROM EMP WHERE SAL > 2500"}),
                 QString("OK"));
        // Save Settings writes the run's selection as a profile.
        const QString saved = path("flow.tsl");
        script_->files = {saved};
        find<QPushButton>("save_settings")->click();
        const QByteArray profile = read_all(saved);
        QVERIFY(
            profile.contains("[Selected Tables]\nDEPT\nEMP\nQ_RICH=SELECT ENAME, SAL FROM EMP"));
        // Finish with "Open on exit" opens the workbook.
        find<QCheckBox>("open_on_exit")->setChecked(true);
        w().button(QWizard::FinishButton)->click();
        QCOMPARE(script_->opened.size(), size_t(1));
        QCOMPARE(script_->opened[0], QUrl::fromLocalFile(book));
        stop();

        // The next start brings the run's settings back; Load Settings adds
        // the saved profile's selection.
        start();
        QVERIFY(app_->converter().selected_items.empty());
        script_->files = {saved};
        find<QPushButton>("load_settings")->click();
        QCOMPARE(app_->converter().selected_items.size(), size_t(3));
        QCOMPARE(QString::fromStdU16String(app_->converter().dest), book);
        QCOMPARE(QString::fromStdU16String(app_->converter().oracle.service), "file:" + demo_);
        QCOMPARE(QString::fromStdU16String(app_->converter().oracle.user), QString("scott"));
        QCOMPARE(app_->converter().format_version, 1);
        w().next();
        QCOMPARE(find<QLineEdit>("service")->text(), "file:" + demo_);
        w().next();
        script_->answers = {true};  // the workbook of the first run is there
        w().next();
        QCOMPARE(w().currentId(), int(kSelTablesPage));
        QCOMPARE(entries("selected"), QStringList({"DEPT", "EMP", "Q_RICH"}));
    }

    // Excel 2007 is the third format: choosing it proposes .xlsx (in the
    // Browse dialog too), the run writes an .xlsx workbook, and the next
    // start keeps the choice.
    void xlsx_format() {
        start();
        w().next();
        find<QRadioButton>("by_service")->setChecked(true);
        find<QLineEdit>("service")->setText("file:" + demo_);
        find<QLineEdit>("user")->setText("scott");
        find<QLineEdit>("password")->setText("tiger");
        w().next();
        QCOMPARE(w().currentId(), int(kSelFilePage));
        auto* format = find<QComboBox>("format");
        auto* dest = find<QLineEdit>("dest");
        QCOMPARE(format->count(), 3);
        QCOMPARE(format->itemText(2), QString("MS Excel 2007 (.xlsx)"));
        QCOMPARE(dest->text(), path("demo.xls"));
        format->setCurrentIndex(2);
        QCOMPARE(dest->text(), path("demo.xlsx"));
        QVERIFY(find<QLabel>("format_description")->text().contains("1048575 rows"));
        script_->files = {path("picked.xlsx")};
        find<QPushButton>("browse")->click();
        QCOMPARE(script_->filters.back(), QString("MS Excel Files (.xlsx) (*.xlsx)"));
        QCOMPARE(dest->text(), path("picked.xlsx"));
        format->setCurrentIndex(1);  // the name follows the format both ways
        QCOMPARE(dest->text(), path("picked.xls"));
        format->setCurrentIndex(2);
        w().next();
        QCOMPARE(w().currentId(), int(kSelTablesPage));
        select({"DEPT", "EMP"});
        QVERIFY(convert());
        QVERIFY(app_->shell().errors().empty());
        QCOMPARE(
            check_book(path("picked.xlsx"), {"DEPT=SELECT * FROM DEPT", "EMP=SELECT * FROM EMP"}),
            QString("OK"));
        QVERIFY(!QFile::exists(path("picked.xls")));
        w().button(QWizard::FinishButton)->click();
        stop();

        start();
        QCOMPARE(app_->converter().format_version, 2);
        w().next();
        w().next();
        QCOMPARE(w().currentId(), int(kSelFilePage));
        QCOMPARE(find<QComboBox>("format")->currentIndex(), 2);
        QCOMPARE(find<QLineEdit>("dest")->text(), path("picked.xlsx"));
    }

    void connection_messages() {
        start();
        w().next();
        find<QRadioButton>("by_service")->setChecked(true);
        find<QLineEdit>("service")->clear();
        w().next();
        QCOMPARE(w().currentId(), int(kOraSettingsPage));
        QCOMPARE(script_->texts(), QStringList{"You should enter Oracle data source name"});
        QCOMPARE(script_->boxes.back().caption, QString("Tessaline 3.3 Message"));

        find<QRadioButton>("by_address")->setChecked(true);
        QVERIFY(!find<QLineEdit>("service")->isEnabled());
        QVERIFY(find<QLineEdit>("host")->isEnabled());
        w().next();
        QCOMPARE(w().currentId(), int(kOraSettingsPage));
        QCOMPARE(script_->texts().last(),
                 QString("You should enter IP address or network name of Oracle server."));

        // A database with a user table refuses a wrong password.
        QString locked = path("locked.db");
        QFile::remove(locked);
        QVERIFY(QFile::copy(demo_, locked));
        QCOMPARE(run_cmd("sqlite3 '" + locked +
                         "' \"CREATE TABLE TSL_USERS(USERNAME TEXT, PASSWORD TEXT);"
                         "INSERT INTO TSL_USERS VALUES('scott','tiger');\""),
                 QString());
        find<QRadioButton>("by_service")->setChecked(true);
        find<QLineEdit>("service")->setText("file:" + locked);
        find<QLineEdit>("user")->setText("scott");
        find<QLineEdit>("password")->setText("lion");
        w().next();
        QCOMPARE(w().currentId(), int(kOraSettingsPage));
        QCOMPARE(script_->boxes.back().kind, box_kind::error);
        QCOMPARE(script_->texts().last(), QString("Invalid user name or password."));
        find<QLineEdit>("password")->setText("tiger");
        w().next();
        QCOMPARE(w().currentId(), int(kSelFilePage));
        // The connecting dialog is closed by its run only.
        connecting_dialog waiting;
        waiting.show();
        QTest::keyClick(&waiting, Qt::Key_Escape);
        QVERIFY(waiting.isVisible());
        waiting.close_from_worker();
        QTRY_VERIFY(!waiting.isVisible());
    }

    void destination_checks() {
        start();
        w().next();
        find<QLineEdit>("service")->setText("file:" + demo_);
        w().next();
        QCOMPARE(w().currentId(), int(kSelFilePage));
        auto* dest = find<QLineEdit>("dest");
        auto refused = [&](const QString& name, const QString& text) {
            dest->setText(name);
            w().next();
            return w().currentId() == kSelFilePage && script_->texts().last() == text;
        };
        QVERIFY(refused("", "You should enter MS Excel file name"));
        script_->files = {path("browsed.xls")};
        find<QPushButton>("browse")->click();
        QCOMPARE(dest->text(), path("browsed.xls"));
        QVERIFY(refused(dir_.path(), "Destination name should specify a file, not folder."));
        QVERIFY(refused(path("no/such/dir/x.xls"),
                        "Destination path does not exist.\nPlease verify the correct path was "
                        "given."));
        QCOMPARE(script_->boxes.back().kind, box_kind::error);
        const QString locked = path("readonly.xls");
        QFile r(locked);
        QVERIFY(r.open(QIODevice::WriteOnly));
        r.close();
        QVERIFY(::chmod(locked.toLocal8Bit().constData(), 0444) == 0);
        QVERIFY(refused(locked, "Destination name specifies an existing read-only file."));

        // An existing file: No keeps the page and the file.
        const QString old = path("old.xls");
        QFile f(old);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("old contents");
        f.close();
        script_->answers = {false};
        QVERIFY(refused(old, "Destination file already exists. Overwrite?"));
        QVERIFY(script_->boxes.back().default_no);
        QCOMPARE(read_all(old), QByteArray("old contents"));
        // Yes goes on, and the old file is still there.
        script_->answers = {true};
        dest->setText(old);
        w().next();
        QCOMPARE(w().currentId(), int(kSelTablesPage));
        QCOMPARE(read_all(old), QByteArray("old contents"));
        // A complete run replaces it with the new workbook.
        select({"DEPT"});
        QVERIFY(convert());
        QCOMPARE(check_book(old, {"DEPT=SELECT * FROM DEPT"}), QString("OK"));
    }

    void query_dialog() {
        start();
        QVERIFY(to_tables(demo_, path("q.xls")));
        // A name like an existing table in any case: told, then the dialog
        // comes back with what the user typed.
        QString seen_name, seen_sql;
        script_->dialogs.push_back(fill_query("emp", "SELECT 1 FROM DEPT"));
        script_->dialogs.push_back([&](QDialog& d) {
            seen_name = d.findChild<QLineEdit*>("query_name")->text();
            seen_sql = d.findChild<QPlainTextEdit*>("query_text")->toPlainText();
            return press(d, "cancel");
        });
        find<QPushButton>("add_query")->click();
        QCOMPARE(script_->texts(), QStringList{"Duplicate table name. Try again."});
        QCOMPARE(seen_name, QString("emp"));
        QCOMPARE(seen_sql, QString("SELECT 1 FROM DEPT"));
        QVERIFY(entries("selected").isEmpty());

        // The SELECT check, the empty fields, and Test Query.
        int with_blanks = -1;
        script_->dialogs.push_back([&](QDialog& d) {
            auto* name = d.findChild<QLineEdit*>("query_name");
            auto* sql = d.findChild<QPlainTextEdit*>("query_text");
            sql->setPlainText("SELECT 1 FROM DEPT");
            press(d, "ok");  // no name
            name->setText("Q_LOC");
            sql->setPlainText("WITH x AS (SELECT 1 FROM DEPT) SELECT * FROM x");
            press(d, "ok");
            sql->clear();
            press(d, "ok");
            sql->setPlainText("SELECT NO_SUCH_COLUMN FROM DEPT");
            press(d, "test_query");
            sql->setPlainText(" \n\t select LOC from DEPT");
            press(d, "test_query");
            with_blanks = press(d, "ok");
            return with_blanks;
        });
        find<QPushButton>("add_query")->click();
        QStringList texts = script_->texts().mid(1);
        QCOMPARE(texts.size(), 5);
        QCOMPARE(texts[0], QString("Table name is empty!"));
        QCOMPARE(texts[1], QString("The query must start with SELECT."));
        QCOMPARE(texts[2], QString("Query is empty!"));
        QVERIFY(texts[3].startsWith("You have an error in your query syntax."));
        QVERIFY(texts[3].contains("support@brannock.example"));
        QCOMPARE(texts[4], QString("The query is correct."));
        QCOMPARE(with_blanks, int(QDialog::Accepted));
        QCOMPARE(entries("selected"), QStringList{"Q_LOC"});
        // Editing a query entry (double-click) renames it without a check.
        script_->dialogs.push_back(fill_query("Q_PLACES", " select LOC from DEPT"));
        emit find<QListWidget>("selected")
            ->itemDoubleClicked(find<QListWidget>("selected")->item(0));
        QCOMPARE(entries("selected"), QStringList{"Q_PLACES"});
        QVERIFY(convert());
        QCOMPARE(QString::fromStdU16String(app_->converter().selected_items.at(u"Q_PLACES")),
                 QString(" select LOC from DEPT"));
        QCOMPARE(check_book(path("q.xls"), {"Q_PLACES=SELECT LOC FROM DEPT", "--unpatched"}),
                 QString("OK"));
    }

    void empty_selection_and_cancel() {
        start();
        // Cancel asks, No by default; No stays.
        w().reject();
        QCOMPARE(script_->texts(), QStringList{"Are you sure you want to exit the wizard?"});
        QVERIFY(script_->boxes.back().default_no);
        QVERIFY(w().isVisible());
        QVERIFY(to_tables(demo_, path("e.xls")));
        w().next();
        QCOMPARE(w().currentId(), int(kSelTablesPage));
        QCOMPARE(script_->texts().last(),
                 QString("There are no tables selected. Continue anyway?"));
        QVERIFY(script_->boxes.back().default_no);
        script_->answers = {true};
        w().reject();
        QVERIFY(!w().isVisible());
    }

    // Abort in the continue/abort dialog ends the run; the completion page
    // lists what was reported.
    void abort_in_run() {
        // The destination exists: answered Yes, it stays as it was through
        // the run, and an aborted run leaves it so.
        const QString book = path("abort.xls");
        QFile f(book);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("old contents");
        f.close();
        start();
        script_->answers = {true};
        QVERIFY(to_tables(demo_, book));
        select({"EMP"});
        script_->dialogs.push_back(fill_query("A_BAD", "SELECT NOPE FROM NOWHERE"));
        find<QPushButton>("add_query")->click();
        QString asked;
        bool buttons_off = false;
        QByteArray during_run;
        script_->dialogs.push_back([&](QDialog& d) {
            asked = d.findChild<QLabel*>("message")->text();
            during_run = read_all(book);
            // While the run goes on the user can neither go back, on nor out.
            buttons_off = w().currentId() == kProgressPage &&
                          !w().button(QWizard::BackButton)->isEnabled() &&
                          !w().button(QWizard::NextButton)->isEnabled() &&
                          !w().button(QWizard::CancelButton)->isEnabled();
            return press(d, "abort");
        });
        QVERIFY(convert());
        QVERIFY(asked.startsWith("A_BAD: "));
        QVERIFY(buttons_off);
        QCOMPARE(during_run, QByteArray("old contents"));
        QCOMPARE(read_all(book), QByteArray("old contents"));
        QCOMPARE(app_->shell().errors().size(), size_t(1));
        QVERIFY(find<QLabel>("result")->text().startsWith("There were some errors"));
        QVERIFY(!find<QPlainTextEdit>("errors")->isHidden());
        QCOMPARE(find<QPlainTextEdit>("errors")->toPlainText(), asked);
        // A_BAD comes before EMP: nothing was converted after the abort.
        QVERIFY(!app_->converter().completed);
        // Open on exit opens only a workbook the run wrote.
        QFile::remove(book);
        find<QCheckBox>("open_on_exit")->setChecked(true);
        w().button(QWizard::FinishButton)->click();
        QVERIFY(script_->opened.empty());
    }

    // A profile on the command line over the saved settings; 25 failing
    // queries: "do not show again" silences the rest, the list keeps 20.
    void profile_and_error_list() {
        start();
        QVERIFY(to_tables(demo_, path("saved.xls")));
        stop();  // saved: service, user, password, destination

        const QString profile = path("bad.tsl");
        QString text = "[Generic settings]\ndest=" + path("bad.xls") +
                       "\n\n[MS Excel settings]\nformat version=0\n\n[Selected Tables]\nDEPT\n";
        for (int i = 1; i <= 25; ++i)
            text += QString("B%1=SELECT * FROM NO_TABLE_%1\n").arg(i, 2, 10, QChar('0'));
        QFile f(profile);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(text.toUtf8());
        f.close();
        start({profile});
        QCOMPARE(QString::fromStdU16String(app_->converter().dest), path("bad.xls"));
        QCOMPARE(app_->converter().format_version, 0);
        QCOMPARE(QString::fromStdU16String(app_->converter().oracle.user), QString("scott"));
        w().next();
        w().next();  // connects with the saved settings
        QCOMPARE(w().currentId(), int(kSelFilePage));
        QCOMPARE(find<QLineEdit>("dest")->text(), path("bad.xls"));
        w().next();
        QCOMPARE(w().currentId(), int(kSelTablesPage));
        QCOMPARE(entries("selected").size(), 26);
        int asked = 0;
        script_->dialogs.push_back([&](QDialog& d) {
            ++asked;
            d.findChild<QCheckBox*>("dont_show")->setChecked(true);
            return press(d, "continue");
        });
        QVERIFY(convert());
        QCOMPARE(asked, 1);
        std::vector<std::u16string> errors = app_->shell().errors();
        QCOMPARE(errors.size(), wizard_shell::kMaxErrors);
        QVERIFY(QString::fromStdU16String(errors.front()).startsWith("B01: "));
        QCOMPARE(find<QPlainTextEdit>("errors")->toPlainText().split('\n').size(), 20);
        QCOMPARE(check_book(path("bad.xls"), {"DEPT=SELECT * FROM DEPT"}), QString("OK"));

        // A missing profile on the command line is reported; the wizard opens.
        stop();
        start({path("missing.tsl")});
        QCOMPARE(script_->texts(),
                 QStringList{"Profile does not exist. Please verify the correct path/name was "
                             "given."});
        QCOMPARE(w().currentId(), int(kWelcomePage));
    }

    // More columns than a worksheet takes: the run asks once; Continue
    // converts the first 255, Abort ends the run without a report.
    void wide_table() {
        const QString wide = path("wide.db");
        QFile::remove(wide);
        QString columns;
        for (int i = 1; i <= 300; ++i)
            columns += QString("%1C%2 NUMBER(4)").arg(i > 1 ? "," : "").arg(i);
        QCOMPARE(run_cmd("sqlite3 '" + wide + "' 'CREATE TABLE WIDE(" + columns +
                         "); INSERT INTO WIDE(C1, C300) VALUES (1, 300);'"),
                 QString());
        for (const char* answer : {"continue", "abort"}) {
            start();
            const QString book = path(QString("wide_%1.xls").arg(answer));
            QVERIFY(to_tables(wide, book));
            select({"WIDE"});
            QString asked;
            script_->dialogs.push_back([&](QDialog& d) {
                asked = d.findChild<QLabel*>("message")->text();
                return press(d, answer);
            });
            QVERIFY(convert());
            QCOMPARE(asked, QString("Table will be truncated up to 256 columns."));
            // Asked once; on going on, the columns left out are listed.
            if (QString(answer) == "continue") {
                QCOMPARE(app_->shell().errors().size(), size_t(1));
                QVERIFY(app_->shell().errors()[0].find(u"45 columns") != std::u16string::npos);
            } else {
                QVERIFY(app_->shell().errors().empty());
            }
            if (QString(answer) == "continue") {
                QCOMPARE(
                    run_cmd("/usr/bin/python3 -c \"import xlrd; s = xlrd.open_workbook('" + book +
                            "').sheet_by_index(0); print(s.ncols, s.cell_value(0, 254))\""),
                    QString("255 C255"));
            } else {
                QVERIFY(!app_->converter().completed);
            }
            stop();
        }
    }

    // The bar: items done and the current item's records, in whole percent;
    // past 100 (queries beyond the tables counted) the last phase shows.
    void progress_arithmetic() {
        QCOMPARE(read_progress(0, 0, 0, 0).percent, 0u);
        QCOMPARE(read_progress(4, 1, 200, 50).percent, 25u + 6u);
        progress_reading queries_after_tables = read_progress(3, 3, 10, 5);
        QVERIFY(queries_after_tables.final_phase);
        QCOMPARE(final_phase_position(0), 0);
        QVERIFY(final_phase_position(10) == 50);
        QVERIFY(final_phase_position(100000) < 100);
    }

    void error_dialogs() {
        start();
        dlg_error_continue ask(u"EMP, record #7: text");
        QCOMPARE(ask.windowTitle(), QString("Tessaline 3.3 Error"));
        QCOMPARE(press(ask, "abort"), int(dlg_error_continue::abort_run));
        dlg_error_continue go(u"text");
        QCOMPARE(press(go, "continue"), int(dlg_error_continue::continue_run));
        install_desktop_delivery();
        dlg_error_ex internal(u"Internal error: \ncode=42");
        QCOMPARE(press(internal, "copy"), int(dlg_error_ex::copied));
        QCOMPARE(script_->clipboard, QString("Internal error: \ncode=42"));
        dlg_error_ex mail(u"Internal error: \ncode=43");
        press(mail, "send_bug");
        QCOMPARE(script_->opened.size(), size_t(1));
        QCOMPARE(script_->opened[0].scheme(), QString("mailto"));
        QVERIFY(script_->opened[0].query(QUrl::FullyDecoded).contains("code=43"));
        // Help: the manual beside the program, at the page's topic.
        w().button(QWizard::HelpButton)->click();
        QCOMPARE(script_->opened.back().fileName(), QString("index.html"));
        QVERIFY(QFile::exists(script_->opened.back().toLocalFile()));
        QVERIFY(to_tables(demo_, path("help.xls")));
        w().button(QWizard::HelpButton)->click();
        QCOMPARE(script_->opened.back().fileName(), QString("selection.html"));
        app_->shell().display_help(kHelpConnection);
        QCOMPARE(script_->opened.back().fileName(), QString("connection.html"));
        const size_t opened = script_->opened.size();
        app_->shell().set_help_folder(path("no_manual"));
        w().button(QWizard::HelpButton)->click();
        QCOMPARE(script_->opened.size(), opened);
        QCOMPARE(script_->texts().last(),
                 QString("Help file does not exist. Reinstall the program."));
    }
};

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    wizard_test test;
    return QTest::qExec(&test, argc, argv);
}

#include "tsl_wizard_test.moc"
