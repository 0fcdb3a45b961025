// The program's converter: the end of the converter chain, with the Oracle
// settings holder, the last used settings of the wizard and the entry point
// of a run (the call operator).
//
// Exactly one tessal_convertor exists per process (tk_singleton); every
// other part reaches it through tessal_convertor::instance(). It borrows
// the front end, which must outlive it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "TK/tk_singl.h"
#include "core/ora_conv.h"
#include "core/xls_conv.h"

// The bracket of one run: traces its start and end with the local time,
// tells the front end, and sets the run's finished flag on every way out.
class init_conversion {
  public:
    // `com_initialized` is kept for the run's bracket contract; on this
    // platform there is no COM to initialise.
    init_conversion(std::atomic<bool>* finished, bool com_initialized, conversion_front& front);
    ~init_conversion();
    init_conversion(const init_conversion&) = delete;
    init_conversion& operator=(const init_conversion&) = delete;

  private:
    std::atomic<bool>* finished_;
    bool com_initialized_;
    conversion_front& front_;
};

// Which program's settings a converter starts with.
enum class converter_defaults {
    wizard,  // the registry's last used settings (wizard defaults first); stored again at the end
    agent,   // format version -1 (not given), every flag off; no registry
};

class tessal_convertor : public xls_converter, public tk_singleton<tessal_convertor> {
  public:
    using tk_singleton<tessal_convertor>::instance;

    // `destination`: the workbook side (make_workbook_destination() in the
    // programs, doubles in tests).
    tessal_convertor(conversion_front& front, converter_defaults defaults,
                     std::unique_ptr<xls_destination> destination);
    ~tessal_convertor() override;

    bool open_on_exit = false;
    oracle_converter_impl oracle;

    // Runs one conversion from the connected source database. Never lets an
    // exception of the toolkit's family escape: failures are reported by the
    // error handler, an abort ends the run quietly.
    void operator()();
    // The wizard's worker thread runs the conversion through this.
    void run() override { (*this)(); }

    // Replaces `list` with the source database's table names.
    void get_all_tables(std::vector<std::u16string>& list);

    // Loads a profile file and applies it (generic and selection keys,
    // workbook settings, Oracle settings). False when the file cannot be
    // read or is not a profile (`why`, when given, says which); a missing
    // file and a bad log file name throw level-1 tk_exceptions.
    bool load_profile(const std::u16string& path, std::string* why = nullptr);
    // Writes the settings as a profile file (owner-only when it holds a
    // password). False when it cannot be written (`why`, when given, says why).
    bool store_profile(const std::u16string& path, std::string* why = nullptr);

    // Loads (store false) or stores the wizard's last used settings. False
    // when the settings key cannot be opened or a value was not transferred.
    bool serialize(bool store);

  protected:
    std::string source_file() const override { return oracle.source_file(); }
    // A stop request interrupts the query the source is running.
    void stop_hook() noexcept override { oracle.engine().interrupt(); }

  private:
    converter_defaults defaults_;
};
