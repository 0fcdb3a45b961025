// Opening a workbook: parsing the connect string, reading the globals of an
// existing file and checking where its sheets are, or starting a new one.
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

#include "TK/tk_coding.h"
#include "TK/tk_excep.h"
#include "TK/tk_log.h"
#include "jet/biff_format.h"
#include "jet/jet_dbimpl.h"
#include "jet/jet_layout.h"
#include "jet/jet_recrd.h"

namespace {

// 0 for "Excel 5.0;", 1 for "Excel 8.0;", -1 otherwise.
int connect_version(const std::u16string& connect) {
    std::string s;
    for (char16_t c : connect) {
        if (c == u';')
            break;
        s.push_back(c < 0x80 ? static_cast<char>(std::tolower(static_cast<int>(c))) : '?');
    }
    if (connect.find(u';') == std::u16string::npos)
        return -1;
    if (s == "excel 5.0")
        return 0;
    if (s == "excel 8.0")
        return 1;
    return -1;
}

std::string parent_dir(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

// Checks every old sheet: its BOF lies after the globals, inside the
// stream, at a position no other sheet uses, and is a BOF of the version.
void check_sheets(jet_database::impl& d) {
    std::vector<uint32_t> seen;
    const uint64_t size = d.stream->size();
    for (const auto& s : d.sheets) {
        const uint32_t pos = s.info.old_pos;
        if (pos < d.g.end || uint64_t(pos) + 8 > size)
            throw jet_error::make(jet_errno::bad_format);
        if (std::find(seen.begin(), seen.end(), pos) != seen.end())
            throw jet_error::make(jet_errno::bad_format);
        seen.push_back(pos);
        uint8_t h[8];
        if (d.stream->read_at(pos, h, 8) != 8 || tk::get_u16(h) != biff::k_bof ||
            tk::get_u16(h + 4) != (d.biff8() ? biff::k_bof_biff8 : biff::k_bof_biff5))
            throw jet_error::make(jet_errno::bad_format);
    }
}

void open_existing(jet_database::impl& d, const std::string& content, bool exclusive) {
    d.is_new = false;
    d.file = stg_file::open(content, exclusive && !d.read_only);
    const std::u16string name = d.biff8() ? u"Workbook" : u"Book";
    if (!d.file->has_stream(name))
        throw jet_error::make(jet_errno::bad_format);
    if (!d.read_only) {
        // Storages (macros, embedded objects) cannot be carried over.
        for (const auto& e : d.file->entries())
            if (e.type == 1)
                throw jet_error::make(jet_errno::bad_format);
    }
    d.stream = d.file->open_stream(name);
    stg_stream* st = d.stream.get();
    jet_rec_reader rd([st](uint64_t off, void* buf, size_t n) { return st->read_at(off, buf, n); },
                      st->size());
    jet_parse_globals(rd, d.version, d.g);
    if (d.g.sheets.empty())
        throw jet_error::make(jet_errno::bad_format);
    if (!d.read_only) {
        // Cells written here would be misread in another date system or
        // code page than the ones the driver writes.
        if (d.g.date1904)
            throw jet_error::make(jet_errno::bad_format);
        if (!d.biff8() && d.g.codepage != 0 && !tk_codepage_supported(d.g.codepage))
            throw jet_error::make(jet_errno::bad_format);
    }
    if (!d.biff8()) {
        const int cp = tk_codepage_supported(d.g.codepage) ? d.g.codepage : 1252;
        d.cp = std::make_unique<tk_codepage>(cp);
    }
    for (auto& gs : d.g.sheets) {
        jet_database::impl::sheet s;
        s.info = std::move(gs);
        s.old = true;
        d.sheets.push_back(std::move(s));
    }
    d.g.sheets.clear();
    check_sheets(d);
}

void start_new(jet_database::impl& d) {
    std::vector<uint8_t> bytes;
    jet_layout::globals_options o;
    o.version = d.version;
    if (!d.biff8()) {
        d.cp = std::make_unique<tk_codepage>(tk_ansi_codepage());
        o.codepage = static_cast<uint16_t>(d.cp->number());
    }
    jet_layout::globals(bytes, o);
    jet_rec_reader rd(
        [&bytes](uint64_t off, void* buf, size_t n) {
            const size_t take =
                std::min<uint64_t>(n, bytes.size() - std::min<uint64_t>(off, bytes.size()));
            std::memcpy(buf, bytes.data() + off, take);
            return take;
        },
        bytes.size());
    jet_parse_globals(rd, d.version, d.g);
}

}  // namespace

void jet_rethrow_as_jet(const std::string& path) {
    try {
        throw;
    } catch (const jet_error&) {
        throw;
    } catch (const tk_mail_assertion&) {
        throw;  // an internal error stays one
    } catch (const tk_write_failure&) {
        throw;  // the driver ends the run on it
    } catch (const stg_error& e) {
        tk_trace(2, "jet: %s", e.what());
        switch (e.code()) {
            case stg_errc::not_found:
                throw jet_error::make(jet_errno::not_found_file, path);
            case stg_errc::locked:
                throw jet_error::make(jet_errno::file_in_use, path);
            case stg_errc::access_denied:
            case stg_errc::io:
                throw jet_error::make(jet_errno::cannot_open, path);
            case stg_errc::corrupt:
                throw jet_error::make(jet_errno::bad_format);
            case stg_errc::too_large:
                throw jet_error::make(jet_errno::resources);
        }
        throw jet_error::make(jet_errno::cannot_open, path);
    } catch (const tk_exception& e) {
        tk_trace(2, "jet: %s", e.what());
        const uint32_t err = e.system_error();
        if (err == ENOSPC || err == EDQUOT || err == EFBIG)
            throw jet_error::make(jet_errno::not_enough_space);
        throw jet_error::make(jet_errno::cannot_open, path);
    } catch (const std::bad_alloc&) {
        throw jet_error::make(jet_errno::resources);
    }
}

std::unique_ptr<jet_database> jet_database::open(const std::string& path,
                                                 const std::u16string& connect, bool exclusive,
                                                 bool read_only) {
    auto target = std::make_unique<tk::path_target>(path);
    auto db = open(*target, connect, exclusive, read_only);
    db->impl_->own_target = std::move(target);
    return db;
}

std::unique_ptr<jet_database> jet_database::open(tk::file_target& target,
                                                 const std::u16string& connect, bool exclusive,
                                                 bool read_only) {
    const std::string& path = target.name();
    tk_trace(2, "jet_database::open(%s)", path.c_str());
    const int version = connect_version(connect);
    if (version < 0)
        throw jet_error::make(jet_errno::installable_isam);
    auto d = std::make_unique<impl>();
    d->path = path;
    d->target = &target;
    d->version = version;
    d->read_only = read_only;
    d->folder = parent_dir(path);
    d->g.sst.spool_in(d->folder);
    d->g.sst.place_with([p = d.get()] { return p->place_string_table(); });
    try {
        struct stat st;
        const std::string content = target.content_path();
        if (!content.empty() && ::stat(content.c_str(), &st) == 0) {
            if (S_ISDIR(st.st_mode))
                throw jet_error::make(jet_errno::cannot_open, path);
            open_existing(*d, content, exclusive);
        } else {
            if (read_only)
                throw jet_error::make(jet_errno::not_found_file, path);
            struct stat dir;
            const std::string parent = parent_dir(path);
            if (path.empty() || ::stat(parent.c_str(), &dir) != 0 || !S_ISDIR(dir.st_mode))
                throw jet_error::make(jet_errno::not_valid_path, path.empty() ? path : parent);
            start_new(*d);
        }
    } catch (...) {
        jet_rethrow_as_jet(path);
    }
    return std::unique_ptr<jet_database>(new jet_database(std::move(d)));
}
