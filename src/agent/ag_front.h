// The agent's side of a run: its console lines on standard output
// ("Converting database ...", "Converting table ..."), "Table X not exists"
// on standard error, and, on a terminal only, a live progress line on
// standard error while a table converts (table, records done of total,
// records per second), cleared when the table ends.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "core/cnv_front.h"

class agent_front : public conversion_front {
  public:
    bool convert_all_when_empty() const override { return true; }
    void database_started(const std::u16string& src, int32_t table_count) override;
    void table_missing(const std::u16string& name) override;
    void table_started(const std::u16string& name, int32_t record_count) override;
    void records_done(int32_t done) override;
    void table_ended() override;
    // "<item>: <text>" on standard output.
    void table_note(const std::u16string& name, const std::string& text) override;
    void unexpected_error(const std::exception& e) override;

    // The progress line's text.
    static std::string progress_text(const std::string& table, int32_t done, int32_t total,
                                     double seconds);

  private:
    using clock = std::chrono::steady_clock;
    static constexpr int32_t kCheckEvery = 64;  // records between looks at the clock
    static constexpr std::chrono::milliseconds kRedrawEvery{200};

    bool drawing_ = false;
    std::string table_;
    int32_t total_ = 0;
    clock::time_point started_{};
    clock::time_point drawn_{};
};
