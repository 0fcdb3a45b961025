// The settings half of the converter chain: tk_converter holds the generic
// settings (source name, destination path, trace log file), udb_converter
// the selection of tables and queries, the progress of a run and the
// profile keys of both (sections "Generic settings", "Selected Tables" and
// "Available Queries").
//
// Settings are plain fields, changed by the front ends between runs. The
// progress fields are written by the converting thread only; the wizard's
// user-interface thread reads them while a run goes on, so they are atomics
// and the current item's name is handed out as a copy.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "TK/tk_threa.h"

class udb_profile;

// Profile sections and keys of the settings.
namespace tsl_keys {
inline constexpr char16_t kGeneric[] = u"Generic settings";
inline constexpr char16_t kSelected[] = u"Selected Tables";
inline constexpr char16_t kQueries[] = u"Available Queries";
inline constexpr char16_t kExcel[] = u"MS Excel settings";
inline constexpr char16_t kOracle[] = u"Oracle settings";
}  // namespace tsl_keys

class tk_converter : public tk_runnable {
  public:
    std::u16string src;   // database name shown in the log and the console
    std::u16string dest;  // full path of the destination workbook

    const std::string& logfile() const { return logfile_; }
    // Checks and keeps the trace log's file name; a non-empty name turns
    // tracing on when the program created the trace log object. A name in a
    // folder that does not exist, or naming a read-only file or a folder,
    // throws a level-1 tk_exception and keeps the old name.
    void set_logfile(const std::string& name);

  private:
    std::string logfile_;
};

class udb_converter : public tk_converter {
  public:
    // Name order of the selection: ordinal, by UTF-16 code unit.
    using item_map = std::map<std::u16string, std::u16string>;

    // Framework settings kept with profiles; no step of a conversion reads them.
    int32_t mode = 0;
    bool only_definitions = false;
    bool skip_indexes = false;

    // Everything to convert: a table has an empty query text, a user query
    // its SELECT text. `selected_tables` lists the plain tables chosen.
    item_map selected_items;
    std::vector<std::u16string> selected_tables;
    item_map available_queries;

    // Progress of a run.
    std::atomic<int32_t> record_count{0};
    std::atomic<int32_t> record_index{0};
    std::atomic<int32_t> table_count{0};
    std::atomic<int32_t> tables_done{0};
    std::atomic<bool> finished{false};
    std::atomic<bool> completed{false};  // the last run reached its end
    std::atomic<bool> aborted{false};    // the last run was stopped (Abort, a stop request)
    std::atomic<int32_t> item_count{0};  // items of the running conversion, queries included
    std::atomic<bool> patching{false};   // the formats are being applied
    std::u16string current_table() const;
    void set_current_table(const std::u16string& name);

    // Applies the generic, selection and query keys of a loaded profile.
    // Selections are added to what is selected. May throw set_logfile's
    // exceptions.
    bool load_profile(const udb_profile& profile);
    bool store_profile(udb_profile& profile) const;

  private:
    mutable std::mutex current_mutex_;
    std::u16string current_table_;
};
