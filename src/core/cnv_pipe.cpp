#include "core/cnv_pipe.h"

#include "OLE/ole_types.h"
#include "TK/tk_excep.h"

namespace {

constexpr const char* kSource = "cnv_pipe";
// Either side wakes the other every this many rows (and whenever it is
// about to wait itself), so that a run of rows costs one wake-up, not one
// per row.
constexpr uint32_t kBatch = 64;
// A slot whose values held more than this is emptied before it is used
// again, so that a few long values do not leave their buffers in every
// slot of the ring.
constexpr size_t kKeepBytes = size_t{256} << 10;

size_t value_bytes(const udb_record& record) {
    size_t bytes = 0;
    for (const udb_field& f : record) {
        const uint16_t kind = f.ole_variant::get_type();
        if (kind == VT_BSTR)
            bytes += f.bstr().size() * sizeof(char16_t);
        else if (kind == VT_BYTE_ARRAY)
            bytes += f.bytes().size();
    }
    return bytes;
}

// Whether counter a has reached b (counters wrap).
bool reached(uint32_t a, uint32_t b) {
    return static_cast<int32_t>(a - b) >= 0;
}

}  // namespace

record_pipe::record_pipe(udb_recordset& reader)
    : reader_(reader),
      exchange_(reader.record_exchangeable()),
      ring_(std::make_unique<unit[]>(kSlots)) {
    start();
}

record_pipe::~record_pipe() {
    stop();
}

void record_pipe::start() {
    stopped_.store(false, std::memory_order_relaxed);
    quit_.store(false, std::memory_order_relaxed);
    thread_ = std::thread([this] { read_ahead(); });
    reading_ = true;
}

void record_pipe::stop() {
    if (!thread_.joinable())
        return;
    quit_.store(true);
    // A thread waiting for room wakes at a change of the released count.
    released_.fetch_add(0x40000000u);
    released_.notify_all();
    thread_.join();
    reading_ = false;
}

void record_pipe::read_ahead() noexcept {
    uint32_t n = published_.load(std::memory_order_relaxed);
    uint32_t accounted = released_.load(std::memory_order_acquire);
    size_t in_flight = 0;
    for (;;) {
        // Room for one more row: a free slot, and the values waiting within
        // their budget (one row is always let through, whatever its size).
        for (;;) {
            const uint32_t released = released_.load(std::memory_order_acquire);
            if (quit_.load())
                goto done;
            for (; accounted != released; ++accounted) in_flight -= slot(accounted).bytes;
            const uint32_t waiting = n - released;
            if (waiting < kSlots && (waiting == 0 || in_flight < kMaxBytes))
                break;
            published_.notify_one();
            released_.wait(released, std::memory_order_acquire);
        }
        {
            unit& u = slot(n);
            if (u.bytes > kKeepBytes) {
                udb_record empty;
                u.record.swap(empty);
            }
            u.error = nullptr;
            u.bytes = 0;
            u.step = 0;
            u.at_end = u.no_record = false;
            try {
                if (reader_.is_eof()) {
                    u.at_end = true;
                } else {
                    u.step = 1;
                    udb_record* record = reader_.get_item();
                    if (!record) {
                        u.no_record = true;
                    } else {
                        if (exchange_)
                            u.record.swap(*record);
                        else
                            u.record = *record;
                        u.bytes = value_bytes(u.record);
                        u.step = 2;
                        reader_.next();
                        u.step = 3;
                    }
                }
            } catch (...) {
                u.error = std::current_exception();
            }
            in_flight += u.bytes;
            const bool plain = u.step == 3;
            ++n;
            published_.store(n, std::memory_order_release);
            if (!plain)
                break;
            if (n % kBatch == 0)
                published_.notify_one();
        }
    }
done:
    stopped_.store(true, std::memory_order_release);
    published_.notify_one();
}

bool record_pipe::wait_for(uint32_t index) {
    while (!reached(seen_, index + 1)) {
        seen_ = published_.load(std::memory_order_acquire);
        if (reached(seen_, index + 1))
            break;
        if (stopped_.load(std::memory_order_acquire)) {
            seen_ = published_.load(std::memory_order_acquire);
            return reached(seen_, index + 1);
        }
        // Everything published is taken: the thread may be waiting for room.
        released_.notify_one();
        published_.wait(seen_, std::memory_order_acquire);
    }
    return true;
}

void record_pipe::release_through(uint32_t index) {
    released_.store(index, std::memory_order_release);
    if (index % kBatch == 0)
        released_.notify_one();
}

void record_pipe::end_read_ahead(unit& u) {
    // The read-ahead stopped at `u`: the call that met it, and the ones
    // after it, are the reader's own; `u`'s failure is the call's.
    std::exception_ptr error = u.error;
    stop();
    ++current_;
    direct_ = true;
    if (error)
        std::rethrow_exception(error);
}

bool record_pipe::is_eof() {
    if (direct_)
        return reader_.is_eof();
    if (phase_ != phase::eof || !wait_for(current_))
        throw tk_mail_assertion(kSource, __LINE__);
    unit& u = slot(current_);
    if (u.step > 0) {
        phase_ = phase::item;
        return false;
    }
    end_read_ahead(u);
    return true;
}

udb_record* record_pipe::get_item() {
    if (direct_)
        return reader_.get_item();
    if (phase_ != phase::item)
        throw tk_mail_assertion(kSource, __LINE__);
    unit& u = slot(current_);
    if (u.step > 1) {
        phase_ = phase::next;
        return &u.record;
    }
    end_read_ahead(u);
    return nullptr;
}

void record_pipe::next() {
    if (direct_) {
        reader_.next();
        // Back on the plain path: the thread reads ahead again from here.
        direct_ = false;
        phase_ = phase::eof;
        seen_ = current_;
        published_.store(current_, std::memory_order_relaxed);
        released_.store(current_, std::memory_order_relaxed);
        start();
        return;
    }
    if (phase_ != phase::next)
        throw tk_mail_assertion(kSource, __LINE__);
    unit& u = slot(current_);
    if (u.step == 2) {
        std::exception_ptr error = u.error;
        stop();
        ++current_;
        direct_ = true;
        std::rethrow_exception(error);
    }
    ++current_;
    phase_ = phase::eof;
    release_through(current_);
}
