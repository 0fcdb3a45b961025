// tessal: the conversion wizard. Leads through connecting to Oracle,
// choosing the destination workbook and its options, selecting tables and
// queries, and the conversion itself. An optional argument names a profile
// to load over the last used settings.
#include <QApplication>
#include <QMessageBox>
#include <QVersionNumber>
#include <cstdio>
#include <cstdlib>

#include "TK/tk_log.h"
#include "core/dao_dest.h"
#include "wizard/tsl_app.h"
#include "wizard/tsl_shel.h"

namespace {

QtMessageHandler qt_messages = nullptr;
bool starting = true;

// Qt ends the process (status 134) when it finds no display to use; the
// program says so in its own words and ends as its other start-up failures.
void start_up_messages(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtFatalMsg && starting) {
        std::fputs("Failed to initialize GUI library\n", stderr);
        std::fflush(stderr);
        std::_Exit(-1);
    }
    if (qt_messages)
        qt_messages(type, context, text);
}

}  // namespace

int main(int argc, char** argv) {
    qt_messages = qInstallMessageHandler(start_up_messages);
    QApplication app(argc, argv);
    starting = false;
    app.setApplicationName("tessal");
    // The program needs at least the Qt it was built against.
    QVersionNumber running = QVersionNumber::fromString(qVersion());
    QVersionNumber built = QVersionNumber::fromString(TSL_QT_BUILD_VERSION);
    tk_trace(2, "Qt version=%s", qVersion());
    if (running < built) {
        QMessageBox::critical(nullptr, "Error",
                              QString("Incorrect version of the Qt library. Qt %1\nor later is "
                                      "required to proceed with the application.")
                                  .arg(TSL_QT_BUILD_VERSION));
        return -1;
    }
    install_desktop_delivery();
    try {
        tessal_app wizard(app.arguments().mid(1), make_workbook_destination());
        wizard.run();
    } catch (const std::exception& e) {
        QMessageBox::critical(nullptr, "Error", QString::fromUtf8(e.what()));
        return -1;
    }
    return 0;
}
