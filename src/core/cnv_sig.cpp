#include "core/cnv_sig.h"

#include <atomic>

#include "TK/tk_excep.h"
#include "TK/tk_threa.h"

namespace {
std::atomic<tk_runnable*> g_run{nullptr};
volatile std::sig_atomic_t g_caught = 0;

extern "C" void on_stop_signal(int sig) {
    g_caught = sig;
    // request_stop is a relaxed store into a lock-free atomic: safe here.
    if (tk_runnable* run = g_run.load())
        run->request_stop();
}
}  // namespace

signal_stop::signal_stop(tk_runnable& run) {
    static_assert(std::atomic<bool>::is_always_lock_free);
    tk_runnable* none = nullptr;
    if (!g_run.compare_exchange_strong(none, &run))
        throw tk_mail_assertion("cnv_sig", __LINE__);
    g_caught = 0;
    struct sigaction sa {};
    sa.sa_handler = on_stop_signal;
    sigemptyset(&sa.sa_mask);
    // The first signal asks; the handler is then reset, so a second one ends
    // the process at once.
    sa.sa_flags = SA_RESETHAND;
    sigaction(SIGINT, &sa, &old_int_);
    sigaction(SIGTERM, &sa, &old_term_);
}

signal_stop::~signal_stop() {
    sigaction(SIGINT, &old_int_, nullptr);
    sigaction(SIGTERM, &old_term_, nullptr);
    g_run = nullptr;
}

int signal_stop::caught() const {
    return g_caught;
}

void signal_stop::resend() const {
    int sig = g_caught;
    if (sig == 0)
        return;
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    sigemptyset(&dfl.sa_mask);
    sigaction(sig, &dfl, nullptr);
    std::raise(sig);
}
