// Speed and memory of worksheet writing through the workbook database
// (dao_recordset::append_record over the workbook driver).
//
//   dao_bench [folder]
//
// Each scenario runs in a child process so that its peak memory (maximum
// resident set) is its own:
//   biff8   65,535 records x 10 mixed columns (numbers, short and
//           200-character texts, dates, NULLs) into one BIFF8 worksheet,
//           then close and the header patch;
//   biff5   the same records into a BIFF5 workbook (texts cut to 254 and
//           date columns as text columns, as the converter makes them), a new
//           worksheet each time one is full (16,383 records), then close
//           and patch.
// One record is reused for all rows, its values overwritten in place, as
// the converter does. Targets: at least 500,000 records/s for
// append_record, peak memory no more than the output file's size + 64 MiB.
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "TK/tk_utf.h"
#include "bench_rows.h"
#include "common/xls_engi.h"
#include "dao/dao_db.h"
#include "dao/dao_engi.h"
#include "dao/dao_recs.h"

namespace {

using clock_type = std::chrono::steady_clock;

double seconds_since(clock_type::time_point t) {
    return std::chrono::duration<double>(clock_type::now() - t).count();
}

uint64_t file_size(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
}

std::unique_ptr<udb_schema> schema(int version) {
    const uint16_t date = version == 1 ? VT_DATE : VT_BSTR;
    const struct {
        const char16_t* name;
        uint16_t kind;
        uint32_t size;
    } defs[] = {{u"id", VT_I4, 4},          {u"amount", VT_R8, 8},    {u"code", VT_BSTR, 20},
                {u"comment", VT_BSTR, 0},   {u"created", date, 7},    {u"qty", VT_I2, 2},
                {u"ratio", VT_DECIMAL, 22}, {u"status", VT_BSTR, 10}, {u"updated", date, 7},
                {u"note", VT_BSTR, 255}};
    auto s = std::make_unique<udb_schema>(true);
    for (const auto& d : defs)
        s->add(std::make_unique<t_ftd>(d.size, d.name, d.kind, false, false, ole_variant(), 0));
    return s;
}

// The source values, prepared before timing.
struct row_source : bench_texts {
    std::vector<ole_variant> ratios;

    row_source(int rows, int version) : bench_texts(rows, version == 1 ? 32766 : 254) {
        for (int i = 0; i < 97; ++i)
            ratios.push_back(ole_variant::from_wstring(
                tk::ascii_to_utf16(std::to_string(1.0 / (1 + i))), VT_DECIMAL));
    }

    SYSTEMTIME when(int y, int mo, int d, int h, int mi, int s) const {
        SYSTEMTIME st{};
        st.wYear = static_cast<uint16_t>(y);
        st.wMonth = static_cast<uint16_t>(mo);
        st.wDay = static_cast<uint16_t>(d);
        st.wHour = static_cast<uint16_t>(h);
        st.wMinute = static_cast<uint16_t>(mi);
        st.wSecond = static_cast<uint16_t>(s);
        return st;
    }

    // Overwrites the values of `r` in place, as the converter prepares a row.
    void fill(int i, udb_record& r) const {
        r[0].set_value(ole_variant(i));
        r[1].set_value(ole_variant(i * 1.37 + 0.01));
        r[2].attach_wstring(codes[i % codes.size()]);
        if (i % 11 == 0)
            r[3].set_null();
        else
            r[3].attach_wstring(comments[i]);
        date(r[4], when(1990 + i % 30, 1 + i % 12, 1 + i % 28, 0, 0, 0));
        if (i % 5 == 0)
            r[5].set_null();
        else
            r[5].set_value(ole_variant(static_cast<short>(i % 1000)));
        r[6].set_value(ratios[i % ratios.size()]);
        r[7].attach_wstring(statuses[i % 4]);
        if (i % 3 == 0)
            r[8].set_null();
        else
            date(r[8], when(2000 + i % 20, 1 + i % 12, 1 + i % 28, i % 24, i % 60, i % 60));
        r[9].set_null();
    }

    // In BIFF5 the column is a text column: append_record turns the date
    // into its text.
    void date(udb_field& f, const SYSTEMTIME& st) const { f.set_value(ole_variant(st)); }
};

void write_book(const std::string& path, int version, int rows) {
    const char* tag = version == 1 ? "biff8" : "biff5";
    row_source src(rows, version);
    auto columns = schema(version);
    udb_record rec;
    for (const t_ftd* c : *columns)
        rec.emplace_back(c->name, static_cast<int32_t>(c->size), ole_variant());
    struct rusage ru {};
    ::getrusage(RUSAGE_SELF, &ru);
    std::printf("%s: input prepared: %.1f MiB before the first record\n", tag,
                ru.ru_maxrss / 1024.0);

    dao_engine engine;
    engine.set_version_if(0);
    const std::u16string wpath = tk::utf8_to_utf16(path);
    const std::u16string connect = version == 1 ? u"Excel 8.0;" : u"Excel 5.0;";
    const auto t0 = clock_type::now();
    std::unique_ptr<dao_database> db(engine.create_dao_src(wpath, connect));
    std::unique_ptr<udb_recordset> rs;
    int sheets = 0;
    double append_s = 0;
    for (int i = 0; i < rows; ++i) {
        src.fill(i, rec);
        for (;;) {
            if (!rs)
                rs.reset(db->create_table(u"Data" + tk::ascii_to_utf16(std::to_string(++sheets)),
                                          *columns, udb_indexes()));
            const auto a = clock_type::now();
            try {
                rs->append_record(rec);
                append_s += seconds_since(a);
                break;
            } catch (const tk_exception& e) {
                if (!dao_is_sheet_full(e))
                    throw;
                rs.reset();
            }
        }
    }
    const double total_s = seconds_since(t0);
    rs.reset();
    const auto t1 = clock_type::now();
    db->close();
    db.reset();
    const double close_s = seconds_since(t1);
    const auto t2 = clock_type::now();
    std::unique_ptr<xls_engine> patcher;
    if (version == 1)
        patcher = std::make_unique<xls_engine_80>();
    else
        patcher = std::make_unique<xls_engine_50>();
    const bool patched = patcher->patch(wpath);
    const double patch_s = seconds_since(t2);
    std::printf(
        "%s: %d records in %d sheet(s): append_record %.3f s (%.0f records/s), with row "
        "preparation %.3f s, close %.3f s, patch %.3f s (%s), file %.1f MiB\n",
        tag, rows, sheets, append_s, rows / append_s, total_s, close_s, patch_s,
        patched ? "ok" : "FAILED", file_size(path) / 1048576.0);
}

void run_child(const char* name, const std::function<void()>& f, const std::string& out) {
    std::fflush(stdout);
    const pid_t pid = ::fork();
    if (pid == 0) {
        f();
        std::fflush(stdout);
        std::_Exit(0);
    }
    int status = 0;
    struct rusage ru {};
    ::wait4(pid, &status, 0, &ru);
    const double peak = ru.ru_maxrss / 1024.0;  // KiB -> MiB
    const double file = file_size(out) / 1048576.0;
    std::printf("%s: peak memory %.1f MiB, output %.1f MiB, target <= %.1f MiB: %s\n", name, peak,
                file, file + 64, peak <= file + 64 ? "met" : "MISSED");
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        std::printf("%s: child failed (status %d)\n", name, status);
}

}  // namespace

int main(int argc, char** argv) {
    const std::string dir = argc > 1 ? argv[1] : "/tmp";
    const int rows = 65535;
    const std::string b8 = dir + "/dao_bench8.xls";
    const std::string b5 = dir + "/dao_bench5.xls";
    run_child(
        "biff8", [&] { write_book(b8, 1, rows); }, b8);
    run_child(
        "biff5", [&] { write_book(b5, 0, rows); }, b5);
    ::unlink(b8.c_str());
    ::unlink(b5.c_str());
    return 0;
}
