#include "agent/ag_tabf.h"

#include <cstdio>
#include <memory>

#include "TK/tk_fname.h"
#include "TK/tk_log.h"
#include "agent/ag_tabr.h"
#include "core/con_out.h"
#include "core/tsl_conv.h"

void process_tab_file(const std::string& path) {
    tk_trace(2, "process_tab_file(%s)", path.c_str());
    std::unique_ptr<FILE, int (*)(FILE*)> f(
        tk_is_file_exist(path.c_str()) ? std::fopen(path.c_str(), "rb") : nullptr, &std::fclose);
    if (!f) {
        con_fail(
            "Table names file does not exist.\nPlease verify the correct path/name was given.");
    }
    tab_names_reader reader;
    char buf[16384];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f.get())) > 0) reader.feed(buf, n);
    if (std::ferror(f.get())) {
        con_fail(
            "Table names file cannot be read.\nPlease verify the correct path/name was given.");
    }
    reader.finish();
    for (const std::string& note : reader.notes()) con_err(note);
    tessal_convertor::instance().selected_tables = std::move(reader.names());
}
