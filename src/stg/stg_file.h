// Reading a compound file and overwriting stream bytes in place.
//
// `stg_file::open` checks the whole allocation structure up front (header,
// FAT through the DIFAT, directory, mini FAT, mini stream), so a damaged or
// hostile file fails there with stg_error(corrupt) instead of misbehaving
// later. Opening a stream builds and checks its sector chain: no cycles, no
// sector outside the file, no sector that belongs to the file's own tables,
// enough sectors for the stated size. Reads and writes then go straight to
// the file with pread/pwrite; nothing is loaded whole, so files of any size
// open quickly.
//
// A file opened read-write is locked exclusively (flock); read-only opens
// take a shared lock, so a reader never sees a file that is being patched.
// Writes only overwrite bytes inside a stream: the file's layout and size
// never change.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "stg/stg_error.h"

class stg_file;

// One stream of an open compound file. Owned by the caller; must not outlive
// the stg_file it came from.
class stg_stream {
  public:
    ~stg_stream();
    stg_stream(const stg_stream&) = delete;
    stg_stream& operator=(const stg_stream&) = delete;

    const std::u16string& name() const { return name_; }
    uint64_t size() const { return size_; }

    // Reads up to n bytes at `off`; returns the count read, short only at
    // the end of the stream (0 at or past it).
    size_t read_at(uint64_t off, void* buf, size_t n);
    // Overwrites n bytes at `off`. The range must lie inside [0, size()):
    // stg_error(too_large) otherwise (a stream never grows);
    // stg_error(access_denied) when the file was opened read-only.
    void write_at(uint64_t off, const void* buf, size_t n);

    // Cursor forms, as a stream object of structured storage offers them.
    // Seeking past the end is allowed; reading there returns 0.
    void seek(uint64_t pos) { pos_ = pos; }
    uint64_t tell() const { return pos_; }
    size_t read(void* buf, size_t n);
    void write(const void* buf, size_t n);

  private:
    friend class stg_file;
    stg_stream(stg_file& file, std::u16string name, uint64_t size, bool mini,
               std::vector<uint32_t> chain);
    // Maps a stream offset to a file offset and the bytes contiguous there.
    uint64_t locate(uint64_t off, uint64_t want, uint64_t* run) const;

    stg_file* file_;
    std::u16string name_;
    uint64_t size_;
    bool mini_;
    std::vector<uint32_t> chain_;  // regular sectors, or mini sectors when mini_
    uint64_t pos_ = 0;
};

struct stg_entry {
    std::u16string name;
    int type;  // 1 storage, 2 stream (the root, 5, is not listed)
    uint64_t size;
};

class stg_file {
  public:
    // Opens `path`. Errors: not_found, access_denied, locked (the other
    // party holds a conflicting lock), corrupt, io.
    static std::unique_ptr<stg_file> open(const std::string& path, bool read_write);
    ~stg_file();
    stg_file(const stg_file&) = delete;
    stg_file& operator=(const stg_file&) = delete;

    bool read_write() const { return read_write_; }
    int major_version() const { return major_; }
    uint32_t sector_size() const { return 1u << shift_; }

    // Every allocated directory entry but the root, in directory order.
    std::vector<stg_entry> entries() const;
    // Top-level streams only (children of the root), case-insensitive.
    bool has_stream(const std::u16string& name) const;
    std::unique_ptr<stg_stream> open_stream(const std::u16string& name);
    const uint8_t* root_clsid() const { return root_clsid_; }

    // Puts every write on disk (fsync); the file stays open and usable.
    // Nothing is done when nothing was written since the last release.
    // The destructor does the same and swallows its errors; it also closes
    // the file and drops the lock.
    void release();

  private:
    friend class stg_stream;
    struct dir_entry {
        std::u16string name;
        uint8_t type;
        uint32_t left, right, child;
        uint32_t start;
        uint64_t size;
    };

    stg_file(int fd, bool read_write);
    void load();
    void load_header(uint8_t* header);
    void load_fat(const uint8_t* header);
    void load_directory();
    void load_mini();
    void walk_top_level();
    std::vector<uint32_t> chain(const std::vector<uint32_t>& table, uint32_t limit, uint32_t start,
                                uint64_t needed, const char* what) const;
    size_t pread_some(uint64_t off, void* buf, size_t n) const;
    void pread_zero(uint64_t off, void* buf, size_t n) const;
    void pwrite_all(uint64_t off, const void* buf, size_t n);
    uint64_t sector_offset(uint32_t id) const { return (static_cast<uint64_t>(id) + 1) << shift_; }
    void mark_system(uint32_t id);
    void check_data_sectors(const std::vector<uint32_t>& sectors, uint64_t size,
                            const char* what) const;

    int fd_;
    bool read_write_;
    bool unsynced_ = false;  // written since the last fsync
    int major_ = 3;
    uint32_t shift_ = 9;
    uint64_t file_size_ = 0;
    uint32_t nsectors_ = 0;  // sectors that begin inside the file
    uint32_t mini_cutoff_ = 4096;
    uint32_t first_dir_ = 0, first_minifat_ = 0, num_minifat_ = 0;
    std::vector<uint32_t> fat_;
    std::vector<uint32_t> minifat_;
    std::vector<uint8_t> system_;  // 1 for sectors of the tables and the mini stream
    std::vector<dir_entry> dir_;
    std::vector<uint32_t> top_;         // entry ids of the root's children
    std::vector<uint32_t> mini_chain_;  // sectors of the mini stream
    uint64_t mini_size_ = 0;
    uint8_t root_clsid_[16] = {};
};
