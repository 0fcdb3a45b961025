// Writing the workbook on close: globals (with regenerated BOUNDSHEET,
// TABID, SST and EXTSST records), the old sheets copied from the old file,
// the new sheets, then the file's other streams; all into a temporary file
// that replaces the destination only when complete.
#include <algorithm>
#include <cstring>

#include "TK/tk_coding.h"
#include "TK/tk_log.h"
#include "TK/tk_sink.h"
#include "jet/biff_format.h"
#include "jet/jet_dbimpl.h"
#include "jet/jet_name.h"
#include "jet/jet_out.h"
#include "jet/jet_sheet.h"
#include "jet/jet_tmpl.h"
#include "stg/stg_format.h"
#include "stg/stg_write.h"

namespace {

constexpr size_t k_copy_buffer = 1 << 20;

// Copies the substream that starts at `from` (a BOF) up to its EOF, and no
// further than `limit`, walking record headers only. The sheet's INDEX
// record holds absolute positions: they move by `delta` with the sheet.
void copy_substream(stg_stream& in, uint64_t from, uint64_t limit, uint32_t delta, int version,
                    std::vector<uint8_t>& buf, jet_out& out) {
    uint64_t pos = from;
    int depth = 0;
    bool index_done = false;
    while (pos < limit) {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(buf.size(), limit - pos));
        size_t n = 0;
        while (n < want) {
            const size_t got = in.read_at(pos + n, buf.data() + n, want - n);
            if (got == 0)
                break;
            n += got;
        }
        if (n == 0)
            return;
        size_t off = 0;
        bool done = false;
        while (off + 4 <= n) {
            const uint16_t id = tk::get_u16(buf.data() + off);
            const size_t len = tk::get_u16(buf.data() + off + 2);
            if (off + 4 + len > n)
                break;
            uint8_t* body = buf.data() + off + 4;
            if (id == biff::k_bof) {
                ++depth;
            } else if (id == biff::k_eof) {
                --depth;
            } else if (id == biff::k_index && depth == 1 && !index_done) {
                index_done = true;
                const size_t first = version == 1 ? 12 : 8;  // DEFCOLWIDTH position
                for (size_t p = first; p + 4 <= len; p += 4) {
                    const uint32_t v = tk::get_u32(body + p);
                    if (v != 0)
                        tk::put_u32(body + p, v + delta);
                }
            }
            off += 4 + len;
            if (depth <= 0) {
                done = true;
                break;
            }
        }
        if (off == 0)
            off = n;  // a record cut off by the end of the data: copy as it is
        out.write(buf.data(), off);
        pos += off;
        if (done)
            return;
    }
}

void copy_stream(stg_stream& in, stg_writer& w, std::vector<uint8_t>& buf) {
    for (uint64_t pos = 0; pos < in.size();) {
        const size_t n = in.read_at(pos, buf.data(), buf.size());
        if (n == 0)
            break;
        w.write(buf.data(), n);
        pos += n;
    }
}

size_t live_sheets(const jet_database::impl& d) {
    size_t n = 0;
    for (const auto& s : d.sheets) n += s.deleted ? 0 : 1;
    return n;
}

// Bytes of the globals before the string table, as write_workbook_to writes
// them.
uint64_t globals_before_sst(const jet_database::impl& d) {
    uint64_t n = 0;
    for (const jet_grec& r : d.g.recs) {
        switch (r.kind) {
            case jet_grec::copy:
                n += r.len;
                break;
            case jet_grec::boundsheets:
                for (const auto& s : d.sheets)
                    if (!s.deleted)
                        n += 4 + s.info.body.size();
                break;
            case jet_grec::tabid:
                n += 4 + 2 * live_sheets(d);
                break;
            case jet_grec::sst:
                return n;
        }
    }
    return n;
}

}  // namespace

std::optional<stg_spool::place> jet_database::impl::place_string_table() {
    // Not for a plain path: its next content has a name from the start,
    // which a process killed during the rows would leave behind.
    if (!biff8() || read_only || !place_sst || target == nullptr || own_target || early)
        return std::nullopt;
    std::unique_ptr<tk::file_rewrite> next = target->rewrite();
    auto* sink = dynamic_cast<tk::file_sink*>(&next->out());
    if (sink == nullptr || sink->fd() < 0 || sink->size() != 0)
        return std::nullopt;
    early = std::move(next);
    early_sink = sink;
    return stg_spool::place{sink->fd(), stg::kHeaderSize + globals_before_sst(*this)};
}

void jet_database::close() {
    impl& d = *impl_;
    if (d.closed)
        return;
    tk_trace(2, "jet_database::close(%s)", d.path.c_str());
    bool any = false;
    for (const auto& s : d.sheets) any = any || !s.deleted;
    if (!d.read_only && d.dirty && any) {
        std::unique_ptr<tk::file_rewrite> next;
        bool written = false;
        try {
            // The target decides when the new content is put on disk (a
            // plain path: before it takes the name). The old file (held
            // open for its lock) is never written, so releasing it syncs
            // nothing.
            next = d.early ? std::move(d.early) : d.target->rewrite();
            write_workbook_to(next->out());
            written = true;
            next->commit();
        } catch (...) {
            if (d.g.sst.placed()) {
                // The string table lives in that file: kept, from its start
                // again, for another close; gone with it once committing
                // failed.
                auto* sink = next ? dynamic_cast<tk::file_sink*>(&next->out()) : nullptr;
                bool kept = false;
                if (!written && sink != nullptr && sink == d.early_sink) {
                    try {
                        sink->rewind();
                        d.early = std::move(next);
                        kept = true;
                    } catch (...) {
                    }
                }
                if (!kept)
                    d.g.sst.drop_placed();
            }
            jet_rethrow_as_jet(d.path);
        }
        d.g.sst.release_placed();
        d.early_sink = nullptr;
    }
    d.closed = true;
    d.stream.reset();
    d.file.reset();
}

void jet_database::write_workbook_to(tk::sink& sink) {
    impl& d = *impl_;
    const bool b8 = d.biff8();
    const size_t max_body = b8 ? biff::k_max_body_biff8 : biff::k_max_body_biff5;
    stg_writer w(sink);
    w.set_root_clsid(d.file ? d.file->root_clsid() : jet_root_clsid(d.version));
    const std::u16string stream_name = b8 ? u"Workbook" : u"Book";
    w.begin_stream(stream_name);
    // The string table already in this file lies where the globals end; if
    // they changed since it was placed, it is moved before anything is
    // written over it.
    const bool in_place = d.g.sst.placed() && &sink == d.early_sink;
    if (in_place) {
        const uint64_t at = w.file_offset(globals_before_sst(d));
        if (at != d.g.sst.placed_at()) {
            try {
                d.g.sst.move_to(at);
            } catch (...) {
                d.g.sst.drop_placed();  // half moved: the table is lost
                throw;
            }
        }
    }
    jet_out out([&w](const uint8_t* p, size_t n) { w.write(p, n); });
    out.set_skipper([&w](uint64_t n) { w.skip(n); });

    std::vector<impl::sheet*> live;
    for (auto& s : d.sheets)
        if (!s.deleted)
            live.push_back(&s);
    std::vector<uint64_t> pos_field(live.size());

    for (const jet_grec& r : d.g.recs) {
        switch (r.kind) {
            case jet_grec::copy:
                out.write(d.g.bytes.data() + r.off, r.len);
                break;
            case jet_grec::boundsheets:
                for (size_t i = 0; i < live.size(); ++i) {
                    pos_field[i] = out.pos() + 4;
                    const auto& body = live[i]->info.body;
                    out.record(biff::k_boundsheet, body.data(), body.size());
                }
                break;
            case jet_grec::tabid: {
                std::vector<uint8_t> ids;
                for (size_t i = 0; i < live.size(); ++i)
                    tk::append_u16(ids, static_cast<uint16_t>(i + 1));
                out.record(biff::k_tabid, ids.data(), ids.size());
                break;
            }
            case jet_grec::sst:
                if (in_place) {
                    if (w.file_offset(out.pos()) != d.g.sst.placed_at())
                        throw tk_mail_assertion("jet_close", __LINE__);
                    d.g.sst.write_placed(out);
                } else {
                    d.g.sst.write(out, max_body);
                }
                break;
        }
    }

    // Old sheets end where the next substream of the old stream begins.
    std::vector<uint64_t> starts;
    for (const auto& s : d.sheets)
        if (s.old)
            starts.push_back(s.info.old_pos);
    std::sort(starts.begin(), starts.end());
    std::vector<uint8_t> buf;
    std::vector<uint32_t> positions(live.size());
    for (size_t i = 0; i < live.size(); ++i) {
        impl::sheet& s = *live[i];
        const uint64_t at = out.pos();
        if (at > 0xFFFFFFFFull)
            throw jet_error::make(jet_errno::resources);
        positions[i] = static_cast<uint32_t>(at);
        if (s.old) {
            if (buf.empty())
                buf.resize(k_copy_buffer);
            auto next = std::upper_bound(starts.begin(), starts.end(), uint64_t(s.info.old_pos));
            const uint64_t limit = next == starts.end() ? d.stream->size() : *next;
            copy_substream(*d.stream, s.info.old_pos, limit, positions[i] - s.info.old_pos,
                           d.version, buf, out);
        } else {
            s.table->sheet_->write(out, i == 0);
        }
    }
    if (out.pos() > 0xFFFFFFFFull)
        throw jet_error::make(jet_errno::resources);
    out.flush();
    for (size_t i = 0; i < live.size(); ++i) {
        uint8_t p[4];
        tk::put_u32(p, positions[i]);
        w.patch(pos_field[i], p, 4);
    }
    w.end_stream();

    // The file's other streams (property sets and the like) follow as they
    // were; a workbook stream of the other version would be stale, so it
    // is dropped.
    if (d.file) {
        if (buf.empty())
            buf.resize(k_copy_buffer);
        const std::u16string other = b8 ? u"Book" : u"Workbook";
        for (const auto& e : d.file->entries()) {
            if (e.type != 2 || jet_same_name(e.name, stream_name) || jet_same_name(e.name, other))
                continue;
            auto in = d.file->open_stream(e.name);
            w.begin_stream(e.name);
            copy_stream(*in, w, buf);
            w.end_stream();
        }
    }
    w.finish();
}
