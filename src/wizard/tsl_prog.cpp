#include "wizard/tsl_prog.h"

#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>
#include <cmath>

#include "GUI2/g_wiz_sh.h"
#include "TK/tk_log.h"
#include "TK/tk_threa.h"
#include "core/tsl_conv.h"

namespace {

// Runs the process's converter; the converter is the runnable, kept by the
// process, not by the thread object.
class conversion_thread : public tk_thread {
  public:
    tk_runnable* create_runnable() override { return &tessal_convertor::instance(); }
};

}  // namespace

progress_reading read_progress(int32_t table_count, int32_t tables_done, int32_t record_count,
                               int32_t record_index) {
    unsigned percent = 0;
    if (table_count != 0) {
        percent = static_cast<unsigned>(tables_done) * 100u / static_cast<unsigned>(table_count);
        if (record_count != 0)
            percent += static_cast<unsigned>(record_index) * 100u /
                       static_cast<unsigned>(record_count) / static_cast<unsigned>(table_count);
    }
    return {percent, percent >= 100};
}

int final_phase_position(int ticks) {
    return static_cast<int>(100.0 * std::atan(0.1 * ticks) / (M_PI / 2));
}

progress_page::progress_page(wizard_shell& shell) : wizard_page(shell) {
    setObjectName("progress_page");
    make_interior(4, "Database converting is in progress");
    setCommitPage(true);  // the completion page cannot lead back into a run
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(
        new QLabel("Database converting is in progress. Please wait until the wizard completes\n"
                   "converting your Oracle database into MS Excel spreadsheet.",
                   this));
    layout->addSpacing(16);
    status_ = new QLabel(this);
    status_->setObjectName("status");
    layout->addWidget(status_);
    bar_ = new QProgressBar(this);
    bar_->setObjectName("progress");
    bar_->setRange(0, 100);
    layout->addWidget(bar_);
    layout->addStretch();
    connect(&shell, &wizard_shell::timer_tick, this, [this] { on_tick(); });
}

progress_page::~progress_page() {
    // The wizard never closes during a run; should the page go anyway, the
    // worker's requests to the user-interface thread must still be served
    // while it is waited for.
    while (worker_ && worker_->is_running()) QCoreApplication::processEvents();
}

bool progress_page::isComplete() const {
    return !running_;
}

void progress_page::page_init() {
    tk_trace(2, "progress_page::page_init");
    running_ = true;
    emit completeChanged();  // the sheet disables Next now
    for (auto button : {QWizard::BackButton, QWizard::NextButton, QWizard::CancelButton})
        shell().enable_button(button, false);
    bar_->setValue(0);
    status_->clear();
    ticks_ = 0;
    tessal_convertor::instance().finished = false;
    worker_ = std::make_unique<conversion_thread>();
    worker_->start();
}

void progress_page::on_tick() {
    if (!running_)
        return;
    tessal_convertor& conv = tessal_convertor::instance();
    if (conv.finished) {
        // The run's last steps follow the flag: wait for them at the next tick.
        if (worker_->is_running())
            return;
        shell().stop_timer();
        worker_->clean_up();
        worker_.reset();
        running_ = false;
        shell().enable_button(QWizard::CancelButton, true);
        wizard()->next();
        return;
    }
    progress_reading reading =
        read_progress(conv.table_count, conv.tables_done, conv.record_count, conv.record_index);
    if (reading.final_phase) {
        status_->setText("Applying format settings");
        bar_->setValue(final_phase_position(ticks_));
        ++ticks_;
        return;
    }
    bar_->setValue(static_cast<int>(reading.percent));
    std::u16string current = conv.current_table();
    status_->setText(
        current.empty() ? QString()
                        : QString("Processing table '%1'").arg(QString::fromStdU16String(current)));
}

bool progress_page::on_next() {
    return !running_;
}

bool progress_page::on_cancel() {
    return !running_ && wizard_page::on_cancel();
}
