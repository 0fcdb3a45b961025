// Process-wide single instances (the converter, the engines, the error
// handler, the wizard shell, the trace log). A class T derives from
// tk_singleton<T>; constructing a second T while one lives, or asking for a
// missing one, is an internal error.
#pragma once

#include "TK/tk_excep.h"

template <class T>
class tk_singleton {
  public:
    // The registered instance; none is an internal error.
    static T& instance() {
        if (!instance_)
            throw tk_mail_assertion("..\\TK/tk_singl", 59);
        return *static_cast<T*>(instance_);
    }
    // The form used by trace calls: same contract, its own position.
    static T& trace_instance() {
        if (!instance_)
            throw tk_mail_assertion("..\\TK/tk_singl", 66);
        return *static_cast<T*>(instance_);
    }
    // Null when none is registered; for users that can live without it.
    static T* instance_ptr() noexcept { return static_cast<T*>(instance_); }
    static bool exists() noexcept { return instance_ != nullptr; }

    tk_singleton(const tk_singleton&) = delete;
    tk_singleton& operator=(const tk_singleton&) = delete;

  protected:
    tk_singleton() {
        if (instance_)
            throw tk_mail_assertion("..\\TK/tk_singl", 35);
        instance_ = this;
    }
    // Only a registered instance can be destroyed: the constructor is the
    // one way in, so the "none registered" case cannot arise here.
    ~tk_singleton() {
        if (instance_ == this)
            instance_ = nullptr;
    }

  private:
    // Kept as the base: while a T is being built or destroyed this part is
    // not yet (or no longer) a T, so the cast to T waits for the accessors.
    inline static tk_singleton* instance_ = nullptr;
};
