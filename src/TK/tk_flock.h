// An advisory lock that a process holds on a name for a while: a lock file
// with a flock on it, removed when the holder lets go.
//
// Other holders use the same protocol: a holder removes the file while it
// still holds the lock, and a taker that finds, after locking, that the
// name no longer leads to the file it locked tries again. So one file of
// the name is locked at a time, and a file left by a killed holder (the
// kernel drops its flock) is simply taken over.
//
// The file says it is a lock file: it begins with kSignature (or is empty,
// when the disk had no room for it), then holds the names its holder
// recorded (each ended by a NUL byte), the names of files the holder made
// and would remove itself if it were not killed. A taker
// finds those of a killed holder in recorded(). A file of that name that is
// not a lock file (not empty and without the signature, or not a regular
// file) belongs to someone else: it is never locked, written or removed.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace tk {

class file_lock {
  public:
    static constexpr char kSignature[] = "Tessaline lock file\n";

    // Takes the lock of `path` (creating the file, mode 0644); null when
    // another holder has it. A file at `path` that is not a lock file throws
    // tk_exception (level 1) naming it; other failures tk_exception_ex.
    static std::unique_ptr<file_lock> try_lock(const std::string& path);
    // True when nothing is at `path`, or a lock file (an empty regular file
    // counts as one: it holds nothing to lose).
    static bool may_lock(const std::string& path);
    // Removes the file and drops the lock.
    ~file_lock();
    file_lock(const file_lock&) = delete;
    file_lock& operator=(const file_lock&) = delete;

    // The names the holder before recorded, as it found them.
    const std::vector<std::string>& recorded() const { return recorded_; }
    // Forgets those names (once the files are dealt with).
    void clear_recorded();
    // Records a name in the file (before the file of that name is made).
    // A failure throws tk_write_failure.
    void record(const std::string& name);

  private:
    file_lock(std::string path, int fd) : path_(std::move(path)), fd_(fd) {}
    std::string path_;
    int fd_;
    std::vector<std::string> recorded_;
};

}  // namespace tk
