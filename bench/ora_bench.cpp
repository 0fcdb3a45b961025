// Reads a 100,000-row, 10-column table through the embedded provider and the
// Oracle table reader (describe, fetch, decode into ole_variant values), the
// way the conversion driver reads a source table, and reports values per
// second, the allocations made while decoding rows, and the peak memory.
//
// Usage: ora_bench [rows]     (the provider is taken from the program's folder)
#include <sqlite3.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <new>
#include <string>

#include "ORA/ora_db.h"
#include "ORA/ora_engi.h"
#include "ORA/ora_tab.h"
#include "TK/tk_utf.h"

namespace {

std::atomic<uint64_t> g_allocations{0};

}  // namespace

void* operator new(size_t n) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(n ? n : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, size_t) noexcept {
    std::free(p);
}

namespace {

bool build(const std::string& path, int rows) {
    std::remove(path.c_str());
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK)
        return false;
    const char* ddl =
        "CREATE TABLE ORDERS(ID NUMBER(9), QTY NUMBER(5), AMOUNT NUMBER(10,2), RATE NUMBER,"
        " NAME VARCHAR2(30), CODE CHAR(8), CITY VARCHAR2(20), CREATED DATE, BIG NUMBER(15),"
        " NOTE VARCHAR2(40));";
    bool ok = sqlite3_exec(db, ddl, nullptr, nullptr, nullptr) == SQLITE_OK;
    ok = ok && sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_stmt* st = nullptr;
    ok = ok && sqlite3_prepare_v2(db, "INSERT INTO ORDERS VALUES(?,?,?,?,?,?,?,?,?,?)", -1, &st,
                                  nullptr) == SQLITE_OK;
    static const char* const cities[] = {"Zürich", "Lyon", "Kraków", "Bergen", "Tallinn"};
    char text[64];
    for (int i = 0; ok && i < rows; ++i) {
        sqlite3_bind_int(st, 1, i + 1);
        sqlite3_bind_int(st, 2, i % 1000);
        sqlite3_bind_double(st, 3, (i % 100000) / 100.0 + 0.25);
        sqlite3_bind_double(st, 4, i * 0.001);
        std::snprintf(text, sizeof text, "Customer number %d", i);
        sqlite3_bind_text(st, 5, text, -1, SQLITE_TRANSIENT);
        std::snprintf(text, sizeof text, "C%07d", i % 10000000);
        sqlite3_bind_text(st, 6, text, -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(st, 7, cities[i % 5], -1, SQLITE_STATIC);
        std::snprintf(text, sizeof text, "20%02d-%02d-%02d %02d:%02d:%02d", i % 30, i % 12 + 1,
                      i % 28 + 1, i % 24, i % 60, (i * 7) % 60);
        sqlite3_bind_text(st, 8, text, -1, SQLITE_TRANSIENT);
        sqlite3_bind_int64(st, 9, 5000000000LL + i);
        if (i % 10 == 0) {
            sqlite3_bind_null(st, 10);
        } else {
            sqlite3_bind_text(st, 10, "Deliver to the back door, ring twice", -1, SQLITE_STATIC);
        }
        ok = sqlite3_step(st) == SQLITE_DONE;
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    ok = ok && sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
}

long peak_rss_kb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv) {
    const int rows = argc > 1 ? std::atoi(argv[1]) : 100000;
    const std::string path =
        (std::filesystem::temp_directory_path() / ("ora_bench_" + std::to_string(getpid()) + ".db"))
            .string();
    if (!build(path, rows)) {
        std::fprintf(stderr, "cannot build %s\n", path.c_str());
        return 1;
    }
    const long rss_before = peak_rss_kb();

    int status = 0;
    try {
        ora_engine engine;
        engine.running = true;
        std::unique_ptr<ora_database> db(
            engine.open_db(tk::utf8_to_utf16("file:" + path), u"BENCH", u"bench"));

        const auto start = std::chrono::steady_clock::now();
        std::unique_ptr<udb_recordset> reader(db->get_table(u"ORDERS", 1));
        const auto opened = std::chrono::steady_clock::now();
        uint64_t values = 0, read_rows = 0, checksum = 0;
        uint64_t decode_allocations = 0;
        reader->move_first();
        while (!reader->is_eof()) {
            const uint64_t before = g_allocations.load(std::memory_order_relaxed);
            udb_record* record = reader->get_item();
            decode_allocations += g_allocations.load(std::memory_order_relaxed) - before;
            for (const udb_field& f : *record) {
                checksum += f.get_type();
                ++values;
            }
            ++read_rows;
            reader->next();
        }
        const auto end = std::chrono::steady_clock::now();
        const double seconds = std::chrono::duration<double>(end - start).count();
        const double open_seconds = std::chrono::duration<double>(opened - start).count();

        std::printf("rows read            %llu (records_count %u)\n",
                    static_cast<unsigned long long>(read_rows), reader->records_count());
        std::printf("values               %llu (checksum %llu)\n",
                    static_cast<unsigned long long>(values),
                    static_cast<unsigned long long>(checksum));
        std::printf("open (describe, count) %.3f s\n", open_seconds);
        std::printf("total                %.3f s\n", seconds);
        std::printf("rows/s               %.0f\n", read_rows / seconds);
        std::printf("values/s             %.0f (target 1000000)\n", values / seconds);
        std::printf("decode allocations   %llu (%.3f per row)\n",
                    static_cast<unsigned long long>(decode_allocations),
                    read_rows ? static_cast<double>(decode_allocations) / read_rows : 0.0);
        std::printf("peak RSS             %ld KiB (%ld KiB before reading)\n", peak_rss_kb(),
                    rss_before);
        if (read_rows != static_cast<uint64_t>(rows))
            status = 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "failed: %s\n", e.what());
        status = 1;
    }
    std::remove(path.c_str());
    return status;
}
