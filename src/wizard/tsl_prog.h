// Step 4 of 4, "Database converting is in progress": starts the conversion
// on a worker thread when shown, follows it from the shell's 200 ms timer
// (the item, its records, the bar over all items, queries included) and
// moves on to the completion page when the run has finished. Back and Next
// are disabled while the worker runs; Cancel, Escape and the window's close
// box ask whether to abort the run, which then ends as an Abort does (the
// old files stay as they were) and the wizard closes when the worker has
// ended. The wizard going while a run goes on stops the run first.
#pragma once

#include <memory>

#include "GUI2/g_wiz_pg.h"

class QLabel;
class QProgressBar;
class tk_thread;

// The bar's position, whether the run is in its last phase (every item is
// done: the formats are applied and the files put in place), and whether the
// current item's records cannot be counted on (the source gave no count, or
// more records came than it counted): the bar then shows that work goes on.
struct progress_reading {
    unsigned percent;
    bool final_phase;
    bool busy;
};
progress_reading read_progress(int32_t item_count, int32_t items_done, int32_t record_count,
                               int32_t record_index);
// The bar during the last phase: approaches 100 without reaching it.
int final_phase_position(int ticks);

class progress_page : public wizard_page {
  public:
    explicit progress_page(wizard_shell& shell);
    ~progress_page() override;

    bool isComplete() const override;
    void end_work() override;

  protected:
    void page_init() override;
    bool on_next() override;
    bool on_cancel() override;

  private:
    void on_tick();

    QLabel* status_;
    QLabel* records_;
    QProgressBar* bar_;
    std::unique_ptr<tk_thread> worker_;
    int ticks_ = 0;
    bool running_ = false;
    bool close_when_ended_ = false;  // the user aborted the run to leave
};
