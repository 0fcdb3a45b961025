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

progress_reading read_progress(int32_t item_count, int32_t items_done, int32_t record_count,
                               int32_t record_index) {
    unsigned percent = 0;
    bool busy = false;
    if (item_count != 0) {
        const auto items = static_cast<unsigned>(item_count);
        percent = static_cast<unsigned>(items_done) * 100u / items;
        if (record_count > 0 && record_index <= record_count)
            percent += static_cast<unsigned>(record_index) * 100u /
                       static_cast<unsigned>(record_count) / items;
        else if (record_index > 0 && items_done < item_count)
            busy = true;
    }
    return {percent, percent >= 100, busy && percent < 100};
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
    records_ = new QLabel(this);
    records_->setObjectName("records");
    layout->addWidget(records_);
    layout->addStretch();
    connect(&shell, &wizard_shell::timer_tick, this, [this] { on_tick(); });
}

progress_page::~progress_page() {
    end_work();
}

void progress_page::end_work() {
    if (!worker_)
        return;
    running_ = false;
    tessal_convertor::instance().request_stop();
    // The worker's requests to the user-interface thread are served while it
    // is waited for (the shell answers them without showing anything).
    while (worker_->is_running()) QCoreApplication::processEvents();
    worker_->clean_up();
    worker_.reset();
    shell().stop_timer();
}

bool progress_page::isComplete() const {
    return !running_;
}

void progress_page::page_init() {
    tk_trace(2, "progress_page::page_init");
    running_ = true;
    close_when_ended_ = false;
    emit completeChanged();  // the sheet disables Next now
    shell().enable_button(QWizard::BackButton, false);
    bar_->setRange(0, 100);
    bar_->setValue(0);
    status_->clear();
    records_->clear();
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
        emit completeChanged();
        if (close_when_ended_)
            static_cast<QDialog*>(wizard())->done(QDialog::Rejected);  // asked already
        else
            wizard()->next();
        return;
    }
    if (close_when_ended_)
        return;  // "Aborting the conversion" stays until the worker has ended
    const int32_t record_count = conv.record_count, record_index = conv.record_index;
    progress_reading reading =
        read_progress(conv.item_count, conv.tables_done, record_count, record_index);
    if (reading.final_phase) {
        // The formats are applied only to workbooks that hold tables.
        status_->setText(conv.patching ? "Applying format settings" : QString());
        records_->clear();
        bar_->setRange(0, 100);
        bar_->setValue(final_phase_position(ticks_));
        ++ticks_;
        return;
    }
    if (reading.busy) {
        bar_->setRange(0, 0);
    } else {
        bar_->setRange(0, 100);
        bar_->setValue(static_cast<int>(reading.percent));
    }
    std::u16string current = conv.current_table();
    status_->setText(
        current.empty() ? QString()
                        : QString("Processing table '%1'").arg(QString::fromStdU16String(current)));
    if (current.empty() || (record_index == 0 && record_count == 0))
        records_->clear();
    else if (record_count > 0 && record_index <= record_count)
        records_->setText(QString("%1 of %2 records").arg(record_index).arg(record_count));
    else
        records_->setText(QString("%1 records").arg(record_index));
}

bool progress_page::on_next() {
    return !running_;
}

bool progress_page::on_cancel() {
    if (!running_)
        return wizard_page::on_cancel();
    if (close_when_ended_)
        return false;  // already stopping
    if (!shell().question(
            u"Do you want to abort the conversion? The destination is left as it was.", true))
        return false;
    // The run may have ended while the question was open: nothing to stop.
    if (!running_)
        return false;
    close_when_ended_ = true;
    tessal_convertor::instance().request_stop();
    status_->setText("Aborting the conversion");
    return false;
}
