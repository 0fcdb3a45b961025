// The worker-thread wrapper: runs one tk_runnable on its own thread while the
// owner (the wizard's user-interface thread) stays responsive.
//
// All calls on a tk_thread come from the thread that owns it. There is no
// forcible termination on this platform: terminate() asks the runnable to
// stop (tk_runnable::stop_requested) and waits for the worker to return, and
// the destructor does the same. A runnable whose step() runs long is waited
// for; a derived runnable that overrides run() should look at
// stop_requested() where it can. A derived wrapper whose runnable lives
// inside it must stop the worker in its own destructor, before that runnable
// is destroyed.
#pragma once

#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

// What a tk_thread runs. The base run() is a loop: step() until is_done()
// (or until a stop is requested), then finish().
class tk_runnable {
  public:
    tk_runnable() = default;
    virtual ~tk_runnable() = default;
    tk_runnable(const tk_runnable&) = delete;
    tk_runnable& operator=(const tk_runnable&) = delete;

    virtual void run();
    // Default: never done (only a stop request ends the base loop).
    virtual bool is_done() { return false; }
    // Default: sleeps 100 milliseconds.
    virtual void step();
    // Default: nothing.
    virtual void finish() {}

    // Asks the running run() to end; set by tk_thread::terminate (and by a
    // signal handler: see stop_hook).
    void request_stop() noexcept {
        stop_.store(true, std::memory_order_relaxed);
        stop_hook();
    }
    bool stop_requested() const noexcept { return stop_.load(std::memory_order_relaxed); }

  protected:
    // Called by request_stop, on the thread that asks or in a signal
    // handler: a runnable that waits on something outside (a query running
    // on a server) interrupts that wait here. Must be async-signal-safe.
    virtual void stop_hook() noexcept {}

  public:
  private:
    friend class tk_thread;
    std::atomic<bool> stop_{false};
};

class tk_thread {
  public:
    tk_thread() = default;
    // Stops a running worker (see terminate) and waits for it, then cleans up.
    virtual ~tk_thread();
    tk_thread(const tk_thread&) = delete;
    tk_thread& operator=(const tk_thread&) = delete;

    // The object to run. The base makes a default tk_runnable and sets
    // owns_runnable_ so that clean_up deletes it; an override that hands out
    // an object it keeps leaves owns_runnable_ false.
    virtual tk_runnable* create_runnable();

    // True while a worker exists and has not ended; waits up to 10
    // milliseconds for it to end before answering.
    bool is_running();
    // Starts a worker. A running worker is an internal error, as are a
    // runnable still attached and a null one from create_runnable. A thread
    // that cannot be created raises tk_exception_ex.
    void start();
    // Asks the running worker to stop and waits for it without time limit,
    // then cleans up; a worker that ends meanwhile is just waited for. No
    // worker (never started, or already cleaned up) is an internal error.
    void terminate();
    // Forgets an ended worker: joins it and deletes an owned runnable. A
    // running worker is an internal error.
    void clean_up();

    tk_runnable* runnable() const { return runnable_; }
    // The exception that escaped the last worker's run(), if any (read it
    // once is_running() has said false).
    std::exception_ptr failure();

  protected:
    bool owns_runnable_ = false;

  private:
    static void entry(tk_runnable* r, tk_thread* self);

    std::thread thread_;
    tk_runnable* runnable_ = nullptr;
    std::mutex mutex_;
    std::condition_variable ended_cv_;
    bool ended_ = false;
    std::exception_ptr failure_;
};
