// tessal: the conversion wizard. Leads through connecting to Oracle,
// choosing the destination workbook and its options, selecting tables and
// queries, and the conversion itself. An optional argument names a profile
// to load over the last used settings.
#include <QApplication>
#include <QMessageBox>
#include <QVersionNumber>

#include "TK/tk_log.h"
#include "core/dao_dest.h"
#include "wizard/tsl_app.h"
#include "wizard/tsl_shel.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
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
