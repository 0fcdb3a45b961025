#include "wizard/tsl_app.h"

#include <QPixmap>

#include "GUI2/g_finish.h"
#include "GUI2/g_wiz_sh.h"
#include "TK/tk_excep.h"
#include "TK/tk_utf.h"
#include "core/cnv_dest.h"
#include "core/err_maps.h"
#include "core/tsl_conv.h"
#include "wizard/tsl_file.h"
#include "wizard/tsl_ora.h"
#include "wizard/tsl_prog.h"
#include "wizard/tsl_tabs.h"
#include "wizard/tsl_welc.h"

namespace {
const QString kProfileExt = "tsl";

QPixmap artwork(const char* name) {
    return QPixmap(QString(":/tessal/") + name);
}
}  // namespace

// The artwork lives in this static library: register it before first use.
static void init_artwork() {
    Q_INIT_RESOURCE(tessal);
}

std::u16string tessal_title() {
    return tk_wformat(u"Tessaline %d.%d", 3, 3);
}

tessal_app::tessal_app(const QStringList& profile_args,
                       std::unique_ptr<xls_destination> destination,
                       std::unique_ptr<shell_prompter> prompter) {
    // Created disabled: a profile's "logfile" turns tracing on.
    log_.set_threshold(1);
    log_.set_line_end(true);
    log_.set_timestamps(true);
    handler_ = std::make_unique<error_handler>(view_, kDaoErrMapSize, kDaoErrMap);
    load_err_maps(*handler_);
    converter_ = std::make_unique<tessal_convertor>(front_, converter_defaults::wizard,
                                                    std::move(destination));
    init_artwork();
    QPixmap icon = artwork("tessal.svg");
    if (icon.isNull())
        icon = artwork("header.png");
    shell_ = std::make_unique<wizard_shell>(tessal_title(), icon, artwork("watermark.png"),
                                            artwork("header.png"), tessal_help_pages());
    if (prompter)
        shell_->set_prompter(std::move(prompter));
    // The shell exists before the profile is read so that a report about the
    // profile is shown as the wizard's own message.
    if (!profile_args.isEmpty())
        load_profile_file(*shell_, profile_args.join(' ').toStdU16String());
    wizard_shell& shell = *shell_;
    shell.add_page(kWelcomePage, new welcome_page(shell, kProfileExt));
    shell.add_page(kOraSettingsPage, new ora_settings_page(shell));
    shell.add_page(kSelFilePage, new sel_file_page(shell));
    shell.add_page(kSelTablesPage,
                   new sel_tables_page(shell, u"There are no tables selected. Continue anyway?"));
    shell.add_page(kProgressPage, new progress_page(shell));
    shell.add_page(kFinishPage, new finish_page(shell, kProfileExt));
    shell.sheet().setStartId(kWelcomePage);
}

tessal_app::~tessal_app() {
    shell_.reset();
    converter_.reset();
    handler_.reset();
}

int tessal_app::run() {
    try {
        return shell_->run(nullptr);
    } catch (const tk_exception& e) {
        handler_->handle(e, true);
    } catch (const std::exception& e) {
        shell_->error(tk::utf8_to_utf16(e.what()));
    }
    return -1;
}
