// What a front end adds to a conversion run: the agent's console lines and
// progress line, the wizard's progress timer and continue/abort question.
// The driver calls these hooks at fixed points of a run; every hook has a
// default that does nothing, which is what a front end without that
// feature wants.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>

class conversion_front {
  public:
    virtual ~conversion_front() = default;

    // True when an empty selection means "every table of the source".
    virtual bool convert_all_when_empty() const { return false; }
    // Brackets of a run (init_conversion); run_ended is called on every way
    // out of a run.
    virtual void run_started() {}
    virtual void run_ended() {}
    // The run's first line: the source's name and the number of tables.
    virtual void database_started(const std::u16string& src, int32_t table_count) {
        (void)src, (void)table_count;
    }
    // A selected table the source does not have; the driver skips it.
    virtual void table_missing(const std::u16string& name) { (void)name; }
    // An item with more columns than a worksheet takes; the driver converts
    // the first columns and reports the others through the error handler
    // right after. May throw tk_final_exception (the user aborts).
    virtual void too_many_columns(const std::u16string& name, size_t columns) {
        (void)name, (void)columns;
    }
    // An item's records start to be copied; `record_count` as the source counted.
    virtual void table_started(const std::u16string& name, int32_t record_count) {
        (void)name, (void)record_count;
    }
    // Called after each record with the number of records done; must be cheap.
    virtual void records_done(int32_t done) { (void)done; }
    // The item's copy ended (normally or not).
    virtual void table_ended() {}
    // A line about an item that reports no error (values kept as they are
    // in a form other than their column's), after its copy ended.
    virtual void table_note(const std::u16string& name, const std::string& text) {
        (void)name, (void)text;
    }
    // A failure outside the toolkit's family reached the run's top.
    virtual void unexpected_error(const std::exception& e) { (void)e; }
};
