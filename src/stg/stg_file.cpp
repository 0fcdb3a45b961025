#include "stg/stg_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "TK/tk_coding.h"
#include "TK/tk_log.h"
#include "TK/tk_utf.h"
#include "stg/stg_format.h"
#include "stg/stg_name.h"

namespace {

[[noreturn]] void corrupt(const std::string& what) {
    throw stg_error(stg_errc::corrupt, "Damaged compound file: " + what);
}

[[noreturn]] void sys_error(const std::string& what, int err) {
    std::string text = what + ": " + std::strerror(err);
    switch (err) {
        case ENOENT:
        case ENOTDIR:
            throw stg_error(stg_errc::not_found, text);
        case EACCES:
        case EPERM:
        case EROFS:
            throw stg_error(stg_errc::access_denied, text);
        case EWOULDBLOCK:
            throw stg_error(stg_errc::locked, text);
        default:
            throw stg_error(stg_errc::io, text);
    }
}

}  // namespace

std::unique_ptr<stg_file> stg_file::open(const std::string& path, bool read_write) {
    tk_trace(1, "stg_file::open(%s, %d)", path.c_str(), read_write ? 1 : 0);
    int fd = ::open(path.c_str(), (read_write ? O_RDWR : O_RDONLY) | O_CLOEXEC);
    if (fd < 0)
        sys_error("Cannot open " + path, errno);
    std::unique_ptr<stg_file> file(new stg_file(fd, read_write));
    if (::flock(fd, (read_write ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
        sys_error("Cannot lock " + path, errno == EWOULDBLOCK ? EWOULDBLOCK : errno);
    }
    struct stat st;
    if (::fstat(fd, &st) != 0)
        sys_error("Cannot read " + path, errno);
    if (!S_ISREG(st.st_mode))
        throw stg_error(stg_errc::corrupt, path + " is not a regular file");
    file->file_size_ = static_cast<uint64_t>(st.st_size);
    file->load();
    return file;
}

stg_file::stg_file(int fd, bool read_write) : fd_(fd), read_write_(read_write) {}

stg_file::~stg_file() {
    try {
        release();
    } catch (...) {
    }
    ::close(fd_);  // also drops the flock
}

void stg_file::release() {
    // Only writes made through this object need the disk: a file opened
    // read-write but never written (a workbook that is being replaced
    // whole by a new file) or already flushed has nothing to protect.
    if (!unsynced_)
        return;
    if (::fsync(fd_) != 0)
        sys_error("Cannot flush the compound file", errno);
    unsynced_ = false;
}

size_t stg_file::pread_some(uint64_t off, void* buf, size_t n) const {
    auto* p = static_cast<uint8_t*>(buf);
    size_t done = 0;
    while (done < n) {
        ssize_t k = ::pread(fd_, p + done, n - done, static_cast<off_t>(off + done));
        if (k < 0) {
            if (errno == EINTR)
                continue;
            sys_error("Cannot read the compound file", errno);
        }
        if (k == 0)
            break;
        done += static_cast<size_t>(k);
    }
    return done;
}

void stg_file::pread_zero(uint64_t off, void* buf, size_t n) const {
    size_t k = pread_some(off, buf, n);
    if (k < n)
        std::memset(static_cast<uint8_t*>(buf) + k, 0, n - k);
}

void stg_file::pwrite_all(uint64_t off, const void* buf, size_t n) {
    unsynced_ = true;  // also when the write fails halfway
    const auto* p = static_cast<const uint8_t*>(buf);
    while (n > 0) {
        ssize_t k = ::pwrite(fd_, p, n, static_cast<off_t>(off));
        if (k < 0) {
            if (errno == EINTR)
                continue;
            sys_error("Cannot write the compound file", errno);
        }
        p += k;
        off += static_cast<uint64_t>(k);
        n -= static_cast<size_t>(k);
    }
}

void stg_file::load() {
    uint8_t header[stg::kHeaderSize];
    if (file_size_ < stg::kHeaderSize)
        corrupt("file shorter than its header");
    pread_zero(0, header, sizeof header);
    load_header(header);
    load_fat(header);
    load_directory();
    walk_top_level();
    load_mini();
}

void stg_file::load_header(uint8_t* h) {
    if (std::memcmp(h, stg::kSignature, sizeof stg::kSignature) != 0) {
        throw stg_error(stg_errc::corrupt, "Not a compound file (no OLE2 signature)");
    }
    major_ = tk::get_u16(h + stg::kOffMajorVersion);
    shift_ = tk::get_u16(h + stg::kOffSectorShift);
    if (major_ != stg::kMajorVersion3 && major_ != stg::kMajorVersion4) {
        corrupt("unknown major version " + std::to_string(major_));
    }
    // Some writers pair the version and sector size loosely; both sizes are
    // read correctly whatever the version says.
    if (shift_ != stg::kSectorShift3 && shift_ != stg::kSectorShift4)
        corrupt("bad sector size");
    if (tk::get_u16(h + stg::kOffMiniSectorShift) != stg::kMiniSectorShift) {
        corrupt("bad mini sector size");
    }
    mini_cutoff_ = tk::get_u32(h + stg::kOffMiniCutoff);
    if (mini_cutoff_ != stg::kMiniStreamCutoff)
        corrupt("bad mini stream cutoff");
    uint64_t ssz = 1ull << shift_;
    if (file_size_ <= ssz)
        corrupt("no sectors");
    uint64_t n = (file_size_ - ssz + ssz - 1) / ssz;
    if (n >= stg::kMaxRegSect)
        corrupt("file too large for its sector size");
    nsectors_ = static_cast<uint32_t>(n);
    system_.assign(nsectors_, 0);
    first_dir_ = tk::get_u32(h + stg::kOffFirstDirSector);
    first_minifat_ = tk::get_u32(h + stg::kOffFirstMiniFat);
    num_minifat_ = tk::get_u32(h + stg::kOffNumMiniFat);
}

void stg_file::mark_system(uint32_t id) {
    if (id >= nsectors_)
        corrupt("sector number past the end of the file");
    if (system_[id])
        corrupt("sector used twice by the allocation tables");
    system_[id] = 1;
}

void stg_file::load_fat(const uint8_t* h) {
    const uint32_t ssz = 1u << shift_;
    const uint32_t per_sector = ssz / 4;
    uint32_t num_fat = tk::get_u32(h + stg::kOffNumFatSectors);
    if (num_fat == 0 || num_fat > nsectors_)
        corrupt("bad FAT sector count");
    std::vector<uint32_t> fat_sectors;
    fat_sectors.reserve(num_fat);
    for (uint32_t i = 0; i < stg::kHeaderDifatCount && fat_sectors.size() < num_fat; ++i) {
        fat_sectors.push_back(tk::get_u32(h + stg::kOffHeaderDifat + 4 * i));
    }
    // The rest of the list lives in the DIFAT chain: per_sector - 1 entries
    // per sector, the last word pointing to the next DIFAT sector.
    uint32_t difat = tk::get_u32(h + stg::kOffFirstDifat);
    std::vector<uint8_t> buf(ssz);
    while (fat_sectors.size() < num_fat) {
        if (difat >= nsectors_)
            corrupt("DIFAT chain ends early");
        mark_system(difat);  // a revisited DIFAT sector (a cycle) fails here
        pread_zero(sector_offset(difat), buf.data(), ssz);
        for (uint32_t i = 0; i + 1 < per_sector && fat_sectors.size() < num_fat; ++i) {
            fat_sectors.push_back(tk::get_u32(buf.data() + 4 * i));
        }
        difat = tk::get_u32(buf.data() + 4 * (per_sector - 1));
    }
    for (uint32_t id : fat_sectors) mark_system(id);
    fat_.assign(static_cast<size_t>(num_fat) * per_sector, stg::kFreeSect);
    // Read runs of consecutive FAT sectors with one call each.
    size_t i = 0;
    while (i < fat_sectors.size()) {
        size_t j = i + 1;
        while (j < fat_sectors.size() && fat_sectors[j] == fat_sectors[j - 1] + 1 && j - i < 256) {
            ++j;
        }
        size_t bytes = (j - i) * ssz;
        buf.resize(bytes);
        pread_zero(sector_offset(fat_sectors[i]), buf.data(), bytes);
        for (size_t k = 0; k < (j - i) * per_sector; ++k) {
            fat_[i * per_sector + k] = tk::get_u32(buf.data() + 4 * k);
        }
        i = j;
    }
    // Entries for sectors that do not exist are never followed.
    if (fat_.size() > nsectors_)
        fat_.resize(nsectors_);
}

std::vector<uint32_t> stg_file::chain(const std::vector<uint32_t>& table, uint32_t limit,
                                      uint32_t start, uint64_t needed, const char* what) const {
    std::vector<uint32_t> out;
    if (needed == 0)
        return out;
    if (needed > limit)
        corrupt(std::string(what) + ": size past the end of the file");
    out.reserve(static_cast<size_t>(needed));
    std::vector<bool> seen(limit, false);
    uint32_t id = start;
    // Follow to the end of the chain even past the size, so a cycle in the
    // tail is noticed too; the walk is bounded by the table size.
    while (id != stg::kEndOfChain) {
        if (id >= limit || id >= table.size()) {
            corrupt(std::string(what) + ": bad sector number in chain");
        }
        if (seen[id])
            corrupt(std::string(what) + ": cycle in sector chain");
        seen[id] = true;
        if (out.size() < needed)
            out.push_back(id);
        id = table[id];
    }
    if (out.size() < needed)
        corrupt(std::string(what) + ": size past the end of its chain");
    return out;
}

void stg_file::load_directory() {
    const uint32_t ssz = 1u << shift_;
    // The directory's length is its chain's length: walk it with "needed"
    // set to the largest possible count.
    std::vector<uint32_t> sectors;
    {
        std::vector<bool> seen(nsectors_, false);
        uint32_t id = first_dir_;
        while (id != stg::kEndOfChain) {
            if (id >= nsectors_ || id >= fat_.size())
                corrupt("directory: bad sector number");
            if (seen[id])
                corrupt("directory: cycle in sector chain");
            seen[id] = true;
            sectors.push_back(id);
            id = fat_[id];
        }
    }
    if (sectors.empty())
        corrupt("no directory");
    for (uint32_t id : sectors) mark_system(id);
    const uint32_t per_sector = ssz / stg::kDirEntrySize;
    std::vector<uint8_t> buf(ssz);
    dir_.reserve(sectors.size() * per_sector);
    for (uint32_t id : sectors) {
        pread_zero(sector_offset(id), buf.data(), ssz);
        for (uint32_t k = 0; k < per_sector; ++k) {
            const uint8_t* e = buf.data() + k * stg::kDirEntrySize;
            dir_entry d;
            d.type = e[stg::kOffDirType];
            d.left = tk::get_u32(e + stg::kOffDirLeft);
            d.right = tk::get_u32(e + stg::kOffDirRight);
            d.child = tk::get_u32(e + stg::kOffDirChild);
            d.start = tk::get_u32(e + stg::kOffDirStart);
            d.size = tk::get_u64(e + stg::kOffDirSize);
            // Version 3 writers may leave garbage in the high half.
            if (major_ == stg::kMajorVersion3)
                d.size &= 0xFFFFFFFFull;
            if (d.type != stg::kTypeStorage && d.type != stg::kTypeStream &&
                d.type != stg::kTypeRoot) {
                d.type = stg::kTypeUnused;  // free, or an obsolete kind we ignore
            } else {
                uint16_t len = tk::get_u16(e + stg::kOffDirNameLength);
                if (len > 64 || (len & 1))
                    corrupt("directory entry with a bad name length");
                size_t units = len >= 2 ? len / 2 - 1 : 0;
                d.name.resize(units);
                for (size_t u = 0; u < units; ++u) d.name[u] = tk::get_u16(e + 2 * u);
            }
            if (dir_.empty())
                std::memcpy(root_clsid_, e + stg::kOffDirClsid, 16);
            dir_.push_back(std::move(d));
        }
    }
    if (dir_[0].type != stg::kTypeRoot)
        corrupt("first directory entry is not the root");
}

void stg_file::walk_top_level() {
    // The root's children form a binary tree through left/right links; we
    // only need its members, so a plain walk with a visited set is enough and
    // stops any loop.
    std::vector<bool> seen(dir_.size(), false);
    seen[0] = true;
    std::vector<uint32_t> stack;
    if (dir_[0].child != stg::kNoStream)
        stack.push_back(dir_[0].child);
    while (!stack.empty()) {
        uint32_t id = stack.back();
        stack.pop_back();
        if (id >= dir_.size())
            corrupt("directory link past the last entry");
        if (seen[id])
            corrupt("loop in the directory tree");
        seen[id] = true;
        const dir_entry& d = dir_[id];
        if (d.type == stg::kTypeUnused || d.type == stg::kTypeRoot) {
            corrupt("directory tree links to a free entry");
        }
        top_.push_back(id);
        if (d.left != stg::kNoStream)
            stack.push_back(d.left);
        if (d.right != stg::kNoStream)
            stack.push_back(d.right);
    }
}

void stg_file::load_mini() {
    const dir_entry& root = dir_[0];
    mini_size_ = root.size;
    const uint32_t ssz = 1u << shift_;
    uint64_t need = (mini_size_ + ssz - 1) / ssz;
    mini_chain_ = chain(fat_, nsectors_, root.start, need, "mini stream");
    check_data_sectors(mini_chain_, mini_size_, "mini stream");
    for (uint32_t id : mini_chain_) system_[id] = 1;
    if (num_minifat_ == 0 || first_minifat_ == stg::kEndOfChain)
        return;
    std::vector<uint32_t> sectors =
        chain(fat_, nsectors_, first_minifat_, num_minifat_, "mini FAT");
    for (uint32_t id : sectors) mark_system(id);
    const uint32_t per_sector = ssz / 4;
    minifat_.resize(sectors.size() * per_sector);
    std::vector<uint8_t> buf(ssz);
    for (size_t i = 0; i < sectors.size(); ++i) {
        pread_zero(sector_offset(sectors[i]), buf.data(), ssz);
        for (uint32_t k = 0; k < per_sector; ++k) {
            minifat_[i * per_sector + k] = tk::get_u32(buf.data() + 4 * k);
        }
    }
    // Mini sectors past the mini stream's end can never be read.
    uint64_t mini_sectors = mini_size_ / stg::kMiniSectorSize;
    if (minifat_.size() > mini_sectors)
        minifat_.resize(static_cast<size_t>(mini_sectors));
}

void stg_file::check_data_sectors(const std::vector<uint32_t>& sectors, uint64_t size,
                                  const char* what) const {
    const uint64_t ssz = 1ull << shift_;
    for (size_t i = 0; i < sectors.size(); ++i) {
        if (system_[sectors[i]])
            corrupt(std::string(what) + ": sector shared with the tables");
        uint64_t used = size - i * ssz;
        if (used > ssz)
            used = ssz;
        if (sector_offset(sectors[i]) + used > file_size_) {
            corrupt(std::string(what) + ": data past the end of the file");
        }
    }
}

std::vector<stg_entry> stg_file::entries() const {
    std::vector<stg_entry> out;
    for (size_t i = 1; i < dir_.size(); ++i) {
        const dir_entry& d = dir_[i];
        if (d.type == stg::kTypeStorage || d.type == stg::kTypeStream) {
            out.push_back({d.name, d.type, d.size});
        }
    }
    return out;
}

bool stg_file::has_stream(const std::u16string& name) const {
    for (uint32_t id : top_) {
        if (dir_[id].type == stg::kTypeStream && stg::same_name(dir_[id].name, name))
            return true;
    }
    return false;
}

std::unique_ptr<stg_stream> stg_file::open_stream(const std::u16string& name) {
    tk_wtrace(1, u"stg_file::open_stream(%s)", name.c_str());
    for (uint32_t id : top_) {
        const dir_entry& d = dir_[id];
        if (d.type != stg::kTypeStream || !stg::same_name(d.name, name))
            continue;
        if (major_ == stg::kMajorVersion3 && d.size > stg::kMaxStreamSize3) {
            corrupt("stream size over the version 3 limit");
        }
        bool mini = d.size < mini_cutoff_;
        std::vector<uint32_t> sectors;
        if (mini) {
            uint64_t need = (d.size + stg::kMiniSectorSize - 1) / stg::kMiniSectorSize;
            sectors = chain(minifat_, static_cast<uint32_t>(minifat_.size()), d.start, need,
                            "stream in the mini stream");
        } else {
            const uint64_t ssz = 1ull << shift_;
            sectors = chain(fat_, nsectors_, d.start, (d.size + ssz - 1) / ssz, "stream");
            check_data_sectors(sectors, d.size, "stream");
        }
        return std::unique_ptr<stg_stream>(
            new stg_stream(*this, d.name, d.size, mini, std::move(sectors)));
    }
    throw stg_error(stg_errc::not_found, "Stream not found: " + tk::utf16_to_utf8(name));
}
