#include "xlsx/xlsx_deflate.h"

#include <dlfcn.h>
#include <sched.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <new>
#include <system_error>
#include <thread>
#include <unordered_map>

// minizip's declarations, as libxlsxwriter installs them: the definitions
// below must match the library's calls exactly.
#include <xlsxwriter/third_party/zip.h>

namespace {

std::atomic<uint64_t> g_parts{0};

// Workers kept busy: two chunks each waiting, then the writer waits.
constexpr size_t k_jobs_per_worker = 2;

// The processors this process may run on (a container or taskset may
// allow fewer than the machine has).
unsigned default_threads() {
    cpu_set_t set;
    CPU_ZERO(&set);
    const unsigned cores = ::sched_getaffinity(0, sizeof set, &set) == 0
                               ? static_cast<unsigned>(CPU_COUNT(&set))
                               : std::thread::hardware_concurrency();
    return cores > 1 ? std::min(cores, 8u) : 0;
}

}  // namespace

// Made on first use, reset for every chunk.
struct xlsx_deflate::stream {
    z_stream s{};
    bool ready = false;
    stream() = default;
    stream(const stream&) = delete;
    stream& operator=(const stream&) = delete;
    ~stream() {
        if (ready)
            deflateEnd(&s);
    }
};

uint64_t xlsx_deflate_parts() {
    return g_parts.load(std::memory_order_relaxed);
}

xlsx_deflate::xlsx_deflate(const params& p, sink out, unsigned threads)
    : params_(p), out_(std::move(out)), threads_(threads), own_(std::make_unique<stream>()) {}

xlsx_deflate::~xlsx_deflate() {
    stop_workers();
}

bool xlsx_deflate::fail(int err) {
    if (!error_)
        error_ = err ? err : EIO;
    stop_workers();
    return false;
}

void xlsx_deflate::start_workers() {
    try {
        for (unsigned i = 0; i < threads_; ++i) workers_.emplace_back([this] { work(); });
    } catch (const std::system_error&) {
        // Fewer threads than asked (none, at worst: then the caller
        // compresses every chunk).
        threads_ = static_cast<unsigned>(workers_.size());
    }
}

void xlsx_deflate::stop_workers() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        queue_.clear();
    }
    work_cv_.notify_all();
    for (std::thread& t : workers_) t.join();
    workers_.clear();
}

void xlsx_deflate::work() {
    stream z;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        work_cv_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (queue_.empty())
            return;
        job* j = queue_.front();
        queue_.pop_front();
        lock.unlock();
        const bool ok = compress(params_, z, *j);
        lock.lock();
        j->ok = ok;
        j->done = true;
        done_cv_.notify_all();
    }
}

bool xlsx_deflate::compress(const params& p, stream& z, job& j) {
    z_stream& s = z.s;
    if (!z.ready) {
        if (deflateInit2(&s, p.level, Z_DEFLATED, p.window_bits, p.mem_level, p.strategy) != Z_OK)
            return false;
        z.ready = true;
    } else if (deflateReset(&s) != Z_OK) {
        return false;
    }
    if (!j.dict.empty() &&
        deflateSetDictionary(&s, j.dict.data(), static_cast<uInt>(j.dict.size())) != Z_OK)
        return false;
    j.crc = static_cast<uint32_t>(crc32(0, j.in.data(), static_cast<uInt>(j.in.size())));
    // The bound covers a finished stream; a sync flush adds its empty
    // stored block. The buffer is left uninitialised and kept across
    // chunks, so only the bytes written are ever touched.
    const size_t bound = deflateBound(&s, static_cast<uLong>(j.in.size())) + 16;
    if (j.out_capacity < bound) {
        j.out.reset(new (std::nothrow) unsigned char[bound]);
        j.out_capacity = j.out ? bound : 0;
        if (!j.out)
            return false;
    }
    s.next_in = j.in.data();
    s.avail_in = static_cast<uInt>(j.in.size());
    s.next_out = j.out.get();
    s.avail_out = static_cast<uInt>(bound);
    const int r = deflate(&s, j.last ? Z_FINISH : Z_SYNC_FLUSH);
    // With room for the bound, one call consumes the chunk and flushes it.
    if (j.last ? r != Z_STREAM_END : (r != Z_OK || s.avail_in != 0 || s.avail_out == 0))
        return false;
    j.used = bound - s.avail_out;
    return true;
}

bool xlsx_deflate::write(const void* data, size_t size) {
    if (error_ || finished_)
        return false;
    const auto* p = static_cast<const unsigned char*>(data);
    while (size > 0) {
        // A whole chunk goes once more follows, so that the last one
        // (which ends the stream) is never empty.
        if (current_ && current_->in.size() == k_chunk && !submit(false))
            return false;
        if (!current_) {
            if (!spare_.empty()) {
                current_ = std::move(spare_.back());
                spare_.pop_back();
                current_->in.clear();
            } else {
                try {
                    current_ = std::make_unique<job>();
                    current_->in.reserve(k_chunk);
                } catch (const std::bad_alloc&) {
                    return fail(ENOMEM);
                }
            }
        }
        const size_t n = std::min(size, k_chunk - current_->in.size());
        current_->in.insert(current_->in.end(), p, p + n);
        p += n;
        size -= n;
    }
    return true;
}

bool xlsx_deflate::finish() {
    if (finished_ || error_)
        return error_ == 0;
    if (!current_) {
        try {
            current_ = std::make_unique<job>();
        } catch (const std::bad_alloc&) {
            return fail(ENOMEM);
        }
    }
    if (!submit(true))
        return false;
    finished_ = true;
    while (!order_.empty())
        if (!emit_front())
            return false;
    stop_workers();
    g_parts.fetch_add(1, std::memory_order_relaxed);
    return true;
}

bool xlsx_deflate::submit(bool last) {
    std::unique_ptr<job> j = std::move(current_);
    j->last = last;
    j->done = j->ok = false;
    j->dict.assign(tail_.begin(), tail_.end());
    if (!last) {
        // Chunks before the last are whole, larger than the window.
        tail_.assign(j->in.end() - static_cast<ptrdiff_t>(k_window), j->in.end());
    }
    // A part of one chunk needs no thread; nor does a machine of one core.
    const bool parallel = threads_ > 0 && !(last && submitted_ == 0);
    if (parallel && workers_.empty())
        start_workers();
    ++submitted_;
    if (!parallel || workers_.empty()) {
        j->ok = compress(params_, *own_, *j);
        j->done = true;
        order_.push_back(std::move(j));
        return emit_front();
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(j.get());
        order_.push_back(std::move(j));
    }
    work_cv_.notify_one();
    // Whatever is done goes out now; past the jobs the workers may hold,
    // the writer waits for the oldest.
    const size_t most = k_jobs_per_worker * workers_.size();
    for (;;) {
        bool front_done;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            front_done = !order_.empty() && order_.front()->done;
        }
        if (!front_done && order_.size() <= most)
            return true;
        if (!emit_front())
            return false;
    }
}

bool xlsx_deflate::emit_front() {
    job* j = order_.front().get();
    {
        std::unique_lock<std::mutex> lock(mutex_);
        done_cv_.wait(lock, [j] { return j->done; });
    }
    if (!j->ok)
        return fail(ENOMEM);
    crc_ = static_cast<uint32_t>(crc32_combine(crc_, j->crc, static_cast<z_off_t>(j->in.size())));
    size_ += j->in.size();
    errno = 0;
    if (j->used > 0 && !out_(j->out.get(), j->used))
        return fail(errno);
    spare_.push_back(std::move(order_.front()));
    order_.pop_front();
    return true;
}

// minizip's calls for a part, as libxlsxwriter makes them. They take the
// place of minizip's own through the dynamic linker (the program's
// definitions come first); minizip's are reached with RTLD_NEXT.
namespace {

using open_fn = decltype(&zipOpenNewFileInZip4_64);
using write_fn = decltype(&zipWriteInFileInZip);
using close_fn = decltype(&zipCloseFileInZip);
using close_raw_fn = decltype(&zipCloseFileInZipRaw64);

template <typename F>
F minizip(const char* name) {
    return reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
}

struct minizip_calls {
    open_fn open = minizip<open_fn>("zipOpenNewFileInZip4_64");
    write_fn write = minizip<write_fn>("zipWriteInFileInZip");
    close_fn close = minizip<close_fn>("zipCloseFileInZip");
    close_raw_fn close_raw = minizip<close_raw_fn>("zipCloseFileInZipRaw64");
    bool whole() const { return open && write && close && close_raw; }
};

const minizip_calls& real() {
    static const minizip_calls calls;
    return calls;
}

// The part being written of each package (minizip writes one at a time).
std::mutex g_parts_mutex;
std::unordered_map<zipFile, std::unique_ptr<xlsx_deflate>> g_open;

xlsx_deflate* open_part(zipFile file) {
    std::lock_guard<std::mutex> lock(g_parts_mutex);
    const auto it = g_open.find(file);
    return it == g_open.end() ? nullptr : it->second.get();
}

std::unique_ptr<xlsx_deflate> take_part(zipFile file) {
    std::lock_guard<std::mutex> lock(g_parts_mutex);
    const auto it = g_open.find(file);
    if (it == g_open.end())
        return nullptr;
    std::unique_ptr<xlsx_deflate> d = std::move(it->second);
    g_open.erase(it);
    return d;
}

// minizip's answer for a failed part, with the errno it failed with.
int part_failed(const xlsx_deflate& d) {
    const int err = d.error();
    errno = err;
    return err == ENOMEM ? ZIP_INTERNALERROR : ZIP_ERRNO;
}

}  // namespace

extern "C" {

int ZEXPORT zipOpenNewFileInZip4_64(zipFile file, const char* filename, const zip_fileinfo* zipfi,
                                    const void* extrafield_local, uInt size_extrafield_local,
                                    const void* extrafield_global, uInt size_extrafield_global,
                                    const char* comment, int method, int level, int raw,
                                    int windowBits, int memLevel, int strategy,
                                    const char* password, uLong crcForCrypting, uLong versionMadeBy,
                                    uLong flagBase, int zip64) {
    const minizip_calls& m = real();
    if (!m.whole()) {
        errno = ENOSYS;
        return ZIP_INTERNALERROR;
    }
    // Deflated parts without encryption are compressed here; minizip keeps
    // anything else.
    const bool here = method == Z_DEFLATED && !raw && !password && windowBits < 0;
    if (here) {
        // Registered before minizip opens the part raw: from then on its
        // bytes must come compressed from here.
        try {
            auto d = std::make_unique<xlsx_deflate>(
                xlsx_deflate::params{level, windowBits, memLevel, strategy},
                [file, write = m.write](const unsigned char* data, size_t size) {
                    return write(file, data, static_cast<unsigned>(size)) == ZIP_OK;
                },
                default_threads());
            std::lock_guard<std::mutex> lock(g_parts_mutex);
            g_open[file] = std::move(d);
        } catch (const std::bad_alloc&) {
            errno = ENOMEM;
            return ZIP_INTERNALERROR;
        }
    }
    const int r =
        m.open(file, filename, zipfi, extrafield_local, size_extrafield_local, extrafield_global,
               size_extrafield_global, comment, method, level, here ? 1 : raw, windowBits, memLevel,
               strategy, password, crcForCrypting, versionMadeBy, flagBase, zip64);
    if (r != ZIP_OK && here)
        take_part(file);
    return r;
}

int ZEXPORT zipWriteInFileInZip(zipFile file, const void* buf, unsigned len) {
    xlsx_deflate* d = open_part(file);
    if (!d)
        return real().write ? real().write(file, buf, len) : ZIP_INTERNALERROR;
    try {
        return d->write(buf, len) ? ZIP_OK : part_failed(*d);
    } catch (const std::bad_alloc&) {
        take_part(file);  // the part is lost; its workers stop
        errno = ENOMEM;
        return ZIP_INTERNALERROR;
    }
}

int ZEXPORT zipCloseFileInZip(zipFile file) {
    std::unique_ptr<xlsx_deflate> d = take_part(file);
    if (!d)
        return real().close ? real().close(file) : ZIP_INTERNALERROR;
    try {
        if (!d->finish())
            return part_failed(*d);
    } catch (const std::bad_alloc&) {
        errno = ENOMEM;
        return ZIP_INTERNALERROR;
    }
    return real().close_raw(file, d->size(), d->crc());
}

}  // extern "C"
