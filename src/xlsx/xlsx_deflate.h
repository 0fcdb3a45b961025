// Compression of a package's parts on every core.
//
// libxlsxwriter packs a workbook only when it is closed, and it compresses
// each part through minizip on the closing thread: for a large worksheet
// that is most of the run (1.1 GB of XML for a million rows, 8 s at zlib's
// level 6 while the other cores wait). The library's own calls are kept:
// this module gives the process minizip's three calls for a part's data
// (open, write, close). A part it opens is asked of minizip as raw data,
// the bytes are deflated here with the parameters the library asked for,
// in chunks on worker threads, and minizip stores the result with the CRC
// and size computed here. Everything else of the package (headers, the
// directory, zip64) is still minizip's.
//
// The stream is deflate's own: chunk k is compressed with the 32 KiB
// before it as its dictionary and ends on a byte boundary (a sync flush),
// the last one ends the stream, so readers see one ordinary deflate
// stream. The chunks fall at fixed offsets of the part, so a workbook's
// bytes depend only on its content, not on the threads. A part of one
// chunk is compressed on the calling thread, exactly as minizip would.
//
// When the library does not call through these names (a build that links
// minizip into it), nothing here runs and it compresses alone:
// xlsx_deflate_parts() tells which.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// One deflate stream built from chunks compressed in parallel. The caller
// writes the data in order from one thread; the compressed stream reaches
// `out` in order, on that thread. Not copyable; the destructor stops and
// joins the workers, whatever was finished.
class xlsx_deflate {
  public:
    // zlib's deflateInit2 parameters (window_bits negative: a raw stream).
    struct params {
        int level = -1;
        int window_bits = -15;
        int mem_level = 8;
        int strategy = 0;
    };
    // Takes compressed bytes; false when they could not be written (the
    // stream then fails with the errno the sink leaves).
    using sink = std::function<bool(const unsigned char* data, size_t size)>;

    static constexpr size_t k_chunk = size_t{1} << 20;  // input bytes a worker takes
    static constexpr size_t k_window = 32 * 1024;       // deflate's window: the dictionary

    // `threads`: workers to use once the data pass one chunk (0 = the
    // calling thread compresses every chunk).
    xlsx_deflate(const params& p, sink out, unsigned threads);
    ~xlsx_deflate();
    xlsx_deflate(const xlsx_deflate&) = delete;
    xlsx_deflate& operator=(const xlsx_deflate&) = delete;

    // False once anything failed (see error()); nothing more is written.
    // Both may raise std::bad_alloc, which leaves the stream unusable.
    bool write(const void* data, size_t size);
    // Compresses what is left and ends the stream; false on failure.
    bool finish();

    uint32_t crc() const { return crc_; }
    uint64_t size() const { return size_; }
    // The errno of the first failure (ENOMEM for zlib's memory), 0 if none.
    int error() const { return error_; }

  private:
    // A chunk: its input, the window before it, its compressed bytes.
    struct job {
        std::vector<unsigned char> dict, in;
        std::unique_ptr<unsigned char[]> out;
        size_t out_capacity = 0, used = 0;
        bool last = false;
        bool done = false;  // compressed (or failed): under mutex_ while queued
        bool ok = false;
        uint32_t crc = 0;
    };
    struct stream;  // a zlib deflate stream of one thread

    bool submit(bool last);
    bool emit_front();
    bool fail(int err);
    void start_workers();
    void stop_workers();
    void work();
    static bool compress(const params& p, stream& z, job& j);

    params params_;
    sink out_;
    unsigned threads_;
    std::unique_ptr<job> current_;     // the chunk being filled
    std::vector<unsigned char> tail_;  // the last k_window bytes before it
    std::unique_ptr<stream> own_;      // the calling thread's, for chunks it compresses
    uint64_t submitted_ = 0;
    uint32_t crc_ = 0;
    uint64_t size_ = 0;
    int error_ = 0;
    bool finished_ = false;

    std::mutex mutex_;
    std::condition_variable work_cv_, done_cv_;
    std::deque<std::unique_ptr<job>> order_;  // submitted, in stream order
    std::deque<job*> queue_;                  // not yet taken by a worker
    std::vector<std::unique_ptr<job>> spare_;
    std::vector<std::thread> workers_;
    bool stopping_ = false;
};

// Parts of packages compressed here since the process started (the test
// that the library's calls reach this module).
uint64_t xlsx_deflate_parts();
