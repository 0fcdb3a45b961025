// Byte sinks: every writer of a binary format writes to a `tk::sink`, never
// to a file directly, so tests can write into memory or into a sink that
// fails after N bytes and reach every error path.
//
// A sink is sequential (`write` appends) with one escape hatch, `write_at`,
// for back-patching a length or offset that is only known later; `write_at`
// may only touch bytes already written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tk {

class sink {
  public:
    virtual ~sink() = default;
    // Appends n bytes. Throws on failure (the concrete sink says what).
    virtual void write(const void* data, size_t n) = 0;
    // Overwrites bytes [offset, offset + n) that were already written.
    virtual void write_at(uint64_t offset, const void* data, size_t n) = 0;
    // Bytes written so far (the position of the next `write`).
    virtual uint64_t size() const = 0;
    // Passes over the next n bytes, which are already there: a file sink
    // whose file received them through its descriptor (file_sink::fd).
    // Other sinks cannot hold such bytes.
    virtual void skip(uint64_t n);
};

// Keeps everything in memory; never fails.
class memory_sink : public sink {
  public:
    void write(const void* data, size_t n) override;
    void write_at(uint64_t offset, const void* data, size_t n) override;
    uint64_t size() const override { return data_.size(); }
    const std::vector<uint8_t>& data() const { return data_; }
    std::vector<uint8_t>& data() { return data_; }

  private:
    std::vector<uint8_t> data_;
};

// Writes to a file through a 1 MiB buffer. Every failure throws
// `tk_exception_ex` carrying errno and the C library's text; a failure to
// write, sync or close the file is a `tk_write_failure`.
class file_sink : public sink {
  public:
    file_sink() = default;
    explicit file_sink(const std::string& path) { open(path); }
    ~file_sink() override;
    file_sink(const file_sink&) = delete;
    file_sink& operator=(const file_sink&) = delete;

    // Creates or truncates `path` (mode 0644, or 0600 when `private_file`).
    void open(const std::string& path, bool private_file = false);
    // Takes over an already open descriptor (ownership passes to the sink).
    void attach(int fd);
    void write(const void* data, size_t n) override;
    void write_at(uint64_t offset, const void* data, size_t n) override;
    uint64_t size() const override { return written_; }
    void skip(uint64_t n) override;
    // The file's descriptor (-1 when closed), for writing parts of the file
    // ahead of the sink's position; they are passed over with skip().
    int fd() const { return fd_; }
    // Starts the file over from its first byte, for another try at writing
    // it, keeping what lies in the file (bytes written ahead through fd());
    // on sync or close the file is cut to what was written since.
    void rewind();
    // Flushes the buffer and fsyncs; throws on failure.
    void sync();
    // Flushes and closes; throws on failure. Safe to call twice.
    void close();
    bool is_open() const { return fd_ >= 0; }

  private:
    void flush_buffer();
    // Asks the kernel to start writing back what reached the file since the
    // last request, once a few MiB have gathered, so that the sync at the
    // end waits for the last of them only.
    void start_writeback();
    int fd_ = -1;
    uint64_t written_ = 0;
    uint64_t flushed_ = 0;      // bytes of written_ already in the file
    uint64_t written_back_ = 0;  // bytes of flushed_ handed to writeback
    bool trim_ = false;          // cut the file to written_ (after rewind)
    void trim();
    std::vector<uint8_t> buf_;
};

// A file that appears under its final name only when complete: writes go to
// a temporary file in the same folder, `commit` syncs it and renames it over
// `path`. Destroyed without `commit`, the temporary file is removed and
// `path` is untouched, so no reader ever sees a half-written file.
class atomic_file {
  public:
    // Creates the temporary file beside `path`; throws tk_exception_ex.
    explicit atomic_file(const std::string& path, bool private_file = false);
    ~atomic_file();
    atomic_file(const atomic_file&) = delete;
    atomic_file& operator=(const atomic_file&) = delete;

    sink& out() { return sink_; }
    const std::string& temp_path() const { return temp_; }
    // Syncs, closes and renames; throws tk_exception_ex on failure (the
    // temporary file is then removed).
    void commit();

  private:
    std::string path_;
    std::string temp_;
    file_sink sink_;
    bool committed_ = false;
};

}  // namespace tk
