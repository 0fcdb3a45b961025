// An advisory lock that a process holds on a name for a while: a lock file
// with a flock on it, removed when the holder lets go.
//
// Other holders use the same protocol: a holder removes the file while it
// still holds the lock, and a taker that finds, after locking, that the
// name no longer leads to the file it locked tries again. So one file of
// the name is locked at a time, and a file left by a killed holder (the
// kernel drops its flock) is simply taken over.
#pragma once

#include <memory>
#include <string>

namespace tk {

class file_lock {
  public:
    // Takes the lock of `path` (creating the file, mode 0644); null when
    // another holder has it. Other failures throw tk_exception_ex.
    static std::unique_ptr<file_lock> try_lock(const std::string& path);
    // Removes the file and drops the lock.
    ~file_lock();
    file_lock(const file_lock&) = delete;
    file_lock& operator=(const file_lock&) = delete;

  private:
    file_lock(std::string path, int fd) : path_(std::move(path)), fd_(fd) {}
    std::string path_;
    int fd_;
};

}  // namespace tk
