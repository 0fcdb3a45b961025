#include "agent/ag_main.h"

#include "TK/tk_cpage.h"
#include "TK/tk_excep.h"
#include "TK/tk_log.h"
#include "agent/ag_cmdln.h"
#include "agent/ag_front.h"
#include "core/cnv_dest.h"
#include "core/cnv_guard.h"
#include "core/cnv_sig.h"
#include "core/con_out.h"
#include "core/err_hand.h"
#include "core/err_maps.h"
#include "core/tsl_conv.h"

int agent_main(int argc, char** argv, std::unique_ptr<xls_destination> destination) {
    // Created disabled: a profile's "logfile" turns tracing on.
    tk_log log;
    log.set_threshold(1);
    log.set_line_end(true);
    log.set_timestamps(true);
    console_error_view view;
    try {
        error_handler handler(view, kDaoErrMapSize, kDaoErrMap);
        load_err_maps(handler);
        try {
            agent_front front;
            tessal_convertor conv(front, converter_defaults::agent, std::move(destination));
            if (argc <= 1 || !parse_cmd_line(argc, argv)) {
                con_err(agent_usage());
                return -1;
            }
            // Ctrl-C and SIGTERM end the run the way an abort does, so it
            // leaves the destination as it was and nothing behind.
            signal_stop stop(conv);
            try {
                // An unknown TSL_CODEPAGE is refused before anything runs.
                tk_ansi_codepage();
            } catch (const tk_exception& e) {
                handler.handle(e, false);
                return -1;
            }
            // A trace log file that must not be written is refused first (the
            // log may have made a file at the destination's name).
            const bool log_refused = conv.check_trace_log();
            // A destination no run may write is refused before anything is
            // read, and so is an existing file that is not a workbook: the
            // agent asks no question before replacing a file.
            for (const std::string& why :
                 {destination_refusal(conv.dest, conv.oracle.source_file(), conv.format_version),
                  foreign_destination(conv.dest, conv.format_version)}) {
                if (!why.empty()) {
                    handler.handle(tk_exception(why, 1), false);
                    return -1;
                }
            }
            try {
                conv.oracle.connect_oracle_server();
            } catch (const tk_exception& e) {
                // Nothing can be converted without a connection: report it
                // and say so in the exit status.
                handler.handle(e, false);
                return -1;
            }
            conv();
            if (stop.caught()) {
                // A signal that came after the files were published found
                // nothing left to stop.
                con_err(conv.completed ? "The conversion was interrupted after it had ended."
                                       : "The conversion was interrupted; the destination is "
                                         "left as it was.");
                stop.resend();
                return -1;
            }
            return conv.anything_reported() || log_refused ? 1 : 0;
        } catch (const tk_exception& e) {
            handler.handle(e, false);
        }
        return 1;
    } catch (const tsl_exit_request& request) {
        return request.status;
    } catch (const tk_final_exception&) {
        return -1;
    } catch (const std::exception& e) {
        con_err(e.what());
        return -1;
    }
}
