#include "common/xls_engi.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <vector>

#include "TK/tk_coding.h"
#include "TK/tk_excep.h"
#include "TK/tk_log.h"
#include "TK/tk_utf.h"
#include "jet/jet_tmpl.h"
#include "stg/stg_file.h"

namespace {

// The one place that asks the workbook driver for the built-in images.
const uint8_t* template_image(int version) {
    return jet_template_image(version).data();
}

constexpr uint16_t k_bof = 0x0809;
constexpr uint16_t k_eof = 0x000A;
constexpr uint16_t k_font = 0x0031;
constexpr uint16_t k_xf = 0x00E0;
constexpr uint16_t k_boundsheet = 0x0085;
constexpr uint16_t k_index = 0x020B;
constexpr uint16_t k_dbcell = 0x00D7;

// Byte images written by the patch. The byte at k_wrap_at is the alignment
// byte: the value shown there is the no-wrap variant; `wrap` adds 0x08.
constexpr size_t k_wrap_at = 6;
constexpr uint8_t k_bold_font_head[12] = {0xC8, 0x00, 0x01, 0x00, 0xFF, 0x7F,
                                          0xBC, 0x02, 0x00, 0x00, 0x00, 0x02};
// The header XFs name font index 5, the fifth FONT record: index 4 is
// reserved in BIFF and readers resolve it differently (one to a bold default,
// one to a dummy slot, one refuses it).
constexpr uint8_t k_header_xf5[16] = {0x05, 0x00, 0x00, 0x00, 0x09, 0x00, 0x12, 0x70,
                                      0x16, 0x20, 0x41, 0x80, 0x49, 0x80, 0x40, 0x20};
constexpr uint8_t k_regular_xf5[10] = {0x00, 0x00, 0x00, 0x00, 0x09, 0x00, 0x10, 0x10, 0xC0, 0x20};
constexpr uint8_t k_header_xf8[20] = {0x05, 0x00, 0x00, 0x00, 0x01, 0x00, 0x12, 0x00, 0x00, 0x78,
                                      0x11, 0x11, 0x40, 0x20, 0x40, 0x20, 0x00, 0x04, 0x16, 0x20};
constexpr uint8_t k_regular_xf8[10] = {0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x10, 0x00, 0x00, 0x10};
constexpr uint8_t k_header_cell_mark = 0x10;

// Stream access in the manner of the walk: every call that fails is an
// internal error naming this source and the line of the call.
struct walker {
    stg_stream& s;

    void seek(uint64_t pos) { s.seek(pos); }
    // Reads exactly n bytes; a short read (past the end) is a failure.
    void read(void* buf, size_t n, int line) {
        size_t k;
        try {
            k = s.read(buf, n);
        } catch (const stg_error&) {
            throw tk_mail_assertion("xls_engi", line);
        }
        if (k != n)
            throw tk_mail_assertion("xls_engi", line);
    }
    // Reads up to n bytes and returns the count.
    size_t read_some(void* buf, size_t n, int line) {
        try {
            return s.read(buf, n);
        } catch (const stg_error&) {
            throw tk_mail_assertion("xls_engi", line);
        }
    }
    void write(const void* buf, size_t n, int line) {
        try {
            s.write(buf, n);
        } catch (const stg_error&) {
            throw tk_mail_assertion("xls_engi", line);
        }
    }
    // Reads a record header (id, body length).
    void header(uint16_t* id, uint16_t* len, int line) {
        uint8_t h[4];
        read(h, 4, line);
        *id = tk::get_u16(h);
        *len = tk::get_u16(h + 2);
    }
};

// Writes `image` with the wrap bit applied to its alignment byte.
void write_image(walker& w, const uint8_t* image, size_t n, bool wrap, int line) {
    uint8_t buf[20];
    std::copy(image, image + n, buf);
    if (wrap)
        buf[k_wrap_at] |= 0x08;
    w.write(buf, n, line);
}

}  // namespace

// ---------------------------------------------------------------- engines

xls_engine::xls_engine(const std::u16string& name_, const std::u16string& connect_,
                       const std::string& description_)
    : name(name_), connect(connect_), description(description_) {
    tk_wtrace(2, u"xls_engine::ctor(%s, %s)", name.c_str(), connect.c_str());
}

xls_engine_50::xls_engine_50()
    : xls_engine(u"Excel 5.0", u"Excel 5.0;",
                 "Destination spreadsheet will be saved in MS Excel 5.0 format.\n"
                 "All strings will be cut to 255 symbols.") {
    tk_trace(2, "xls_engine_50::ctor");
}

xls_engine_80::xls_engine_80()
    : xls_engine(u"Excel 2000", u"Excel 8.0;",
                 "Destination spreadsheet will be saved in MS Excel 2000 format.\n"
                 "Each worksheet can contain not more than 65535 rows.") {
    tk_trace(2, "xls_engine_80::ctor");
}

const uint8_t* xls_engine_50::get_template() {
    return template_image(0);
}
const uint8_t* xls_engine_80::get_template() {
    return template_image(1);
}

void xls_engine::write_empty_xls(const std::u16string& file_name) {
    tk_wtrace(2, u"xls_engine::write_empty_xls(%s)", file_name.c_str());
    const uint8_t* image = get_template();
    int fd = ::open(tk::utf16_to_utf8(file_name).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC,
                    0644);
    if (fd < 0)
        throw tk_exception("Cannot open destination file for writing.", 1);
    ssize_t k;
    do {
        k = ::write(fd, image, k_template_size);
    } while (k < 0 && errno == EINTR);
    int closed = ::close(fd);
    if (k != static_cast<ssize_t>(k_template_size) || closed != 0) {
        throw tk_exception("Failed to write into the destination file.", 1);
    }
}

// ---------------------------------------------------------------- patch

bool xls_engine::patch(const std::u16string& file_name) {
    tk_trace(2, "xls_engine::patch");
    std::unique_ptr<stg_file> storage;
    try {
        storage = stg_file::open(tk::utf16_to_utf8(file_name), true);
    } catch (const stg_error&) {
        tk_trace(2, "Failed to open OLE document");
        return false;
    }
    std::unique_ptr<stg_stream> stream;
    const char16_t* names[] = {u"Book", u"Workbook"};
    for (const char16_t* n : names) {
        if (stream)
            break;
        try {
            stream = storage->open_stream(n);
        } catch (const stg_error&) {
        }
    }
    if (!stream) {
        tk_trace(2, "Stream not found");
        tk_trace(1, "ole_com_ptr<T>::~ole_com_ptr() - %d refs left", 0);
        return false;
    }
    bool ok = true;
    try {
        do_patch(*stream);
    } catch (const std::exception& e) {  // the toolkit family derives from it too
        tk_trace(2, "Got exception: %s", e.what());
        ok = false;
    }
    stream.reset();
    tk_trace(1, "ole_com_ptr<T>::~ole_com_ptr() - %d refs left", 0);
    try {
        storage->release();
    } catch (const std::exception& e) {
        tk_trace(2, "Got exception: %s", e.what());
        ok = false;
    }
    storage.reset();
    tk_trace(1, "ole_com_ptr<T>::~ole_com_ptr() - %d refs left", 0);
    return ok;
}

std::vector<uint32_t> xls_engine::walk_globals(stg_stream& stream, bool biff8) {
    walker w{stream};
    std::vector<uint32_t> sheets;
    int fonts = 0, xfs = 0;
    bool seen_boundsheet = false;
    uint64_t offset = 0;
    w.seek(0);
    tk_trace(1, "Current position: %X", 0u);
    for (;;) {
        uint8_t h[4] = {};
        size_t got = w.read_some(h, 4, __LINE__);
        uint16_t id = tk::get_u16(h), len = tk::get_u16(h + 2);
        tk_trace(1, "BIFF record: (%02X, %02X)", id, len);
        if (got < 4) {
            tk_trace(2, "The end of Stream was reached");
            break;
        }
        if (biff8 && seen_boundsheet && id != k_boundsheet)
            break;
        if (id == k_font) {
            // The fourth FONT record, and the fifth that the header XF
            // names, become bold.
            if (++fonts == 4 || fonts == 5) {
                tk_trace(2, "Got font descr. #%d (offset=%X)", fonts - 1,
                         static_cast<unsigned>(offset));
                w.write(k_bold_font_head, sizeof k_bold_font_head, __LINE__);
            }
        } else if (id == k_xf) {
            ++xfs;
            if (xfs == 17) {
                tk_trace(2, "Got header XF (offset=%X)", static_cast<unsigned>(offset));
                if (biff8) {
                    write_image(w, k_header_xf8, sizeof k_header_xf8, wrap, __LINE__);
                } else {
                    write_image(w, k_header_xf5, sizeof k_header_xf5, wrap, __LINE__);
                }
            } else if (xfs == 16 || (xfs >= 22 && (!biff8 || xfs <= 24))) {
                tk_trace(2, "Got regular XF (offset=%X)", static_cast<unsigned>(offset));
                if (biff8) {
                    write_image(w, k_regular_xf8, sizeof k_regular_xf8, wrap, __LINE__);
                } else {
                    write_image(w, k_regular_xf5, sizeof k_regular_xf5, wrap, __LINE__);
                }
            }
        } else if (id == k_boundsheet) {
            uint8_t pos[4];
            w.read(pos, 4, __LINE__);
            uint32_t bof = tk::get_u32(pos);
            tk_trace(2, "Got sheet offset=%X", bof);
            sheets.push_back(bof);
            seen_boundsheet = true;
        } else if (!biff8 && id == k_eof) {
            break;
        }
        offset += 4 + uint64_t{len};
        tk_trace(1, "Current position: %X", static_cast<unsigned>(offset));
        w.seek(offset);
    }
    return sheets;
}

void xls_engine_50::do_patch(stg_stream& stream) {
    for (uint32_t bof : walk_globals(stream, false)) patch_sheet(stream, bof);
}

void xls_engine_80::do_patch(stg_stream& stream) {
    tk_trace(2, "xls_engine_80::do_patch");
    for (uint32_t bof : walk_globals(stream, true)) patch_sheet(stream, bof);
}

void xls_engine::patch_sheet(stg_stream& stream, uint64_t bof) {
    tk_trace(1, "xls_engine::patch_sheet(%X)", static_cast<unsigned>(bof));
    mark_header_cells(stream, bof, false);
}

void xls_engine_80::patch_sheet(stg_stream& stream, uint64_t bof) {
    tk_trace(1, "xls_engine_80::patch_sheet(%X)", static_cast<unsigned>(bof));
    mark_header_cells(stream, bof, true);
}

void xls_engine::mark_header_cells(stg_stream& stream, uint64_t bof, bool biff8) {
    walker w{stream};
    uint16_t id, len;
    w.seek(bof);
    w.header(&id, &len, __LINE__);
    if (id != k_bof)
        throw tk_mail_assertion("xls_engi", __LINE__);
    w.seek(bof + 4 + len);
    w.header(&id, &len, __LINE__);
    if (id != k_index)
        throw tk_mail_assertion("xls_engi", __LINE__);
    const uint64_t index_body = w.s.tell();
    const unsigned skip = biff8 ? 16 : 12;
    if (len < skip + 4) {
        tk_trace(2, "Empty sheet");
        return;
    }
    uint8_t b[4];
    w.seek(index_body + skip);
    w.read(b, 4, __LINE__);
    const uint32_t d = tk::get_u32(b);
    tk_trace(2, "Got DBCELL offset: %X", d);
    if (d == 0)
        return;
    w.seek(d);
    w.header(&id, &len, __LINE__);
    if (id != k_dbcell)
        throw tk_mail_assertion("xls_engi", __LINE__);
    w.read(b, 4, __LINE__);
    const uint32_t r = tk::get_u32(b);
    if (r >= d)
        throw tk_mail_assertion("xls_engi", __LINE__);
    w.read(b, 2, __LINE__);
    const uint16_t f = tk::get_u16(b);
    const uint64_t first_row = uint64_t{d} - r;
    w.seek(first_row);
    w.header(&id, &len, __LINE__);
    uint64_t c = first_row + 4 + len + f;
    tk_trace(2, "Got 1st cell offset: %X", static_cast<unsigned>(c));
    w.seek(c);
    for (uint32_t i = 0;; ++i) {
        uint8_t h[8];
        if (w.read_some(h, 4, __LINE__) < 4)
            return;
        len = tk::get_u16(h + 2);
        if (len < 6)
            return;
        w.read(h + 4, 4, __LINE__);
        if (tk::get_u16(h + 4) != 0 || tk::get_u16(h + 6) != i)
            return;
        w.write(&k_header_cell_mark, 1, __LINE__);
        c += 4 + uint64_t{len};
        w.seek(c);
    }
}
