// Interruption of a run by SIGINT or SIGTERM: while a signal_stop lives,
// either signal asks the run to stop (tk_runnable::request_stop) instead of
// ending the process at once, so the run ends the way an abort does: its
// temporary files removed, the destination's lock let go, the old files as
// they were. The run looks at the request between records; a second signal
// ends the process at once (its temporary files are discarded by the
// system where the file system allows anonymous files).
//
// One signal_stop at a time per process; it restores the previous handlers
// when destroyed. The runnable must outlive it.
#pragma once

#include <csignal>

class tk_runnable;

class signal_stop {
  public:
    explicit signal_stop(tk_runnable& run);
    ~signal_stop();
    signal_stop(const signal_stop&) = delete;
    signal_stop& operator=(const signal_stop&) = delete;

    // The signal that asked to stop, 0 when none came.
    int caught() const;
    // Ends the process by the signal that came, as if it had not been
    // caught (the shell then sees the usual status). Nothing when none came.
    void resend() const;

  private:
    struct sigaction old_int_ {};
    struct sigaction old_term_ {};
};
