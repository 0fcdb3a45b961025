// Inside of jet_database, shared by its source files (jet_db.cpp: tables and
// sheets; jet_open.cpp: opening; jet_close.cpp: writing the workbook).
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "TK/tk_cpage.h"
#include "TK/tk_publ.h"
#include "jet/jet_db.h"
#include "jet/jet_gmodel.h"
#include "stg/stg_file.h"

struct jet_database::impl {
    std::string path;    // the target's name
    std::string folder;  // the path's folder: where spools go
    std::unique_ptr<tk::file_target> own_target;  // for a plain path
    tk::file_target* target = nullptr;
    int version = 1;
    bool read_only = false;
    bool is_new = true;
    bool dirty = false;
    bool closed = false;
    unsigned max_column_chars = jet_database::k_max_column_chars;
    std::unique_ptr<stg_file> file;      // the existing workbook, read on close
    std::unique_ptr<stg_stream> stream;  // its workbook stream
    jet_gmodel g;
    // BIFF5: the code page of the workbook's texts (its CODEPAGE record; for
    // a new workbook the process's ANSI code page).
    std::unique_ptr<tk_codepage> cp;

    struct sheet {
        jet_gsheet info;
        bool old = false;  // a sheet of the opened file
        bool deleted = false;
        std::unique_ptr<jet_table> table;
    };
    std::vector<sheet> sheets;  // workbook order

    // The next content of the file, made before close when the string
    // table goes straight into it (place_string_table); `early_sink` is its
    // sink, which the table's bytes are in.
    std::unique_ptr<tk::file_rewrite> early;
    const tk::sink* early_sink = nullptr;
    bool place_sst = true;  // off: the table is spooled apart and copied on close
    // Where the string table's bytes go once past the spool's memory: into
    // the new content of the file at the place the table will have there
    // (stg::kHeaderSize + the globals before it, as they stand now; close
    // moves them if the globals change). Nothing for BIFF5, read-only
    // workbooks, plain paths and targets that give no file.
    std::optional<stg_spool::place> place_string_table();

    bool biff8() const { return version == 1; }
    // The live sheet of that name (any type), or null.
    sheet* find(const std::u16string& name);
    void check_writable() const;
};

// Maps a failure of the layers below (compound file, file system, memory)
// to the engine's error for `path`; rethrows jet_error unchanged, and a
// tk_write_failure (the workbook cannot be written: the run ends on it, it
// is not one of the engine's errors about a row). Call inside a catch block.
[[noreturn]] void jet_rethrow_as_jet(const std::string& path);
