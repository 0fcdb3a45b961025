#include "TK/tk_threa.h"

#include <cerrno>
#include <chrono>
#include <system_error>

#include "TK/tk_excep.h"
#include "TK/tk_log.h"

void tk_runnable::run() {
    while (!is_done() && !stop_requested()) step();
    finish();
}

void tk_runnable::step() {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
}

tk_thread::~tk_thread() {
    // Never throws, and never leaves a worker behind: a worker that still
    // runs is asked to stop, and waited for either way. (Asking is_running()
    // first and then calling terminate() would race with a worker that ends
    // in between.)
    if (thread_.joinable()) {
        bool ended = false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            ended = ended_;
        }
        if (!ended && runnable_)
            runnable_->request_stop();
        thread_.join();
    }
    if (owns_runnable_)
        delete runnable_;
}

tk_runnable* tk_thread::create_runnable() {
    owns_runnable_ = true;
    return new tk_runnable;
}

bool tk_thread::is_running() {
    if (!thread_.joinable())
        return false;
    std::unique_lock<std::mutex> lock(mutex_);
    return !ended_cv_.wait_for(lock, std::chrono::milliseconds(10), [this] { return ended_; });
}

void tk_thread::start() {
    tk_trace(2, "tk_thread::start");
    if (is_running())
        throw tk_mail_assertion("tk_threa", 92);
    if (thread_.joinable())
        clean_up();
    if (runnable_)
        throw tk_mail_assertion("tk_threa", 100);
    owns_runnable_ = false;
    runnable_ = create_runnable();
    if (!runnable_)
        throw tk_mail_assertion("tk_threa", 105);
    runnable_->stop_.store(false);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ended_ = false;
        failure_ = nullptr;
    }
    try {
        thread_ = std::thread(&tk_thread::entry, runnable_, this);
    } catch (const std::system_error& e) {
        int err = e.code().value();
        // Nothing runs: let go of the runnable so a later start can succeed.
        if (owns_runnable_)
            delete runnable_;
        runnable_ = nullptr;
        owns_runnable_ = false;
        errno = err;
        throw tk_exception_ex();
    }
}

void tk_thread::entry(tk_runnable* r, tk_thread* self) {
    std::exception_ptr failure;
    try {
        if (!r)
            throw tk_mail_assertion("tk_threa", 149);
        r->run();
    } catch (...) {
        // Nothing above the worker could catch it: keep it for the owner.
        tk_trace(2, "tk_thread: worker ended by an exception");
        failure = std::current_exception();
    }
    std::lock_guard<std::mutex> lock(self->mutex_);
    self->failure_ = failure;
    self->ended_ = true;
    self->ended_cv_.notify_all();
}

void tk_thread::terminate() {
    tk_trace(2, "tk_thread::terminate");
    // A worker that ends while it is being stopped is simply waited for.
    if (!thread_.joinable())
        throw tk_mail_assertion("tk_threa", 55);
    runnable_->request_stop();
    thread_.join();
    clean_up();
}

void tk_thread::clean_up() {
    if (is_running())
        throw tk_mail_assertion("tk_threa", 71);
    if (thread_.joinable())
        thread_.join();
    if (owns_runnable_)
        delete runnable_;
    runnable_ = nullptr;
    owns_runnable_ = false;
}

std::exception_ptr tk_thread::failure() {
    std::lock_guard<std::mutex> lock(mutex_);
    return failure_;
}
