// Reading a table's rows on a thread of its own while the run writes them.
//
// record_pipe stands between a source reader and the record loop of a
// conversion. It answers the loop's is_eof(), get_item() and next() exactly
// as the reader would, in the same order and with the same results and
// exceptions, while a reading thread has already made those calls ahead of
// it: rows wait in a bounded ring (at most `kSlots` rows and about
// `kMaxBytes` of their values), so reading the source and writing the
// worksheet overlap on two processors.
//
// The thread reads ahead only along the plain path: is_eof() false, a
// record, next() without a failure. The first call that throws, ends or
// returns no record stops it there; once the loop has taken everything read
// ahead, its calls go straight to the reader on the loop's thread (the
// reading thread is idle then: the reader is never used by two threads at
// once), and the thread starts reading ahead again after a next() that
// succeeds. So a refused record, a fatal source error or the end of the
// rows reach the loop at the same place as without the pipe.
//
// Records: a reader whose records may be exchanged (ora_query_results, see
// udb_recordset::record_exchangeable) hands its values over by exchanging
// the fields' storage, without a copy; any other reader's record is
// copied. The record get_item() returns belongs to the pipe and stays valid
// until the next next() or get_item().
//
// Lifetime: the reader must outlive the pipe and must not be used by anyone
// else while the pipe lives. Destroying the pipe stops the thread and waits
// for it (after the call it is in, if any).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <thread>

#include "UDB/udb_db.h"
#include "UDB/udb_sche.h"

class record_pipe {
  public:
    static constexpr uint32_t kSlots = 512;
    static constexpr size_t kMaxBytes = size_t{16} << 20;

    // `reader` has been positioned (move_first) and is read from its
    // current row on.
    explicit record_pipe(udb_recordset& reader);
    ~record_pipe();
    record_pipe(const record_pipe&) = delete;
    record_pipe& operator=(const record_pipe&) = delete;

    bool is_eof();
    udb_record* get_item();
    void next();

  private:
    // What the reading thread did for one row. `step` is how far it got:
    // 0 is_eof, 1 get_item, 2 next, 3 all three succeeded. A unit that
    // stopped earlier ends the read-ahead: it holds the exception of that
    // call, or at_end (is_eof true), or no_record (get_item null).
    struct unit {
        udb_record record;
        std::exception_ptr error;
        size_t bytes = 0;
        uint8_t step = 0;
        bool at_end = false;
        bool no_record = false;
    };
    // Which call the loop makes next on the current unit.
    enum class phase : uint8_t { eof, item, next };

    void start();
    void stop();
    void end_read_ahead(unit& u);
    void read_ahead() noexcept;
    // Waits until unit `index` is published; false when none will be
    // (the reading thread stopped before it).
    bool wait_for(uint32_t index);
    unit& slot(uint32_t index) { return ring_[index % kSlots]; }
    void release_through(uint32_t index);

    udb_recordset& reader_;
    const bool exchange_;
    std::unique_ptr<unit[]> ring_;
    std::thread thread_;
    bool reading_ = false;  // the thread runs (loop side's view)

    // Reading thread -> loop: units [0, published_) are complete.
    std::atomic<uint32_t> published_{0};
    // Loop -> reading thread: units [0, released_) may be reused.
    std::atomic<uint32_t> released_{0};
    std::atomic<bool> quit_{false};
    // The reading thread has stopped (its last unit published).
    std::atomic<bool> stopped_{false};

    // Loop side.
    uint32_t current_ = 0;
    uint32_t seen_ = 0;  // published_ as last read
    phase phase_ = phase::eof;
    bool direct_ = false;  // everything read ahead is taken: calls go to the reader
};
