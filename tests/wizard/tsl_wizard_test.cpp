// The wizard driven end to end on the offscreen platform: widgets are found
// by object name, boxes and dialogs are answered by a scripted prompter,
// the source is the demo database through the embedded provider, and every
// workbook is read back with xlrd.
#include <sys/stat.h>

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QWizard>
#include <climits>
#include <cstdlib>
#include <memory>

#include "common/py_run.h"
#include "core/dao_dest.h"
#include "support/de_locale.h"
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
    QString big_;   // BIG: 20000 records, the 10000th with a date that is no date; BASE: 3
    QString config_;
    script_prompter* script_ = nullptr;  // owned by the shell
    std::unique_ptr<tessal_app> app_;

    QString path(const QString& name) const { return dir_.filePath(name); }
    QWizard& w() { return app_->shell().sheet(); }
    QLabel* finish_title() { return w().page(kFinishPage)->findChild<QLabel*>("title"); }
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

    // Clicks one of the sheet's buttons as a person can: shown and enabled.
    bool click(QWizard::WizardButton which) {
        QAbstractButton* b = w().button(which);
        if (!b || !b->isVisible() || !b->isEnabled())
            return false;
        b->click();
        return true;
    }
    // The button that leads on, as the page shows it (Next, Commit, Finish).
    QAbstractButton* forward() {
        for (auto which : {QWizard::NextButton, QWizard::CommitButton, QWizard::FinishButton})
            if (w().button(which)->isVisible())
                return w().button(which);
        return nullptr;
    }
    bool next() {
        QAbstractButton* b = forward();
        if (!b || !b->isEnabled())
            return false;
        b->click();
        return true;
    }
    // Keys as a person types them, into the widget that has the focus.
    void key(Qt::Key k, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QWidget* target = QApplication::focusWidget();
        QTest::keyClick(target ? target : &w(), k, mods);
    }
    // Alt+letter; a button's mnemonic clicks when its animation ends.
    void alt(Qt::Key k) {
        key(k, Qt::AltModifier);
        QTest::qWait(250);
    }
    void type(const QString& text) {
        QWidget* target = QApplication::focusWidget();
        QTest::keyClicks(target ? target : &w(), text);
    }
    // The step-1 values of a `file:` source.
    void connect_to(const QString& db) {
        find<QRadioButton>("by_service")->click();
        find<QLineEdit>("service")->setText("file:" + db);
        find<QLineEdit>("user")->setText("scott");
        find<QLineEdit>("password")->setText("tiger");
    }

    // From the welcome page to step 3 on `db`.
    bool to_tables(const QString& db, const QString& dest) {
        if (w().currentId() == kWelcomePage && !next())
            return false;
        connect_to(db);
        if (!next() || w().currentId() != kSelFilePage)
            return false;
        find<QLineEdit>("dest")->setText(dest);
        return next() && w().currentId() == kSelTablesPage;
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
        if (!next() || w().currentId() != kProgressPage)
            return false;
        // The run ends the page by itself; only the event loop is waited for.
        return QTest::qWaitFor([&] { return w().currentId() == kFinishPage; }, 120000);
    }
    // What the Python expression `expr` gives for the workbook `book` (b)
    // and its first worksheet (s), read by xlrd with formats.
    QString xlrd(const QString& book, const QString& expr) {
        return run_cmd("/usr/bin/python3 -c \"import xlrd; b = xlrd.open_workbook('" + book +
                       "', formatting_info=True); s = b.sheet_by_index(0); print(" + expr +
                       ")\" 2>&1");
    }
    // Mnemonics (Alt+letter) that two visible controls of the sheet share.
    QStringList shared_mnemonics() {
        QMap<QString, int> seen;
        QStringList twice;
        for (QWidget* widget : w().findChildren<QWidget*>()) {
            if (!widget->isVisible())
                continue;
            QString text;
            if (auto* b = qobject_cast<QAbstractButton*>(widget))
                text = b->text();
            else if (auto* l = qobject_cast<QLabel*>(widget); l && l->buddy())
                text = l->text();
            QString m = QKeySequence::mnemonic(text).toString();
            if (!m.isEmpty() && ++seen[m] == 2)
                twice << m;
        }
        return twice;
    }
    // The window the person works in (what the window manager does).
    bool activate(QWidget& window) {
        window.activateWindow();
        QApplication::setActiveWindow(&window);
        return QTest::qWaitForWindowActive(&window) && QApplication::activeWindow() == &window;
    }
    void write_file(const QString& name, const QByteArray& bytes) {
        QFile f(name);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
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
        big_ = path("big.db");
        QCOMPARE(run_cmd("sqlite3 '" + big_ +
                         "' \"CREATE TABLE BIG(ID NUMBER(10), D DATE, T VARCHAR2(40)); WITH "
                         "RECURSIVE c(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM c WHERE i < "
                         "20000) INSERT INTO BIG SELECT i, CASE i WHEN 10000 THEN 'no date' ELSE "
                         "'2001-02-03 00:00:00' END, 'text ' || i FROM c; CREATE TABLE BASE(ID "
                         "NUMBER(4)); INSERT INTO BASE VALUES (1), (2), (3);\""),
                 QString());
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
        QVERIFY(next());
        connect_to(demo_);
        QVERIFY(next());
        QCOMPARE(w().currentId(), int(kSelFilePage));
        // Without a destination the service's database is proposed, as .xls.
        QCOMPARE(find<QLineEdit>("dest")->text(), path("demo.xls"));
        QVERIFY(!find<QLabel>("format_description")->text().isEmpty());
        const QString book = path("flow.xls");
        find<QLineEdit>("dest")->setText(book);
        find<QComboBox>("format")->setCurrentIndex(1);
        QVERIFY(next());
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
        QVERIFY(find<QLabel>("result")->text().endsWith("The workbook " + book +
                                                        " holds 3 worksheets with 23 records."));
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
        QVERIFY(next());
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
        QVERIFY(next());
        QCOMPARE(find<QLineEdit>("service")->text(), "file:" + demo_);
        QVERIFY(next());
        script_->answers = {true};  // the workbook of the first run is there
        QVERIFY(next());
        QCOMPARE(w().currentId(), int(kSelTablesPage));
        QCOMPARE(entries("selected"), QStringList({"DEPT", "EMP", "Q_RICH"}));
    }

    // Excel 2007 is the third format: choosing it proposes .xlsx (in the
    // Browse dialog too), the run writes an .xlsx workbook, and the next
    // start keeps the choice.
    void xlsx_format() {
        start();
        QVERIFY(next());
        connect_to(demo_);
        QVERIFY(next());
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
        QVERIFY(next());
        QCOMPARE(w().currentId(), int(kSelTablesPage));
        select({"DEPT", "EMP"});
        QVERIFY(convert());
        QVERIFY(app_->shell().errors().empty());
        QCOMPARE(
            check_book(path("picked.xlsx"), {"DEPT=SELECT * FROM DEPT", "EMP=SELECT * FROM EMP"}),
            QString("OK"));
        QVERIFY(!QFile::exists(path("picked.xls")));
        QVERIFY(next());  // Finish
        stop();

        start();
        QCOMPARE(app_->converter().format_version, 2);
        QVERIFY(next());
        QVERIFY(next());
        QCOMPARE(w().currentId(), int(kSelFilePage));
        QCOMPARE(find<QComboBox>("format")->currentIndex(), 2);
        QCOMPARE(find<QLineEdit>("dest")->text(), path("picked.xlsx"));
    }

    void connection_messages() {
        start();
        QVERIFY(next());
        find<QRadioButton>("by_service")->click();
        find<QLineEdit>("service")->clear();
        QVERIFY(next());
        QCOMPARE(w().currentId(), int(kOraSettingsPage));
        QCOMPARE(script_->texts(), QStringList{"You should enter Oracle data source name"});
        QCOMPARE(script_->boxes.back().caption, QString("Tessaline 3.3 Message"));

        find<QRadioButton>("by_address")->click();
        QVERIFY(!find<QLineEdit>("service")->isEnabled());
        QVERIFY(find<QLineEdit>("host")->isEnabled());
        QVERIFY(next());
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
        find<QRadioButton>("by_service")->click();
        find<QLineEdit>("service")->setText("file:" + locked);
        find<QLineEdit>("user")->setText("scott");
        find<QLineEdit>("password")->setText("lion");
        QVERIFY(next());
        QCOMPARE(w().currentId(), int(kOraSettingsPage));
        QCOMPARE(script_->boxes.back().kind, box_kind::error);
        QCOMPARE(script_->texts().last(), QString("Invalid user name or password."));
        find<QLineEdit>("password")->setText("tiger");
        QVERIFY(next());
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
        QVERIFY(next());
        // What the run reads as the source file is proposed, as .xls.
        const QString spaced = path("my demo.db");
        QVERIFY(QFile::copy(demo_, spaced));
        find<QLineEdit>("service")->setText("file://localhost" + path("my%20demo.db") + "?mode=ro");
        QVERIFY(next());
        QCOMPARE(w().currentId(), int(kSelFilePage));
        auto* dest = find<QLineEdit>("dest");
        QCOMPARE(dest->text(), path("my demo.xls"));
        auto refused = [&](const QString& name, const QString& text) {
            dest->setText(name);
            return next() && w().currentId() == kSelFilePage && script_->texts().last() == text;
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
        // What the run would refuse is refused here, with the run's text:
        // the source database itself (not offered to be overwritten), a
        // folder that takes no file.
        const int asked = script_->boxes.size();
        QVERIFY(refused(spaced, "The destination " + spaced +
                                    " (or one of its continuation files) is the source database "
                                    "file. Choose another destination."));
        QCOMPARE(script_->boxes.size(), size_t(asked + 1));
        dest->setText("/proc/tessal.xls");
        QVERIFY(next());
        QCOMPARE(w().currentId(), int(kSelFilePage));
        QVERIFY(script_->texts().last().startsWith(
            "No file can be written in the folder of the destination /proc/tessal.xls: "));
        // A path longer than the system takes is refused; one longer than
        // 260 characters is taken whole (from Browse too).
        QVERIFY(refused("/" + QString(PATH_MAX, 'p') + ".xls",
                        QString("Destination name is too long: the system takes paths of up to "
                                "%1 bytes.")
                            .arg(PATH_MAX - 1)));
        QString deep = dir_.path();
        for (int i = 0; i < 3; ++i) deep += "/" + QString(100, QChar('a' + i));
        QVERIFY(QDir().mkpath(deep));
        const QString long_book = deep + "/long.xls";
        script_->files = {long_book};
        find<QPushButton>("browse")->click();
        QCOMPARE(dest->text(), long_book);

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
        QVERIFY(next());
        QCOMPARE(w().currentId(), int(kSelTablesPage));
        QCOMPARE(read_all(old), QByteArray("old contents"));
        // Back to the long path: the run writes exactly that file.
        QVERIFY(click(QWizard::BackButton));
        dest->setText(long_book);
        QVERIFY(next());
        select({"DEPT"});
        QVERIFY(convert());
        QCOMPARE(check_book(long_book, {"DEPT=SELECT * FROM DEPT"}), QString("OK"));
        QCOMPARE(read_all(old), QByteArray("old contents"));
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
            press(d, "ok");             // no name
            name->setText("SAL=HIGH");  // a profile could not keep it
            press(d, "ok");
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
        QCOMPARE(texts.size(), 6);
        QCOMPARE(texts[0], QString("Table name is empty!"));
        QCOMPARE(texts[1], QString("Table name cannot contain \"=\". Try again."));
        QCOMPARE(texts[2], QString("The query must start with SELECT."));
        QCOMPARE(texts[3], QString("Query is empty!"));
        QVERIFY(texts[4].startsWith("You have an error in your query syntax."));
        QVERIFY(texts[4].contains("support@brannock.example"));
        QCOMPARE(texts[5], QString("The query is correct."));
        QCOMPARE(with_blanks, int(QDialog::Accepted));
        QCOMPARE(entries("selected"), QStringList{"Q_LOC"});
        // Editing a query entry (double-click) renames it without a check.
        script_->dialogs.push_back(fill_query("Q_PLACES", " select LOC from DEPT"));
        emit find<QListWidget>("selected")
            ->itemDoubleClicked(find<QListWidget>("selected")->item(0));
        QCOMPARE(entries("selected"), QStringList{"Q_PLACES"});

        // Renaming onto another entry's name (a query, a table; any case) is
        // refused as Add Query refuses it, and the dialog comes back.
        script_->dialogs.push_back(fill_query("Q_TWO", "SELECT DNAME FROM DEPT"));
        find<QPushButton>("add_query")->click();
        QString again;
        script_->dialogs.push_back(fill_query("q_two", " select LOC from DEPT"));
        script_->dialogs.push_back(fill_query("Dept", " select LOC from DEPT"));
        script_->dialogs.push_back([&](QDialog& d) {
            again = d.findChild<QLineEdit*>("query_name")->text();
            return press(d, "cancel");
        });
        find<QListWidget>("selected")->setCurrentRow(0);
        QVERIFY(find<QPushButton>("edit_query")->isEnabled());
        find<QPushButton>("edit_query")->click();
        QCOMPARE(script_->texts().mid(7), QStringList({"Duplicate table name. Try again.",
                                                       "Duplicate table name. Try again."}));
        QCOMPARE(again, QString("Dept"));
        QCOMPARE(entries("selected"), QStringList({"Q_PLACES", "Q_TWO"}));

        // Both texts stop at 2,048 characters; what was typed before stays.
        QString name_typed, query_typed;
        script_->dialogs.push_back([&](QDialog& d) {
            d.show();
            auto* name = d.findChild<QLineEdit*>("query_name");
            auto* sql = d.findChild<QPlainTextEdit*>("query_text");
            name->setText(QString(2040, 'n'));
            name->setFocus();
            QTest::keyClicks(name, "0123456789ABCDEF");
            sql->setPlainText("SELECT " + QString(2033, 'x'));
            sql->moveCursor(QTextCursor::End);
            QTest::keyClicks(sql, "0123456789ABCDEF");
            name_typed = name->text();
            query_typed = sql->toPlainText();
            return press(d, "cancel");
        });
        find<QPushButton>("add_query")->click();
        QCOMPARE(name_typed, QString(2040, 'n') + "01234567");
        QCOMPARE(query_typed, "SELECT " + QString(2033, 'x') + "01234567");

        QVERIFY(convert());
        QCOMPARE(QString::fromStdU16String(app_->converter().selected_items.at(u"Q_PLACES")),
                 QString(" select LOC from DEPT"));
        // A run of queries only gets the header format too.
        QCOMPARE(check_book(path("q.xls"),
                            {"Q_PLACES=SELECT LOC FROM DEPT", "Q_TWO=SELECT DNAME FROM DEPT"}),
                 QString("OK"));
    }

    void empty_selection_and_cancel() {
        start();
        // Cancel asks, No by default; No stays.
        QVERIFY(click(QWizard::CancelButton));
        QCOMPARE(script_->texts(), QStringList{"Are you sure you want to exit the wizard?"});
        QVERIFY(script_->boxes.back().default_no);
        QVERIFY(w().isVisible());
        QVERIFY(to_tables(demo_, path("e.xls")));
        QVERIFY(next());
        QCOMPARE(w().currentId(), int(kSelTablesPage));
        QCOMPARE(script_->texts().last(),
                 QString("There are no tables selected. Continue anyway?"));
        QVERIFY(script_->boxes.back().default_no);
        // Yes: a run with nothing to convert, which says it wrote nothing.
        script_->answers = {true};
        QVERIFY(convert());
        QCOMPARE(finish_title()->text(), QString("Nothing was Converted"));
        QVERIFY(find<QLabel>("result")->text().startsWith("The conversion wrote nothing"));
        QVERIFY(find<QPlainTextEdit>("errors")->toPlainText().contains("No workbook was written"));
        QVERIFY(!QFile::exists(path("e.xls")));
        stop();
        // Cancel answered Yes closes the wizard.
        start();
        script_->answers = {true};
        QVERIFY(click(QWizard::CancelButton));
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
        bool buttons_ok = false;
        QByteArray during_run;
        script_->dialogs.push_back([&](QDialog& d) {
            asked = d.findChild<QLabel*>("message")->text();
            during_run = read_all(book);
            // While the run goes on the user can go neither back nor on;
            // Cancel stays (it asks whether to abort).
            buttons_ok = w().currentId() == kProgressPage &&
                         !w().button(QWizard::BackButton)->isEnabled() && forward() &&
                         !forward()->isEnabled() && w().button(QWizard::CancelButton)->isEnabled();
            return press(d, "abort");
        });
        QVERIFY(convert());
        QVERIFY(asked.startsWith("A_BAD: "));
        QVERIFY(buttons_ok);
        QCOMPARE(during_run, QByteArray("old contents"));
        QCOMPARE(read_all(book), QByteArray("old contents"));
        QCOMPARE(app_->shell().errors().size(), size_t(1));
        // The page says the run was aborted, and offers no workbook to open:
        // the old one is not its result.
        QCOMPARE(finish_title()->text(), QString("Conversion is Aborted"));
        QVERIFY(find<QLabel>("result")->text().startsWith("The conversion was aborted"));
        QVERIFY(!find<QPlainTextEdit>("errors")->isHidden());
        QCOMPARE(find<QPlainTextEdit>("errors")->toPlainText(), asked);
        // A_BAD comes before EMP: nothing was converted after the abort.
        QVERIFY(!app_->converter().completed);
        QVERIFY(!find<QCheckBox>("open_on_exit")->isEnabled());
        QVERIFY(next());
        QVERIFY(script_->opened.empty());
    }

    // A full disk: one error box, then the completion page; the old
    // workbook stays as it was.
    void full_disk() {
        const QString disk = path("disk");
        QVERIFY(QDir().mkpath(disk));
        if (run_cmd("mount -t tmpfs -o size=1m tmpfs '" + disk + "' 2>&1") != "")
            QSKIP("cannot mount a small tmpfs here");
        const QString book = disk + "/full.xls";
        QFile f(book);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("old contents");
        f.close();
        run_cmd("dd if=/dev/zero of='" + disk + "/filler' bs=4k 2>/dev/null");
        start();
        script_->answers = {true};
        const bool reached = to_tables(demo_, book);
        select({"EMP", "DEPT"});
        const bool converted = reached && convert();
        const QByteArray after = read_all(book);
        const QStringList names = QDir(disk).entryList(QDir::Files | QDir::Hidden);
        run_cmd("umount '" + disk + "'");
        QVERIFY(converted);
        QCOMPARE(script_->boxes.size(), size_t(2));  // Overwrite?, then the error
        QCOMPARE(script_->boxes.back().kind, box_kind::error);
        QVERIFY(script_->texts().last().startsWith(book + ": The workbook could not be written"));
        QCOMPARE(app_->shell().errors().size(), size_t(1));
        QCOMPARE(after, QByteArray("old contents"));
        QCOMPARE(names, QStringList({"filler", "full.xls"}));
    }

    // A profile on the command line over the saved settings; 26 failing
    // queries: "do not show again" silences the rest, the list shows 20
    // and says how many more there were; a long line wraps.
    void profile_and_error_list() {
        start();
        QVERIFY(to_tables(demo_, path("saved.xls")));
        stop();  // saved: service, user, password, destination

        const QString profile = path("bad.tsl");
        QString text = "[Generic settings]\ndest=" + path("bad.xls") +
                       "\n\n[MS Excel settings]\nformat version=0\n\n[Selected Tables]\nDEPT\n";
        text += "A" + QString(300, 'X') + "=SELECT * FROM NO_TABLE\n";
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
        QVERIFY(next());
        QVERIFY(next());  // connects with the saved settings
        QCOMPARE(w().currentId(), int(kSelFilePage));
        QCOMPARE(find<QLineEdit>("dest")->text(), path("bad.xls"));
        QVERIFY(next());
        QCOMPARE(w().currentId(), int(kSelTablesPage));
        QCOMPARE(entries("selected").size(), 27);
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
        QVERIFY(QString::fromStdU16String(errors[1]).startsWith("B01: "));
        auto* list = find<QPlainTextEdit>("errors");
        QStringList lines = list->toPlainText().split('\n');
        QCOMPARE(lines.size(), 21);
        QCOMPARE(lines.last(), QString("6 more errors were not shown."));
        QTRY_VERIFY(list->document()->firstBlock().layout()->lineCount() > 1);
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

    // Back and Next across every page keep what was entered, the selection
    // too (a new connection keeps the part the new source still has); Add
    // all, Remove and Remove all move entries, queries included.
    void back_and_next() {
        const QString fewer = path("fewer.db");
        QFile::remove(fewer);
        QVERIFY(QFile::copy(demo_, fewer));
        QCOMPARE(
            run_cmd("sqlite3 '" + fewer + "' 'DROP VIEW IF EXISTS EMP_DEPT; DROP TABLE DEPT;'"),
            QString());
        start();
        QVERIFY(to_tables(demo_, path("back.xls")));
        const QStringList tables = entries("available");
        find<QPushButton>("add_all")->click();
        QCOMPARE(entries("selected"), tables);
        QVERIFY(entries("available").isEmpty());
        find<QListWidget>("selected")->findItems("EMP", Qt::MatchExactly)[0]->setSelected(true);
        find<QPushButton>("remove")->click();
        QCOMPARE(entries("available"), QStringList{"EMP"});
        script_->dialogs.push_back(fill_query("Q_RICH", "SELECT ENAME FROM EMP WHERE SAL > 2500"));
        find<QPushButton>("add_query")->click();
        const QStringList chosen = entries("selected");
        QVERIFY(chosen.contains("Q_RICH"));
        QVERIFY(click(QWizard::BackButton));
        QCOMPARE(find<QLineEdit>("dest")->text(), path("back.xls"));
        QVERIFY(click(QWizard::BackButton));
        QCOMPARE(find<QLineEdit>("service")->text(), "file:" + demo_);
        QVERIFY(click(QWizard::BackButton));
        QCOMPARE(w().currentId(), int(kWelcomePage));
        QVERIFY(!click(QWizard::BackButton));
        for (int page : {kOraSettingsPage, kSelFilePage, kSelTablesPage}) {
            QVERIFY(next());
            QCOMPARE(w().currentId(), page);
        }
        QCOMPARE(entries("selected"), chosen);
        QCOMPARE(entries("available"), QStringList{"EMP"});
        find<QPushButton>("remove_all")->click();
        QVERIFY(entries("selected").isEmpty());
        QCOMPARE(entries("available").size(), tables.size() + 1);
        find<QPushButton>("add_all")->click();
        QVERIFY(click(QWizard::BackButton));
        QVERIFY(click(QWizard::BackButton));
        find<QLineEdit>("service")->setText("file:" + fewer);
        QVERIFY(next());
        QVERIFY(next());
        QCOMPARE(w().currentId(), int(kSelTablesPage));
        QVERIFY(entries("selected").contains("EMP"));
        QVERIFY(entries("selected").contains("Q_RICH"));
        QVERIFY(!entries("selected").contains("DEPT"));
        QVERIFY(!entries("available").contains("DEPT"));
    }

    // Save Settings and Load Settings say what failed, naming the file and
    // the reason; every profile the wizard saves loads again (a query of
    // 2,048 characters under a name of 2,048 characters).
    void settings_files() {
        start();
        QVERIFY(to_tables(demo_, path("s.xls")));
        const QString name(2048, 'N');
        QString sql = "SELECT 1 FROM DEPT WHERE '";
        sql += QString(2048 - sql.size() - 7, 'x') + "' <> ''";
        script_->dialogs.push_back(fill_query(name, sql));
        find<QPushButton>("add_query")->click();
        find<QPushButton>("remove_all")->click();  // a known query, not converted
        select({"DEPT"});
        QVERIFY(convert());
        const QString nowhere = path("no/such/folder/s.tsl");
        script_->files = {nowhere};
        find<QPushButton>("save_settings")->click();
        QCOMPARE(script_->boxes.size(), size_t(1));
        QCOMPARE(script_->boxes.back().kind, box_kind::error);
        QCOMPARE(script_->texts().last(),
                 "The profile " + nowhere + " cannot be saved: No such file or directory.");
        const QString saved = path("s.tsl");
        script_->files = {saved};
        find<QPushButton>("save_settings")->click();
        QCOMPARE(script_->boxes.size(), size_t(1));
        QVERIFY(read_all(saved).contains("\n" + (name + "=" + sql).toLatin1() + "\n"));
        QVERIFY(next());
        stop();

        start();
        script_->files = {saved};
        find<QPushButton>("load_settings")->click();
        QVERIFY(script_->boxes.empty());
        QCOMPARE(QString::fromStdU16String(
                     app_->converter().available_queries.at(name.toStdU16String())),
                 sql);
        // A line far longer than any the wizard writes still loads.
        write_file(path("huge.tsl"),
                   "[Generic settings]\ndest=/tmp/" + QByteArray(70000, 'v') + ".xls\n");
        script_->files = {demo_, path("huge.tsl")};
        find<QPushButton>("load_settings")->click();
        find<QPushButton>("load_settings")->click();
        QCOMPARE(script_->boxes.size(), size_t(1));
        QVERIFY(
            script_->texts()[0].startsWith("The profile " + demo_ + " cannot be loaded: line "));
        QCOMPARE(app_->converter().dest.size(), size_t(70000 + 9));
    }

    // Every option and the format version reach the settings and the
    // workbook, and come back at the next start. "Open on exit" unchecked:
    // Finish opens nothing.
    void options_reach_workbook() {
        start();
        const QString book = path("opts.xls");
        QVERIFY(next());
        connect_to(big_);
        QVERIFY(next());
        find<QLineEdit>("dest")->setText(book);
        QVERIFY(!find<QCheckBox>("dates_to_strings")->isChecked());
        QVERIFY(find<QCheckBox>("wrap_text")->isChecked());
        QVERIFY(!find<QCheckBox>("split_data")->isChecked());
        find<QComboBox>("format")->setCurrentIndex(0);
        find<QCheckBox>("wrap_text")->click();
        find<QCheckBox>("split_data")->click();
        QVERIFY(next());
        tessal_convertor& conv = app_->converter();
        QCOMPARE(conv.format_version, 0);
        QVERIFY(!conv.wrap_text() && conv.split_data && !conv.dates_to_strings);
        select({"BIG"});
        QVERIFY(convert());
        // Excel 5.0: dates as text, no wrapping, rows past a worksheet's
        // capacity in the continuation file, which the page names.
        const QString part = path("opts(1).xls");
        QCOMPARE(xlrd(book,
                      "b.biff_version in (50, 70), s.cell_type(1, 1), "
                      "b.xf_list[s.cell_xf_index(1, 2)].alignment.text_wrapped"),
                 QString("True 1 0"));
        const QString result = find<QLabel>("result")->text();
        QRegularExpression counts("holds 1 worksheet with (\\d+) records");
        auto it = counts.globalMatch(result);
        QStringList numbers;
        while (it.hasNext()) numbers << it.next().captured(1);
        QCOMPARE(numbers, QStringList({xlrd(book, "s.nrows - 1"), xlrd(part, "s.nrows - 1")}));
        QCOMPARE(numbers[0].toInt() + numbers[1].toInt(), 20000);
        QVERIFY(result.contains("The continuation file " + part + " holds"));
        find<QCheckBox>("open_on_exit")->click();
        QVERIFY(next());
        QVERIFY(script_->opened.empty());
        stop();

        start();
        QVERIFY(next());
        QVERIFY(next());
        QCOMPARE(find<QComboBox>("format")->currentIndex(), 0);
        QVERIFY(!find<QCheckBox>("wrap_text")->isChecked());
        QVERIFY(find<QCheckBox>("split_data")->isChecked());
        const QString book2 = path("opts2.xls");
        find<QLineEdit>("dest")->setText(book2);
        find<QComboBox>("format")->setCurrentIndex(1);
        for (const char* box : {"dates_to_strings", "wrap_text", "split_data"})
            find<QCheckBox>(box)->click();
        QVERIFY(next());
        tessal_convertor& again = app_->converter();
        QCOMPARE(again.format_version, 1);
        QVERIFY(again.wrap_text() && !again.split_data && again.dates_to_strings);
        select({"BIG"});
        QVERIFY(convert());
        QCOMPARE(xlrd(book2,
                      "b.biff_version, s.cell_type(1, 1), "
                      "b.xf_list[s.cell_xf_index(1, 2)].alignment.text_wrapped, s.nrows"),
                 QString("80 1 1 20001"));
    }

    // The direct form: address and port, enabled only with "IP address:",
    // reach the settings; the logon goes to the Oracle client, whose
    // refusal keeps the page.
    void direct_logon() {
        start();
        QVERIFY(next());
        auto* port = find<QLineEdit>("port");
        QVERIFY(!port->isEnabled());
        find<QRadioButton>("by_address")->click();
        QVERIFY(port->isEnabled() && find<QLineEdit>("host")->isEnabled());
        find<QLineEdit>("host")->setText("db.example");
        port->setText("1522");
        find<QLineEdit>("user")->setText("scott");
        find<QLineEdit>("password")->setText("tiger");
        QVERIFY(next());
        QCOMPARE(w().currentId(), int(kOraSettingsPage));
        QCOMPARE(script_->boxes.size(), size_t(1));
        QCOMPARE(script_->boxes.back().kind, box_kind::error);
        const oracle_converter_impl& ora = app_->converter().oracle;
        QVERIFY(!ora.use_tns);
        QCOMPARE(QString::fromStdU16String(ora.host), QString("db.example"));
        QCOMPARE(QString::fromStdU16String(ora.port), QString("1522"));
        find<QRadioButton>("by_service")->click();
        QVERIFY(!port->isEnabled());
    }

    // A table, then a query: while the query's records go (the run waits
    // at its refused record 10000) the bar and the status follow them, with
    // no format step. Cancel asks whether to abort (No goes on); the close
    // box asks too, and Yes aborts: the wizard closes once the worker has
    // ended, the old workbook as it was.
    void run_status_and_cancel() {
        const QString book = path("status.xls");
        write_file(book, "old contents");
        start();
        script_->answers = {true};
        QVERIFY(to_tables(big_, book));
        select({"BASE"});
        script_->dialogs.push_back(fill_query("Q_DATES", "SELECT ID, D FROM BIG"));
        find<QPushButton>("add_query")->click();
        QString status, records, asked;
        int bar = -1;
        bool cancel = false;
        script_->dialogs.push_back([&](QDialog& d) {
            QTest::qWait(3 * wizard_shell::kTimerPeriodMs);  // the page follows the run
            status = find<QLabel>("status")->text();
            records = find<QLabel>("records")->text();
            bar = find<QProgressBar>("progress")->value();
            cancel = click(QWizard::CancelButton);  // answered No
            script_->answers = {true};
            w().close();
            asked = script_->texts().last();
            return press(d, "continue");
        });
        QVERIFY(next());
        QCOMPARE(w().currentId(), int(kProgressPage));
        QTRY_VERIFY_WITH_TIMEOUT(!w().isVisible(), 30000);
        QCOMPARE(status, QString("Processing table 'Q_DATES'"));
        QCOMPARE(records, QString("9999 of 20000 records"));
        QCOMPARE(bar, 50 + 9999 * 100 / 20000 / 2);
        QVERIFY(cancel);
        QCOMPARE(script_->boxes.size(), size_t(3));  // the overwrite question and two more
        QCOMPARE(asked, QString("Do you want to abort the conversion? The destination is left as "
                                "it was."));
        QVERIFY(script_->boxes.back().default_no);
        QVERIFY(app_->converter().aborted);
        QCOMPARE(read_all(book), QByteArray("old contents"));
    }

    // The wizard destroyed while a run goes on (as the program's end or a
    // test's cleanup does it): the run is stopped first, its questions are
    // not shown, and the old workbook stays as it was, nothing left beside.
    void destroyed_during_run() {
        const QString book = path("gone.xls");
        write_file(book, "old contents");
        start();
        script_->answers = {true};
        QVERIFY(to_tables(big_, book));
        script_->dialogs.push_back(fill_query("Q_DATES", "SELECT ID, D FROM BIG"));
        find<QPushButton>("add_query")->click();
        QVERIFY(next());
        QCOMPARE(w().currentId(), int(kProgressPage));
        stop();  // the run asks at record 10000 of its query
        QCOMPARE(read_all(book), QByteArray("old contents"));
        QCOMPARE(QDir(dir_.path()).entryList({".gone*", "gone*"}, QDir::Files | QDir::Hidden),
                 QStringList{"gone.xls"});
    }

    // A record the reader refuses is reported through the wizard ("table,
    // record #n: ..."); Continue goes on. The completion page lists it and
    // names the workbook; Escape there acts as Finish.
    void refused_record() {
        const QString db = path("refuse.db");
        QFile::remove(db);
        QCOMPARE(run_cmd("sqlite3 '" + db +
                         "' \"CREATE TABLE R(ID NUMBER(4), D DATE); INSERT INTO R VALUES "
                         "(1, '2001-01-01 00:00:00'), (2, 'no date'), (3, '2002-02-02 "
                         "00:00:00');\""),
                 QString());
        start();
        const QString book = path("refuse.xls");
        QVERIFY(to_tables(db, book));
        select({"R"});
        QString asked;
        script_->dialogs.push_back([&](QDialog& d) {
            asked = d.findChild<QLabel*>("message")->text();
            return press(d, "continue");
        });
        QVERIFY(convert());
        QVERIFY(asked.startsWith("R, record #2: "));
        QCOMPARE(find<QPlainTextEdit>("errors")->toPlainText(), asked);
        const QString result = find<QLabel>("result")->text();
        QVERIFY(result.startsWith("There were some errors"));
        QVERIFY(result.endsWith("The workbook " + book + " holds 1 worksheet with 2 records."));
        QCOMPARE(xlrd(book, "[s.cell_value(r, 0) for r in range(1, s.nrows)]"),
                 QString("[1.0, 3.0]"));
        QVERIFY(find<QCheckBox>("open_on_exit")->isChecked());
        QTest::keyClick(&w(), Qt::Key_Escape);
        QVERIFY(!w().isVisible());
        QCOMPARE(script_->opened, std::vector<QUrl>{QUrl::fromLocalFile(book)});
    }

    // Help on every page and in the query dialog opens the manual's page;
    // when no application opens a file, the wizard says so and names it
    // (Help, and Open on exit).
    void help_everywhere() {
        start();
        QStringList pages;
        for (int page : {kWelcomePage, kOraSettingsPage, kSelFilePage, kSelTablesPage}) {
            if (page == kOraSettingsPage)
                QVERIFY(next());
            if (page == kSelFilePage) {
                connect_to(demo_);
                QVERIFY(next());
                find<QLineEdit>("dest")->setText(path("manual.xls"));
            }
            if (page == kSelTablesPage)
                QVERIFY(next());
            QCOMPARE(w().currentId(), page);
            QVERIFY(click(QWizard::HelpButton));
            pages << script_->opened.back().fileName();
        }
        script_->dialogs.push_back([&](QDialog& d) {
            press(d, "help");
            return press(d, "cancel");
        });
        find<QPushButton>("add_query")->click();
        pages << script_->opened.back().fileName();
        QCOMPARE(pages, QStringList({"index.html", "index.html", "index.html", "selection.html",
                                     "index.html"}));
        QVERIFY(script_->boxes.empty());
        script_->can_open = false;
        QVERIFY(click(QWizard::HelpButton));
        QCOMPARE(script_->texts().last(), "No application was found to open " +
                                              app_->shell().help_folder() + "/selection.html.");
        select({"DEPT"});
        QVERIFY(convert());
        QVERIFY(next());
        QCOMPARE(script_->texts().last(),
                 "No application was found to open " + path("manual.xls") + ".");
    }

    // Every page from the keyboard alone: Enter is Next (also on the
    // welcome page), no two controls share a mnemonic, the first focus of
    // step 1 is the chosen form, Tab leaves the "Query:" box, and a query
    // is edited with "Edit Query".
    void keyboard_only() {
        start();
        QVERIFY(activate(w()));
        QCOMPARE(shared_mnemonics(), QStringList());
        key(Qt::Key_Return);
        QCOMPARE(w().currentId(), int(kOraSettingsPage));
        QCOMPARE(QApplication::focusWidget(), find<QWidget>("by_service"));
        QCOMPARE(shared_mnemonics(), QStringList());
        key(Qt::Key_Tab);
        type("file:" + demo_);
        alt(Qt::Key_U);
        type("scott");
        alt(Qt::Key_P);
        type("tiger");
        key(Qt::Key_Return);
        QCOMPARE(w().currentId(), int(kSelFilePage));
        QVERIFY(activate(w()));  // back from the connecting dialog
        QCOMPARE(shared_mnemonics(), QStringList());
        alt(Qt::Key_E);
        key(Qt::Key_A, Qt::ControlModifier);
        type(path("keys.xls"));
        alt(Qt::Key_F);
        key(Qt::Key_Up);  // Excel 5.0
        alt(Qt::Key_W);
        key(Qt::Key_Return);
        QCOMPARE(w().currentId(), int(kSelTablesPage));
        QCOMPARE(app_->converter().format_version, 0);
        QVERIFY(!app_->converter().wrap_text());
        QCOMPARE(shared_mnemonics(), QStringList());
        alt(Qt::Key_A);
        type("DEPT");
        alt(Qt::Key_D);
        QCOMPARE(entries("selected"), QStringList{"DEPT"});
        QString typed;
        script_->dialogs.push_back([&](QDialog& d) {
            d.show();
            if (!activate(d))
                return -1;
            type("Q_KEYS");
            key(Qt::Key_Tab);
            type("SELECT LOC FROM DEPT");
            key(Qt::Key_Tab);  // on to the buttons
            typed = d.findChild<QPlainTextEdit*>("query_text")->toPlainText();
            key(Qt::Key_Return);
            return d.result();
        });
        alt(Qt::Key_Q);
        QCOMPARE(typed, QString("SELECT LOC FROM DEPT"));
        QCOMPARE(entries("selected"), QStringList({"DEPT", "Q_KEYS"}));
        QVERIFY(activate(w()));
        script_->dialogs.push_back([&](QDialog& d) {
            d.show();
            if (!activate(d))
                return -1;
            key(Qt::Key_End);
            type("2");
            key(Qt::Key_Return);
            return d.result();
        });
        alt(Qt::Key_E);
        QCOMPARE(entries("selected"), QStringList({"DEPT", "Q_KEYS2"}));
        QVERIFY(activate(w()));
        key(Qt::Key_Return);
        QVERIFY(QTest::qWaitFor([&] { return w().currentId() == kFinishPage; }, 120000));
        QCOMPARE(shared_mnemonics(), QStringList());
        QVERIFY(find<QCheckBox>("open_on_exit")->isChecked());
        alt(Qt::Key_O);
        key(Qt::Key_Return);
        QVERIFY(!w().isVisible());
        QVERIFY(script_->opened.empty());
        QCOMPARE(check_book(path("keys.xls"),
                            {"DEPT=SELECT * FROM DEPT", "Q_KEYS2=SELECT LOC FROM DEPT"}),
                 QString("OK"));
    }

    // Without a display the program says so in its own words and exits -1.
    void no_display() {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert("XDG_CONFIG_HOME", config_);
        QProcess tessal;
        tessal.setProcessEnvironment(env);
        tessal.start(TSL_TESSAL, QStringList());
        QVERIFY(tessal.waitForFinished(60000));
        QCOMPARE(tessal.exitStatus(), QProcess::NormalExit);
        QCOMPARE(tessal.exitCode(), 255);
        QVERIFY(tessal.readAllStandardError().contains("Failed to initialize GUI library\n"));
    }

    // The bar: items done (queries included) and the current item's
    // records, in whole percent; every item done is the last phase; records
    // the source did not count (or more than it counted) make a busy bar.
    void progress_arithmetic() {
        QCOMPARE(read_progress(0, 0, 0, 0).percent, 0u);
        QCOMPARE(read_progress(4, 1, 200, 50).percent, 25u + 6u);
        QVERIFY(!read_progress(4, 1, 200, 50).busy);
        QVERIFY(read_progress(3, 3, 0, 0).final_phase);
        QVERIFY(!read_progress(3, 2, 10, 10).final_phase);
        QVERIFY(read_progress(2, 0, 0, 5).busy);
        QVERIFY(read_progress(2, 1, 10, 11).busy);
        QCOMPARE(read_progress(2, 1, 10, 11).percent, 50u);
        QCOMPARE(final_phase_position(0), 0);
        QVERIFY(final_phase_position(10) == 50);
        QVERIFY(final_phase_position(100000) < 100);
    }

    // A conversion in the wizard's process under a German locale (decimal
    // comma in the C library): numbers, dates and the widest numbers come
    // out as under any other locale.
    void german_locale() {
        const QString db = path("de.db");
        QFile::remove(db);
        QCOMPARE(run_cmd("sqlite3 '" + db +
                         "' \"CREATE TABLE M(AMOUNT NUMBER(10,2), RATIO BINARY_DOUBLE, ID "
                         "NUMBER(19), AT TIMESTAMP); INSERT INTO M VALUES(1234.5, 0.25, "
                         "1234567890123456789, '2021-02-04 13:20:22.245');\""),
                 QString());
        de_locale german;
        if (!german.ok())
            QSKIP("no de_DE locale");
        char probe[8];
        std::snprintf(probe, sizeof probe, "%.1f", 0.5);
        QCOMPARE(QString(probe), QString("0,5"));
        start();
        QVERIFY(next());
        connect_to(db);
        QVERIFY(next());
        const QString book = path("de.xls");
        find<QLineEdit>("dest")->setText(book);
        find<QComboBox>("format")->setCurrentIndex(1);
        QVERIFY(next());
        QCOMPARE(w().currentId(), int(kSelTablesPage));
        select({"M"});
        QVERIFY(convert());
        QVERIFY(app_->shell().errors().empty());
        // The completion page tells how the long number was kept (no error).
        QVERIFY2(find<QLabel>("result")->text().contains(
                     "M: Column ID: 1 value with more than 15 significant digits was written as "
                     "text to keep every digit."),
                 qPrintable(find<QLabel>("result")->text()));
        const QString dump =
            run_cmd("/usr/bin/python3 " TSL_SOURCE_DIR "/tests/support/xls_dump.py '" + book + "'");
        QVERIFY2(dump.contains("[[\"number\", 1234.5], [\"number\", 0.25], [\"text\", "
                               "\"1234567890123456789\"], [\"date\", [2021, 2, 4, 13, 20, 22]]]"),
                 qPrintable(dump));
        QVERIFY2(dump.contains("\"format\": \"yyyy-mm-dd hh:mm:ss.000\""), qPrintable(dump));
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
    quiet_offscreen_notes();
    QApplication app(argc, argv);
    wizard_test test;
    return QTest::qExec(&test, argc, argv);
}

#include "tsl_wizard_test.moc"
