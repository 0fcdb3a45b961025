#include "core/tsl_conv.h"

#include <ctime>

#include "TK/tk_excep.h"
#include "TK/tk_log.h"
#include "TK/tk_regk.h"
#include "UDB/udb_db.h"
#include "UDB/udb_prof.h"
#include "core/cnv_dest.h"
#include "core/cnv_front.h"
#include "core/err_hand.h"

namespace {
const char kSettingsKey[] = "Software\\Brannock\\Tessaline";

void trace_time(const char* format) {
    std::time_t now = std::time(nullptr);
    std::tm t{};
    localtime_r(&now, &t);
    tk_trace(3, format, t.tm_mday, t.tm_mon + 1, t.tm_year + 1900, t.tm_hour, t.tm_min, t.tm_sec);
}
}  // namespace

init_conversion::init_conversion(std::atomic<bool>* finished, bool com_initialized,
                                 conversion_front& front)
    : finished_(finished), com_initialized_(com_initialized), front_(front) {
    tk_trace(2, "init_conversion::ctor");
    trace_time("Conversion started on %02d/%02d/%04d at %02d:%02d:%02d\n");
    front_.run_started();
}

init_conversion::~init_conversion() {
    tk_trace(2, "init_conversion::dtor");
    trace_time("Conversion ended on %02d/%02d/%04d at %02d:%02d:%02d\n");
    *finished_ = true;
    front_.run_ended();
    (void)com_initialized_;
}

tessal_convertor::tessal_convertor(conversion_front& front, converter_defaults defaults,
                                   std::unique_ptr<xls_destination> destination)
    : xls_converter(std::move(destination), front), defaults_(defaults) {
    tk_trace(2, "tessal_convertor::ctor");
    if (defaults_ == converter_defaults::wizard) {
        // The wizard's defaults stand when the settings cannot be read.
        format_version = 1;
        open_on_exit = true;
        set_wrap_text(true);
        serialize(false);
    }
}

tessal_convertor::~tessal_convertor() {
    tk_trace(2, "tessal_convertor::dtor");
    if (defaults_ == converter_defaults::wizard)
        serialize(true);
}

void tessal_convertor::operator()() {
    tk_trace(2, "tessal_converter::operator()");
    // A run starts afresh: the flags and counters of an earlier run say "done".
    finished = false;
    completed = false;
    aborted = false;
    item_count = 0;
    tables_done = 0;
    start_reporting();
    try {
        init_conversion bracket(&finished, false, front());
        oracle.engine().running = true;
        // A stop asked of an earlier run interrupted its source; this run's
        // own stop requests are looked at from here on.
        oracle.engine().end_interrupt();
        if (front().convert_all_when_empty() && selected_tables.empty() && selected_items.empty()) {
            get_all_tables(selected_tables);
        }
        table_count = static_cast<int32_t>(selected_tables.size());
        tk_wtrace(3, u"Converting database %s (%d tables)", src.c_str(), table_count.load());
        front().database_started(src, table_count);
        udb_database* source = oracle.database();
        if (!source)
            throw tk_mail_assertion("tsl_conv", __LINE__);
        do_convert(*source);
    } catch (const tk_final_exception&) {
        // The user aborted; the report, if any, has been shown.
        aborted = true;
    } catch (const tk_exception& e) {
        error_handler::instance().handle(e, true);
    } catch (const std::exception& e) {
        tk_trace(3, "ERROR:\n%s", e.what());
        front().unexpected_error(e);
    }
}

void tessal_convertor::get_all_tables(std::vector<std::u16string>& list) {
    tk_trace(2, "tessal_convertor::get_all_tables");
    udb_database* source = oracle.database();
    if (!source)
        throw tk_mail_assertion("tsl_conv", 52);
    list = source->table_names();
}

bool tessal_convertor::load_profile(const std::u16string& path, std::string* why) {
    udb_profile profile;
    if (!profile.load(path)) {
        if (why)
            *why = profile.error_text();
        return false;
    }
    bool loaded = udb_converter::load_profile(profile) && load_workbook_settings(profile) &&
                  oracle.load_profile(profile);
    // A profile's destination is a workbook as the agent's --dest is.
    dest = workbook_name(dest, format_version);
    return loaded;
}

bool tessal_convertor::store_profile(const std::u16string& path, std::string* why) {
    udb_profile profile;
    if (!udb_converter::store_profile(profile) || !store_workbook_settings(profile) ||
        !oracle.store_profile(profile)) {
        return false;
    }
    return profile.store(path, !oracle.password.empty(), why);
}

bool tessal_convertor::serialize(bool store) {
    tk_trace(1, "serialize( %d )", store ? 1 : 0);
    tk_reg_key key(kSettingsKey);
    if (key.create(tk_hkey_current_user, kSettingsKey) != tk_reg_success)
        return false;
    bool wrap = wrap_text();
    if (!store) {
        dates_to_strings = false;
        format_version = 1;
        open_on_exit = true;
        split_data = false;
        wrap = true;
    }
    bool all = true;
    all &= key.exchange("dates to strings", dates_to_strings, store);
    all &= key.exchange("dest", dest, store);
    all &= key.exchange("engine", format_version, store);
    all &= key.exchange("open on exit", open_on_exit, store);
    all &= key.exchange("oracleh", oracle.service, store);
    all &= key.exchange("oraclep", oracle.password, store);
    all &= key.exchange("oracleu", oracle.user, store);
    all &= key.exchange("split", split_data, store);
    all &= key.exchange("wrap text", wrap, store);
    if (!store)
        set_wrap_text(wrap);
    return all;
}
