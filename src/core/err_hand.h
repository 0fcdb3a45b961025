// The one place where a failure becomes what the user sees.
//
// `error_handler` turns a toolkit exception into a report text (context,
// then the system's own message for the exception's number when a message
// map has one, else the exception's text), decides from the exception's
// level (its `code`) whether work goes on, and hands the text to the
// program's `error_view`: dialogs in the wizard, console lines in the agent
// (`console_error_view` below).
//
//   level 0  report; the run goes on unless the user aborts
//   level 1  report; the run stops (tk_final_exception), or the agent ends
//   level 2  internal error: report, then the process ends with -1
//
// One handler exists per process (tk_singleton); it is created before
// anything else that can fail and lives until the program ends. The view
// must outlive it.
#pragma once

#include <cstddef>
#include <string>

#include "TK/tk_errco.h"
#include "TK/tk_excep.h"
#include "TK/tk_singl.h"

// How one program shows reports. The texts are narrow (UTF-8).
class error_view {
  public:
    virtual ~error_view() = default;
    // A level-2 report. The handler ends the process right after.
    virtual void show_internal_error(const std::string& text) = 0;
    // Every level-0 and level-1 report (LF already flattened), shown or not.
    virtual void note_error(const std::string& text) { (void)text; }
    // A level-1 report.
    virtual void show_error(const std::string& text) = 0;
    // A level-0 report that asks nothing (the front asked its own question
    // before it); the base shows nothing beyond note_error.
    virtual void show_report(const std::string& text) { (void)text; }
    // A level-0 report: true to go on, false to abort. `dont_show_again`
    // receives the user's wish to see no more reports.
    virtual bool ask_continue(const std::string& text, bool& dont_show_again) = 0;
    // Whether a level-1 report ends the process rather than the operation.
    virtual bool fatal_ends_process() const = 0;
    // Ends the process with `status`.
    [[noreturn]] virtual void end_process(int status) = 0;
};

// The console presentation: every report on standard output ("Error:" and
// the text, or "Internal error: " and the text), never a question; ending
// the process throws tsl_exit_request for `main` to return.
class console_error_view : public error_view {
  public:
    void show_internal_error(const std::string& text) override;
    void show_error(const std::string& text) override;
    void show_report(const std::string& text) override;
    bool ask_continue(const std::string& text, bool& dont_show_again) override;
    bool fatal_ends_process() const override { return true; }
    [[noreturn]] void end_process(int status) override;
};

class error_handler : public tk_singleton<error_handler> {
  public:
    // Builds the message map from the first table (`count` entries).
    error_handler(error_view& view, size_t count, const tk_error_entry* entries);
    ~error_handler();

    // Adds a further message map; a number already known keeps its text.
    void load_err_map(size_t count, const tk_error_entry* entries);

    // Context: the item's name, or "<name>, record #<number>".
    void set_table(const std::u16string& name);
    void set_position(const std::u16string& name, int record_number);
    const std::string& context() const { return context_; }

    // Reports one exception (see the levels above). `no_abort`: the caller
    // is outside a run, so a report never becomes tk_final_exception.
    void handle(const tk_exception& e, bool no_abort);
    // A level-0 report without a question, in the context set before: noted
    // and shown (show_report), unless reports are suppressed.
    void report(const tk_exception& e);
    // A failure that ends the run but not the program (a workbook that
    // cannot be written), in the context set before: noted and shown as an
    // error (show_error), even when reports are suppressed, then
    // tk_final_exception ends the run.
    [[noreturn]] void end_run(const tk_exception& e);

    // The text a report shows for `e` under the current context, before LF
    // is flattened.
    std::string compose(const tk_exception& e) const;

    bool suppressed() const { return suppress_; }
    // Reports handled so far (every level); a run compares the count at its
    // start and end to tell whether it reported anything.
    size_t report_count() const { return reports_; }

  private:
    error_view& view_;
    std::string context_;
    bool suppress_ = false;
    size_t reports_ = 0;
    tk_error_converter messages_;
};
