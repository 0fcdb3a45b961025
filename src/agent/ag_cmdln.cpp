#include "agent/ag_cmdln.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "TK/tk_fname.h"
#include "TK/tk_log.h"
#include "TK/tk_utf.h"
#include "agent/ag_tabf.h"
#include "core/con_out.h"
#include "core/tsl_conv.h"

namespace {

enum option_id {
    opt_date2str = 0,
    opt_dest = 1,
    opt_direct = 2,
    opt_help = 3,
    opt_src = 4,
    opt_port = 5,
    opt_profile = 6,
    opt_pswd = 7,
    opt_split = 8,
    opt_tab_file = 9,
    opt_user = 10,
    opt_wrap = 11,
    opt_xls_ver = 12,
};

constexpr int kMajorVersion = 3;
constexpr int kMinorVersion = 3;

// The decimal number at the start of `text` (after blanks, with a sign), 0
// when there is none; out of range values stay out of range.
int32_t read_number(const std::string& text) {
    errno = 0;
    long v = std::strtol(text.c_str(), nullptr, 10);
    if (v > INT32_MAX)
        return INT32_MAX;
    if (v < INT32_MIN)
        return INT32_MIN;
    return static_cast<int32_t>(v);
}

}  // namespace

const tk_cmdli_option kAgentOptions[] = {
    {opt_date2str, "--date2str"}, {opt_dest, "--dest="},
    {opt_direct, "--direct"},     {opt_help, "--help"},
    {opt_port, "--port="},        {opt_profile, "--profile="},
    {opt_pswd, "--pswd="},        {opt_split, "--split"},
    {opt_src, "--src="},          {opt_tab_file, "--tab_file="},
    {opt_user, "--user="},        {opt_wrap, "--wrap"},
    {opt_xls_ver, "--xls_ver="},  {-1, ""},
};

const std::string& agent_usage() {
    static const std::string text =
        "TSLAGENT v" + std::to_string(kMajorVersion) + "." + std::to_string(kMinorVersion) +
        " Copyright (C) Brannock. Converts Oracle tables into MS Excel spreadsheets.\n"
        "Usage: TSLAGENT.EXE OPTIONS\n"
        "\n"
        "   --date2str     convert dates into strings\n"
        "   --dest=...     MS Excel spreadsheet name\n"
        "   --direct       connect to Oracle server via IP + port\n"
        "                  (in direct mode)\n"
        "   --help         display this help message and exit\n"
        "   --port=...     Oracle port (for direct mode only)\n"
        "   --profile=...  path to the file to load conversion settings from\n"
        "   --pswd=...     Oracle user password\n"
        "   --split        split data into multiple spreadsheets if necessary\n"
        "   --src=...      Oracle database name or IP address of Oracle server\n"
        "   --tab_file=... file containing the list of tables to convert\n"
        "                  (one table name per line)\n"
        "   --user=...     Oracle user name\n"
        "   --wrap         wrap text into multiple lines in a cell\n"
        "   --xls_ver=...  format version for the destination MS Excel spreadsheet\n"
        "                  (0 - MS Excel 5.0, 1 - MS Excel 2000, 2 - MS Excel 2007 (XLSX))\n"
        "\n"
        "NOTES:\n"
        "   1) Command line parameters that contain spaces should be enclosed in\n"
        "      quotes (for example --dest=&quot;c:\\my documents\\sheet 1.xls&quot;)\n"
        "   2) If you omit 'tab_file' parameter, all database tables will be converted.\n"
        "   3) The default mode is 'overwrite'. You can change it using\n"
        "      '--mode' parameter";
    return text;
}

bool parse_cmd_line(int argc, char** argv) {
    tk_trace(2, "parse_cmd_line");

    tessal_convertor& conv = tessal_convertor::instance();
    std::u16string source;  // service name, or host with --direct
    std::u16string user;
    std::u16string password;
    std::u16string port = u"1521";
    bool direct = false;
    bool profile_loaded = false;

    tk_cmdli args(argc, argv, kAgentOptions);
    for (; args.has_current(); args.next()) {
        int id = args.option_id();
        // The password's value never reaches the log.
        tk_trace(2, "parameter #%d: %s", args.index(),
                 id == opt_pswd ? "--pswd=***" : args.argument());
        if (id == tk_cmdli::kUnrecognised)
            continue;
        std::string raw = args.value();
        if (!tk::is_valid_utf8(raw)) {
            con_err("Argument #" + std::to_string(args.index()) +
                    " is skipped: its value is not valid UTF-8 text.");
            continue;
        }
        std::u16string value = tk::utf8_to_utf16(raw);
        switch (id) {
            case opt_date2str:
                conv.dates_to_strings = true;
                tk_trace(2, "\tconvert dates into strings");
                break;
            case opt_dest:
                conv.dest = xls_converter::workbook_name(value);
                tk_wtrace(2, u"\tgot dest %s", conv.dest.c_str());
                break;
            case opt_direct:
                conv.oracle.use_tns = false;
                direct = true;
                break;
            case opt_help:
                con_fail(agent_usage());
            case opt_port:
                port = value;
                break;
            case opt_profile: {
                tk_wtrace(1, u"parse_cmd_line - got profile %s", value.c_str());
                std::string why;
                profile_loaded = conv.load_profile(value, &why);
                if (!profile_loaded)
                    con_fail("Profile cannot be loaded: " + why + ".");
                break;
            }
            case opt_pswd:
                password = value;
                break;
            case opt_split:
                conv.split_data = true;
                tk_trace(2, "\tsplit data into multiple files if necessary");
                break;
            case opt_src:
                source = value;
                break;
            case opt_tab_file:
                tk_trace(2, "\tparse_cmd_line - got tab_file %s", raw.c_str());
                process_tab_file(raw);
                break;
            case opt_user:
                user = value;
                break;
            case opt_wrap:
                conv.set_wrap_text(true);
                tk_trace(2, "\twrap text into multiple lines in a cell");
                break;
            case opt_xls_ver:
                conv.format_version = read_number(raw);
                tk_trace(2, "\tgot format version: %s", raw.c_str());
                break;
        }
    }
    if (!args.unrecognised().empty())
        return false;

    if (conv.dest.empty())
        con_fail("You should enter MS Excel spredsheet name");
    // A name the file system cannot hold (an option's or a profile's) is
    // refused here, with a message, rather than failing later inside a run.
    if (tk::utf16_to_utf8(conv.dest).size() >= PATH_MAX)
        con_fail("The MS Excel spreadsheet name is too long.");
    // Only 0, 1 and 2 name a format version.
    if (!xls_converter::is_format_version(conv.format_version)) {
        con_fail("You should specify MS Excel format version (use '--xls_ver' option)");
    }
    // The extension follows the version, whichever option came first.
    conv.dest = xls_converter::workbook_name(conv.dest, conv.format_version);
    // A workbook cannot be written into a folder that does not exist: say so
    // now instead of failing every item of the run and exiting as a success.
    if (!tk_is_path_exist(tk_file_wname(conv.dest.c_str()).folder().c_str())) {
        con_fail(
            "The folder of the MS Excel spreadsheet does not exist.\n"
            "Please verify the correct path was given.");
    }
    if (!profile_loaded) {
        if (source.empty())
            con_fail("You should enter Oracle database name");
        conv.src = source;
        if (direct) {
            conv.oracle.store_oracle_settings(source, user, password, port);
        } else {
            conv.oracle.store_oracle_settings(source, user, password);
        }
    } else {
        // A profile names its database with "src" (the agent's --src); it
        // keeps no service name, and a direct host only when one was set.
        std::u16string& target = direct ? conv.oracle.host : conv.oracle.service;
        if (target.empty())
            target = conv.src;
    }
    return true;
}
