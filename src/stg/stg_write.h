// Writing a new compound file onto a byte sink, one stream after another.
//
// Layout (callers rely on it; the built-in empty workbooks are made with it):
//   header, 512 bytes: placeholder written first, the real one at the end
//     through write_at, at the sink position the writer started at;
//   each regular stream's sectors, contiguously, in the order added
//     (sector 0 = first regular stream);
//   the mini stream's sectors and then the mini FAT, when some stream is
//     shorter than 4096 bytes;
//   the FAT sectors, then DIFAT sectors when more than 109 FAT sectors are
//     needed, then the directory sectors.
// Directory: the Root Entry first, then the streams in the order added; the
// root's children form a balanced red-black tree. Version 3 (512-byte
// sectors, 64-byte mini sectors, cutoff 4096). File size = 512 + whole sectors.
//
// A stream shorter than 4096 bytes always ends up in the mini stream, also
// when written piecewise: the writer keeps the first 4096 bytes of the
// current stream in memory before it commits to regular sectors. Beyond that
// the writer holds only the allocation tables (4 bytes per 512 written), so
// streams of any size are written in constant memory.
//
// Errors: a sink failure propagates as the sink's exception and leaves the
// writer unusable; misuse (bad or duplicate names, calls out of order)
// throws std::logic_error; a stream reaching 2 GiB throws
// stg_error(too_large).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "TK/tk_sink.h"
#include "stg/stg_error.h"

class stg_writer {
  public:
    // Writes the 512-byte header placeholder to `out` at once. `out` must
    // outlive the writer.
    explicit stg_writer(tk::sink& out);

    void set_root_clsid(const uint8_t clsid[16]);

    // Streaming form: one stream at a time, written contiguously.
    void begin_stream(const std::u16string& name);
    void write(const void* data, size_t n);
    // Passes over n bytes of the current stream that are already in the
    // file, at the sink's position (see tk::sink::skip). The stream then
    // lies in regular sectors whatever its final size.
    void skip(uint64_t n);
    // File offset of the current stream's byte `stream_off`, for a stream in
    // regular sectors (the first stream's sectors start right after the
    // header: sink position of the writer's start + 512).
    uint64_t file_offset(uint64_t stream_off) const;
    // Bytes written to the current stream so far.
    uint64_t stream_pos() const { return pos_; }
    // Overwrites bytes already written to the current stream:
    // stream_off + n <= stream_pos().
    void patch(uint64_t stream_off, const void* data, size_t n);
    void end_stream();

    // Whole-buffer form for small streams (property sets).
    void add_stream(const std::u16string& name, const void* data, size_t n);

    // Writes the mini stream, the tables and the directory, then the header.
    // No stream may be open. The writer is spent afterwards.
    void finish();

  private:
    struct entry {
        std::u16string name;
        uint32_t start;
        uint64_t size;
    };
    void commit_regular();
    void write_zeros(uint64_t n);
    uint64_t sector_pos(uint32_t id) const { return base_ + 512 + uint64_t(id) * 512; }
    void write_u32_sectors(const std::vector<uint32_t>& words);
    void write_directory();

    tk::sink& out_;
    uint64_t base_;
    uint8_t clsid_[16] = {};
    std::vector<uint32_t> fat_;      // regular sectors written so far
    std::vector<uint32_t> minifat_;  // mini sectors
    std::vector<uint8_t> mini_;      // the mini stream, kept until finish
    std::vector<entry> entries_;     // streams in the order added
    std::vector<uint8_t> pending_;   // head of the current stream (< 4096 bytes)
    bool open_ = false;
    bool regular_ = false;  // the current stream has committed to sectors
    bool finished_ = false;
    uint32_t first_ = 0;  // first sector of the current regular stream
    uint64_t pos_ = 0;
    uint32_t root_start_ = 0xFFFFFFFE;
    uint64_t root_size_ = 0;
};
