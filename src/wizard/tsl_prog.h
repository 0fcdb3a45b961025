// Step 4 of 4, "Database converting is in progress": starts the conversion
// on a worker thread when shown, follows it from the shell's 200 ms timer
// and moves on to the completion page when the run has finished. Back,
// Next and Cancel are disabled while the worker runs.
#pragma once

#include <memory>

#include "GUI2/g_wiz_pg.h"

class QLabel;
class QProgressBar;
class tk_thread;

// The bar's position and whether the run is in its last phase (the items
// are done and the patch runs), from the converter's progress fields.
struct progress_reading {
    unsigned percent;
    bool final_phase;
};
progress_reading read_progress(int32_t table_count, int32_t tables_done, int32_t record_count,
                               int32_t record_index);
// The bar during the last phase: approaches 100 without reaching it.
int final_phase_position(int ticks);

class progress_page : public wizard_page {
  public:
    explicit progress_page(wizard_shell& shell);
    ~progress_page() override;

    bool isComplete() const override;

  protected:
    void page_init() override;
    bool on_next() override;
    bool on_cancel() override;

  private:
    void on_tick();

    QLabel* status_;
    QProgressBar* bar_;
    std::unique_ptr<tk_thread> worker_;
    int ticks_ = 0;
    bool running_ = false;
};
