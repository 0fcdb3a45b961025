// The shared string table of a BIFF8 workbook: every text cell refers to a
// string of this table by index (LABELSST), so each distinct text is stored
// once. Strings are kept in their file form (count, option byte, 8-bit or
// 16-bit characters) in a spool (an unnamed temporary file once past its
// first MiB), so the texts never stay in memory. What stays is what a lookup
// needs at random: an open-addressing hash of (hash, index) slots, each
// entry's spool position, and a small direct-mapped cache of short entries;
// a hash match is confirmed against the stored text (from the cache, the
// spool's buffer, or a read of the spool), so equal hashes never merge two
// texts. Memory: 24 to 40 bytes per distinct string plus 1.5 MiB.
//
// Strings of an existing workbook are loaded first, at their own indexes
// (duplicates included), so that the cells of the workbook's sheets keep
// pointing at the same texts; new texts are appended.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "jet/biff_format.h"
#include "stg/stg_tmp.h"

class jet_out;

class jet_sst {
  public:
    // `folder`: where the spool's temporary file goes (see stg_spool).
    explicit jet_sst(std::string folder = {}) : store_(std::move(folder)) {}
    // The same, for a table already made (before its first add).
    void spool_in(std::string folder) { store_.set_folder(std::move(folder)); }
    jet_sst(const jet_sst&) = delete;
    jet_sst& operator=(const jet_sst&) = delete;

    // Index of `s`, added when new. `s` holds at most 65,535 UTF-16 units
    // (callers keep cell texts to 32,767). Counts one cell reference.
    uint32_t add(std::u16string_view s) { return add(s, hash(s)); }
    // The same with `h` = hash(s), worked out beforehand: prefetch(h) then
    // starts loading the lookup's slot, so that the texts of a row are
    // looked up together instead of waiting for memory one after another.
    uint32_t add(std::u16string_view s, uint32_t h);
    uint32_t hash(std::u16string_view s) const;
    void prefetch(uint32_t h) const;
    // Appends `s` at the next index even when an equal string exists (for
    // the strings of a workbook being reopened); counts no reference.
    void add_existing(std::u16string_view s);

    uint32_t unique() const { return static_cast<uint32_t>(entries_.size()); }
    uint32_t total() const { return total_; }
    void set_total(uint32_t t) { total_ = t; }
    std::u16string text(uint32_t index) const;

    // Writes SST with its CONTINUE records, then EXTSST. `max_body` is the
    // largest record body (8,224, as stored; tests use smaller ones).
    void write(jet_out& out, size_t max_body);

    // The table's records are kept as the file has them (8,224-byte
    // bodies). `placer` may put them straight into the file being made, at
    // the place the table will have there (see stg_spool::place_with);
    // write_placed then writes only what is not there yet, `out` being the
    // writer of that file positioned at that place. Either write is the
    // table's last use when placed.
    void place_with(stg_spool::placer placer) { store_.place_with(std::move(placer)); }
    bool placed() const { return store_.placed(); }
    uint64_t placed_at() const { return store_.placed_at(); }
    void move_to(uint64_t offset) { store_.move_to(offset); }
    void write_placed(jet_out& out);
    // After a failed close: the file the table was in is gone, and the
    // table with it (any later write fails).
    void drop_placed();
    // After the file was written: the table is done with its descriptor.
    void release_placed() {
        if (store_.placed())
            store_.forget();
    }

  private:
    // Encodes `s` at the tail of the storage (not committed); returns the
    // entry length.
    size_t encode(std::u16string_view s, uint8_t* p) const;
    uint32_t find_or_insert(const uint8_t* e, size_t len, uint32_t h, bool force);
    // Storage in records: the SST record's header and counts first; each
    // entry is laid out at the tail with the CONTINUE headers it needs.
    static constexpr size_t k_body = biff::k_max_body_biff8;
    static size_t room_for(size_t units);
    void start();
    void store_entry(size_t len);
    void begin_continue(uint8_t* p, uint64_t pos);
    void finish_records();
    void write_extsst(jet_out& out, uint64_t sst_pos) const;
    // Whether the entry at `at` lies in one record; its bytes without the
    // CONTINUE headers between.
    bool whole(uint64_t at, size_t len) const;
    void read_entry(uint64_t at, size_t len, std::vector<uint8_t>& out) const;
    // Whether stored entry `index` (hash h) is the len bytes at e.
    bool same(uint32_t index, uint32_t h, const uint8_t* e, size_t len);
    void remember(uint32_t index, uint32_t h, const uint8_t* e, size_t len);
    void grow();

    stg_spool store_;
    std::vector<uint64_t> entries_;  // spool position of each entry
    std::vector<uint64_t> recs_;     // spool position of each record's header
    size_t body_ = 0;                // bytes in the last record's body
    bool lost_ = false;              // see drop_placed
    // Open addressing with linear probes. A slot keeps the entry's hash
    // beside its index, so that a probe reads one cache line, and a probe
    // of a slot with another hash reads nothing more.
    struct slot {
        uint32_t hash = 0;
        uint32_t index = 0;  // entry index + 1; 0 = empty
    };
    std::vector<slot> slots_;
    uint32_t total_ = 0;
    // Recently stored or confirmed short entries, by hash: repeated short
    // texts (codes, names, status words) are confirmed without a read.
    struct cached {
        uint32_t index;  // entry index + 1; 0 = empty
        uint16_t len;
        uint8_t bytes[122];
    };
    static constexpr size_t k_cache_lines = 4096;
    std::unique_ptr<cached[]> cache_;
    std::vector<uint8_t> scratch_;  // one entry read back
};

// Reads the strings of an SST record and its CONTINUE records, one record
// body at a time, into a jet_sst. Formatting runs and phonetic data are
// skipped (the texts are kept). Throws jet_error(3274) on a malformed table.
class jet_sst_reader {
  public:
    explicit jet_sst_reader(jet_sst& sst) : sst_(sst) {}
    // The SST body first, then each CONTINUE body in order.
    void feed(const uint8_t* body, size_t n);
    // Checks that every announced string was read.
    void finish();

    // Where each string begins: (number of the record it begins in, 0 for
    // the SST; offset in that record's body). Filled only when set.
    std::vector<std::pair<uint32_t, uint32_t>>* starts = nullptr;
    // Strings whose header ended a record while characters remained (a
    // split before the first character, which writers must avoid).
    uint32_t header_splits = 0;

  private:
    uint32_t record_ = 0;  // records fed so far
    enum class stage { counts, header, chars, skip, done };
    jet_sst& sst_;
    stage stage_ = stage::counts;
    uint32_t left_ = 0;   // strings still to read
    uint32_t chars_ = 0;  // characters of the current string still to read
    uint64_t skip_ = 0;   // bytes of runs and phonetic data still to skip
    bool wide_ = false;
    std::u16string text_;
};
