// Speed and memory of the workbook driver.
//
//   jet_bench [folder]
//
// Each scenario runs in a child process so that its peak memory (maximum
// resident set) is its own:
//   biff8   65,535 rows x 10 mixed columns (numbers, short and 200-character
//           texts, dates, NULLs) into one BIFF8 sheet;
//   biff5   the same 65,535 rows into BIFF5 sheets of 16,383 rows (texts
//           cut to 255 characters as the converter cuts them);
//   reopen  a workbook of 49 sheets reopened to add the 50th, against a
//           plain copy of the same file.
// Targets: at least 500,000 rows/s for the driver, peak memory no more than
// the output file's size + 64 MiB, the 50th sheet costing no more than one
// copy of the file.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "bench_rows.h"
#include "jet/jet_db.h"

namespace {

using clock_type = std::chrono::steady_clock;

double seconds_since(clock_type::time_point t) {
    return std::chrono::duration<double>(clock_type::now() - t).count();
}

uint64_t file_size(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
}

std::vector<jet_column> columns() {
    const struct {
        const char16_t* name;
        int type;
        int size;
    } defs[] = {{u"id", jet_long, 0},      {u"amount", jet_double, 0}, {u"code", jet_text, 20},
                {u"comment", jet_memo, 0}, {u"created", jet_date, 0},  {u"qty", jet_integer, 0},
                {u"ratio", jet_double, 0}, {u"status", jet_text, 10},  {u"updated", jet_date, 0},
                {u"note", jet_text, 255}};
    std::vector<jet_column> cols;
    for (const auto& s : defs) {
        jet_column c;
        c.name = s.name;
        c.type = s.type;
        c.size = s.size;
        cols.push_back(c);
    }
    return cols;
}

// The rows, prepared before timing so that only the driver is measured.
struct row_source : bench_texts {
    row_source(int rows, size_t max_text) : bench_texts(rows, max_text) {}
    void fill(int i, jet_value* v) const {
        v[0] = jet_value::of_number(i);
        v[1] = jet_value::of_number(i * 1.37 + 0.01);
        v[2] = jet_value::of_text(codes[i % codes.size()]);
        v[3] = i % 11 == 0 ? jet_value() : jet_value::of_text(comments[i]);
        v[4] = jet_value::of_date(1990 + i % 30, 1 + i % 12, 1 + i % 28);
        v[5] = i % 5 == 0 ? jet_value() : jet_value::of_number(i % 1000);
        v[6] = jet_value::of_number(1.0 / (1 + i % 97));
        v[7] = jet_value::of_text(statuses[i % 4]);
        v[8] = i % 3 == 0 ? jet_value()
                          : jet_value::of_date(2000 + i % 20, 1 + i % 12, 1 + i % 28, i % 24,
                                               i % 60, i % 60);
        v[9] = jet_value();
    }
};

void report(const char* what, int rows, double append_s, double close_s, const std::string& path) {
    std::printf(
        "%s: %d rows, append %.3f s (%.0f rows/s), close %.3f s, total %.0f rows/s, file %.1f "
        "MiB\n",
        what, rows, append_s, rows / append_s, close_s, rows / (append_s + close_s),
        file_size(path) / 1048576.0);
}

void write_book(const std::string& path, int version, int rows) {
    const int per_sheet = version == 1 ? 65535 : 16383;
    row_source src(rows, version == 1 ? 32766 : 254);
    const auto cols = columns();
    struct rusage ru {};
    ::getrusage(RUSAGE_SELF, &ru);
    std::printf("%s: input rows prepared in memory: %.1f MiB before the driver starts\n",
                version == 1 ? "biff8" : "biff5", ru.ru_maxrss / 1024.0);
    const auto t0 = clock_type::now();
    auto db = jet_database::open(path, version == 1 ? u"Excel 8.0;" : u"Excel 5.0;", false, false);
    jet_table* t = nullptr;
    jet_value v[10];
    for (int i = 0; i < rows; ++i) {
        if (i % per_sheet == 0)
            t = &db->create_table(u"Data" + std::u16string(1, char16_t(u'A' + i / per_sheet)),
                                  cols);
        src.fill(i, v);
        t->append(v, 10);
    }
    const double append_s = seconds_since(t0);
    const auto t1 = clock_type::now();
    db->close();
    report(version == 1 ? "biff8" : "biff5", rows, append_s, seconds_since(t1), path);
}

void copy_file(const std::string& from, const std::string& to) {
    std::vector<char> buf(1 << 20);
    int in = ::open(from.c_str(), O_RDONLY);
    int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ssize_t n;
    while ((n = ::read(in, buf.data(), buf.size())) > 0)
        if (::write(out, buf.data(), static_cast<size_t>(n)) != n)
            break;
    ::fsync(out);
    ::close(in);
    ::close(out);
}

void reopen(const std::string& dir) {
    const std::string path = dir + "/jet_bench_50.xls";
    ::unlink(path.c_str());
    const auto cols = columns();
    row_source src(2000, 32766);
    jet_value v[10];
    for (int s = 0; s < 49; ++s) {
        auto db = jet_database::open(path, u"Excel 8.0;", false, false);
        jet_table& t = db->create_table(
            u"S" + std::u16string(1, char16_t(u'A' + s / 26)) + char16_t(u'a' + s % 26), cols);
        for (int i = 0; i < 2000; ++i) {
            src.fill(i, v);
            v[0] = jet_value::of_number(s * 100000 + i);
            t.append(v, 10);
        }
        db->close();
    }
    const std::string copy = dir + "/jet_bench_copy.xls";
    auto t0 = clock_type::now();
    copy_file(path, copy);
    const double copy_s = seconds_since(t0);
    t0 = clock_type::now();
    auto db = jet_database::open(path, u"Excel 8.0;", false, false);
    jet_table& t = db->create_table(u"Fiftieth", cols);
    src.fill(1, v);
    t.append(v, 10);
    db->close();
    const double add_s = seconds_since(t0);
    std::printf(
        "reopen: file %.1f MiB, plain copy %.3f s, reopen + 50th sheet + close %.3f s (%.2f "
        "copies)\n",
        file_size(path) / 1048576.0, copy_s, add_s, add_s / copy_s);
    ::unlink(copy.c_str());
    ::unlink(path.c_str());
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
    std::printf("%s: peak memory %.1f MiB%s\n", name, peak,
                out.empty()
                    ? ""
                    : (peak <= file + 64 ? " (within file + 64 MiB)" : " (ABOVE file + 64 MiB)"));
}

}  // namespace

int main(int argc, char** argv) {
    const std::string dir = argc > 1 ? argv[1] : "/tmp";
    const std::string b8 = dir + "/jet_bench8.xls", b5 = dir + "/jet_bench5.xls";
    run_child(
        "biff8", [&] { write_book(b8, 1, 65535); }, b8);
    run_child(
        "biff5", [&] { write_book(b5, 0, 65535); }, b5);
    run_child(
        "reopen", [&] { reopen(dir); }, "");
    ::unlink(b8.c_str());
    ::unlink(b5.c_str());
    return 0;
}
