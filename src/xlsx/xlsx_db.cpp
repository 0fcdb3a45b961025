#include "xlsx/xlsx_db.h"

#include <malloc.h>
#include <sys/resource.h>
#include <sys/statvfs.h>
#include <xlsxwriter.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <map>

#include "TK/tk_excep.h"
#include "TK/tk_log.h"
#include "TK/tk_publ.h"
#include "TK/tk_utf.h"
#include "dao/dao_engi.h"
#include "jet/jet_error.h"
#include "xlsx/xlsx_deflate.h"
#include "xlsx/xlsx_format.h"
#include "xlsx/xlsx_rs.h"
#include "xlsx/xlsx_txt.h"
#include "xlsx/xlsx_zip.h"

namespace {

std::string folder_of(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Every worksheet keeps a temporary file open until the workbook is
// written, so a workbook of many sheets needs many descriptors: the soft
// limit is raised towards the hard one, once.
void allow_many_files() {
    static const bool done = [] {
        rlimit r{};
        if (::getrlimit(RLIMIT_NOFILE, &r) == 0 && r.rlim_cur < r.rlim_max) {
            const rlim_t want =
                r.rlim_max == RLIM_INFINITY || r.rlim_max > 65536 ? 65536 : r.rlim_max;
            if (want > r.rlim_cur) {
                r.rlim_cur = want;
                ::setrlimit(RLIMIT_NOFILE, &r);
            }
        }
        return true;
    }();
    (void)done;
}

// Worksheets of a workbook before the allocator's threshold is held.
constexpr size_t k_sheets_in_heap = 64;

lxw_format* new_format(lxw_workbook* book, bool wrap, const char* num_format) {
    lxw_format* f = workbook_add_format(book);
    if (!f)
        return nullptr;
    format_set_align(f, LXW_ALIGN_VERTICAL_CENTER);
    if (wrap)
        format_set_text_wrap(f);
    if (num_format)
        format_set_num_format(f, num_format);
    return f;
}

}  // namespace

void xlsx_raise_write_error(int err, const std::string& file, bool out_of_memory) {
    tk_trace(2, "xlsx: writing %s failed (errno %d)", file.c_str(), err);
    if (!out_of_memory && (err == ENOSPC || err == EDQUOT || err == EFBIG || err == EIO)) {
        errno = err;
        throw tk_write_failure();
    }
    const long number = out_of_memory || err == ENOMEM || err == EMFILE || err == ENFILE
                            ? jet_errno::resources
                            : jet_errno::cannot_open;
    throw dao_exception(number, jet_error::text_for(number, file));
}

xlsx_database::xlsx_database(tk::file_target& file, const options& opt)
    : udb_database(tk::utf8_to_utf16(file.name()), 0x72, false),
      file_(file),
      options_(opt),
      path_utf8_(file.name()),
      temp_dir_(folder_of(file.name())) {
    tk_trace(2, "xlsx_database::xlsx_database(%s)", path_utf8_.c_str());
    allow_many_files();
    try {
        rewrite_ = file_.rewrite();
    } catch (const tk_exception& e) {
        xlsx_raise_write_error(static_cast<int>(e.system_error()), path_utf8_);
    }
    output_path_ = rewrite_->path();
    lxw_workbook_options lo{};
    lo.constant_memory = LXW_TRUE;
    lo.tmpdir = temp_dir_.data();
    lo.use_zip64 = LXW_FALSE;
    book_ = workbook_new_opt(output_path_.c_str(), &lo);
    if (!book_)
        fail(jet_errno::resources, errno);
    formats_.header = new_format(book_, options_.wrap, nullptr);
    formats_.cell = new_format(book_, options_.wrap, nullptr);
    formats_.date = new_format(book_, false, xlsx::k_date_format);
    formats_.datetime = new_format(book_, false, xlsx::k_datetime_format);
    formats_.datetime_ms = new_format(book_, false, xlsx::k_datetime_ms_format);
    if (!formats_.header || !formats_.cell || !formats_.date || !formats_.datetime ||
        !formats_.datetime_ms) {
        discard();
        fail(jet_errno::resources, ENOMEM);
    }
    lxw_format* h = formats_.header;
    format_set_bold(h);
    format_set_align(h, LXW_ALIGN_CENTER);
    format_set_bg_color(h, xlsx::k_header_fill);
    format_set_pattern(h, LXW_PATTERN_SOLID);
    format_set_border(h, LXW_BORDER_THIN);
}

xlsx_database::~xlsx_database() {
    tk_trace(2, "xlsx_database::dtor");
    discard();
}

void xlsx_database::fail(long number, int saved_errno) const {
    tk_trace(2, "xlsx_database: %s failed (errno %d)", path_utf8_.c_str(), saved_errno);
    throw dao_exception(number, jet_error::text_for(number, path_utf8_));
}

void xlsx_database::discard() {
    if (!book_)
        return;
    // The library closes its worksheets' temporary files only when it
    // writes the workbook; a discarded workbook closes them here, so
    // their space is given back at once.
    for (auto& s : sheets_) {
        if (s->ws && s->ws->optimize_tmpfile) {
            std::fclose(s->ws->optimize_tmpfile);
            s->ws->optimize_tmpfile = nullptr;
            s->ws->file = nullptr;
        }
    }
    lxw_workbook_free(book_);
    book_ = nullptr;
    rewrite_.reset();
}

udb_recordset* xlsx_database::create_table(const std::u16string& name, const udb_schema& schema,
                                           const udb_indexes& indexes) {
    tk_wtrace(2, u"xlsx_database::create_table(%s)", name.c_str());
    (void)indexes;
    if (!book_)
        throw tk_mail_assertion("xlsx_db", __LINE__);  // after close
    const std::string sheet_name = tk::utf16_to_utf8(name);
    switch (workbook_validate_sheet_name(book_, sheet_name.c_str())) {
        case LXW_NO_ERROR:
            break;
        case LXW_ERROR_SHEETNAME_ALREADY_USED:
            throw dao_exception(jet_errno::table_exists,
                                jet_error::text_for(jet_errno::table_exists, sheet_name));
        default:
            throw dao_exception(jet_errno::not_valid_name,
                                jet_error::text_for(jet_errno::not_valid_name, sheet_name));
    }
    if (schema.count() == 0)
        throw dao_exception(jet_errno::no_fields, jet_error::text_for(jet_errno::no_fields));
    // Every worksheet keeps an array of a cell pointer per possible column
    // (128 KiB, of which the columns written touch one page) until the
    // workbook is written. Taken from the heap, such a block is cleared and
    // wholly resident (600 worksheets: 77 MiB); taken from the system it
    // costs one page. The allocator takes blocks of 128 KiB from the
    // system only until the first large block is freed, so past a few
    // dozen worksheets its threshold is held there (for the process: every
    // large block then costs page faults, about 2 ms a table read).
    if (sheets_.size() == k_sheets_in_heap) {
        static const bool held = ::mallopt(M_MMAP_THRESHOLD, 128 * 1024) != 0;
        (void)held;
    }
    auto s = std::make_unique<sheet>(options_.max_column_chars, path_utf8_);
    errno = 0;
    s->ws = workbook_add_worksheet(book_, sheet_name.c_str());
    if (!s->ws) {
        // No temporary file for it (or no memory).
        xlsx_raise_write_error(errno ? errno : ENOMEM, path_utf8_);
    }
    std::string text;
    for (size_t c = 0; c < schema.count(); ++c) {
        const std::u16string& column = schema[c].name;
        xlsx_text(column, text);
        const auto col = static_cast<lxw_col_t>(c);
        if (worksheet_write_string(s->ws, 0, col, text.c_str(), formats_.header) != LXW_NO_ERROR)
            fail(jet_errno::resources, ENOMEM);
        s->widths.header(static_cast<uint16_t>(c), column);
    }
    worksheet_freeze_panes(s->ws, 1, 0);
    sheets_.push_back(std::move(s));
    table_names_.push_back(name);
    return new xlsx_recordset(name, *sheets_.back(), formats_, schema);
}

udb_recordset* xlsx_database::get_table(const std::u16string&, int32_t) {
    throw tk_mail_assertion("xlsx_db", __LINE__);
}

udb_recordset* xlsx_database::get_table(const std::u16string&, const std::u16string&, int32_t) {
    throw tk_mail_assertion("xlsx_db", __LINE__);
}

bool xlsx_database::test_query(const std::u16string&) {
    return false;
}

bool xlsx_database::data_write_failed(int& err) const {
    for (const auto& s : sheets_) {
        if (s->failed_errno) {
            err = s->failed_errno;
            return true;
        }
        FILE* f = s->ws->optimize_tmpfile;
        if (f && (std::ferror(f) || std::fflush(f) != 0)) {
            errno = 0;
            std::fflush(f);
            err = errno ? errno : EIO;
            return true;
        }
    }
    return false;
}

int xlsx_database::rows_lost(const std::vector<uint64_t>& rows, uint64_t free_before) const {
    // The library does not check its writes while it packs the workbook: it
    // copies each worksheet's rows into another temporary file, which may
    // fill the disk, and then compresses what that file holds into a
    // package that reports success. Each worksheet part must hold at least
    // the rows spooled for it.
    std::map<std::string, uint64_t> parts;
    bool whole = xlsx_zip_part_sizes(output_path_, parts);
    for (size_t i = 0; whole && i < rows.size(); ++i) {
        const auto p = parts.find("xl/worksheets/sheet" + std::to_string(i + 1) + ".xml");
        whole = p != parts.end() && p->second > rows[i];
    }
    if (whole)
        return 0;
    // A disk without room for a second copy of the largest worksheet's rows
    // and its compressed part when packing began has filled; otherwise the
    // device failed.
    const uint64_t largest = rows.empty() ? 0 : *std::max_element(rows.begin(), rows.end());
    tk_trace(2, "xlsx: a worksheet of %s lacks rows", path_utf8_.c_str());
    return free_before < 2 * largest ? ENOSPC : EIO;
}

void xlsx_database::close() {
    tk_trace(2, "xlsx_database::close(%s)", path_utf8_.c_str());
    if (!book_)
        return;
    if (sheets_.empty()) {
        // A workbook needs a sheet: nothing is written.
        discard();
        return;
    }
    int err = 0;
    if (data_write_failed(err)) {
        discard();
        xlsx_raise_write_error(err, path_utf8_);
    }
    uint64_t data = 0;
    std::vector<uint64_t> rows;  // the XML of each worksheet's rows, as spooled
    for (const auto& s : sheets_) {
        const unsigned digit = xlsx::k_digit_pixels, pad = xlsx::k_padding_pixels;
        for (size_t c = 0; c < s->widths.columns(); ++c) {
            // COLINFO units (1/256 of a digit width, padding included) to
            // the library's width, which leaves the padding out.
            const double pixels = std::round(s->widths.width_units(c) * digit / 256.0);
            const double width = (pixels - pad) / digit;
            const auto col = static_cast<lxw_col_t>(c);
            worksheet_set_column(s->ws, col, col, width, nullptr);
        }
        uint64_t bytes = 0;
        if (FILE* f = s->ws->optimize_tmpfile) {
            const long at = std::ftell(f);
            if (at > 0)
                bytes = static_cast<uint64_t>(at);
        }
        rows.push_back(bytes);
        data += bytes;
    }
    if (data >= xlsx::k_zip64_threshold)
        book_->options.use_zip64 = LXW_TRUE;
    struct statvfs fs {};
    const uint64_t free_before = ::statvfs(temp_dir_.c_str(), &fs) == 0
                                     ? static_cast<uint64_t>(fs.f_bavail) * fs.f_frsize
                                     : 0;
    const uint64_t parts_before = xlsx_deflate_parts();
    errno = 0;
    const lxw_error e = workbook_close(book_);
    err = errno;
    // The parts compressed on every core (none: the library compressed alone).
    tk_trace(2, "xlsx: %llu parts compressed in parallel",
             static_cast<unsigned long long>(xlsx_deflate_parts() - parts_before));
    book_ = nullptr;  // freed by the library whatever the outcome
    if (e != LXW_NO_ERROR) {
        tk_trace(2, "workbook_close: %s", lxw_strerror(e));
        rewrite_.reset();
        xlsx_raise_write_error(err, path_utf8_, e == LXW_ERROR_MEMORY_MALLOC_FAILED);
    }
    if (const int lost = rows_lost(rows, free_before)) {
        rewrite_.reset();
        xlsx_raise_write_error(lost, path_utf8_);
    }
    try {
        rewrite_->commit();
    } catch (const tk_write_failure&) {
        rewrite_.reset();
        throw;
    } catch (const tk_exception& x) {
        rewrite_.reset();
        xlsx_raise_write_error(static_cast<int>(x.system_error()), path_utf8_);
    }
    rewrite_.reset();
}
