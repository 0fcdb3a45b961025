// Failures: a full disk while closing leaves the destination as it was;
// damaged files are refused with 3274, never a crash.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cerrno>
#include <csignal>
#include <random>

#include "TK/tk_excep.h"
#include "TK/tk_utf.h"
#include "jet/jet_db.h"
#include "jet/jet_rdr.h"
#include "jet_testutil.h"

namespace {

const std::u16string k_connect[2] = {u"Excel 5.0;", u"Excel 8.0;"};

void add_sheet(jet_database& db, const std::u16string& name, int rows) {
    std::vector<jet_column> cols(2);
    cols[0].name = u"n";
    cols[0].type = jet_double;
    cols[1].name = u"t";
    cols[1].type = jet_memo;
    jet_table& t = db.create_table(name, cols);
    for (int r = 0; r < rows; ++r) {
        const std::u16string txt =
            name + tk::utf8_to_utf16(std::to_string(r)) + std::u16string(40, u'x');
        jet_value v[2] = {jet_value::of_number(r * 1.5), jet_value::of_text(txt)};
        t.append(v, 2);
    }
}

// Files may grow to `limit` bytes while `f` runs (then writes fail with
// EFBIG, as on a full disk).
void with_file_limit(rlim_t limit, const std::function<void()>& f) {
    struct rlimit old;
    ::getrlimit(RLIMIT_FSIZE, &old);
    struct rlimit lim = old;
    lim.rlim_cur = limit;
    ::setrlimit(RLIMIT_FSIZE, &lim);
    try {
        f();
    } catch (...) {
        ::setrlimit(RLIMIT_FSIZE, &old);
        throw;
    }
    ::setrlimit(RLIMIT_FSIZE, &old);
}

// The driver's number of a failure, or minus the errno of a workbook that
// could not be written (which the driver lets through as it is).
long error_of(const std::function<void()>& f) {
    try {
        f();
    } catch (const jet_error& e) {
        return e.number();
    } catch (const tk_write_failure& e) {
        return -static_cast<long>(e.system_error());
    }
    return 0;
}

class jet_fail : public ::testing::TestWithParam<int> {};

}  // namespace

TEST_P(jet_fail, full_disk_on_close_leaves_no_partial_workbook) {
    const int v = GetParam();
    std::signal(SIGXFSZ, SIG_IGN);
    jet_test::temp_dir dir;
    const std::string path = dir.file("book.xls");
    // A new workbook: nothing appears under the destination name.
    for (rlim_t budget : {rlim_t(0), rlim_t(1), rlim_t(511), rlim_t(512), rlim_t(4096),
                          rlim_t(20000), rlim_t(60000), rlim_t(120000)}) {
        auto db = jet_database::open(path, k_connect[v], false, false);
        add_sheet(*db, u"A", 2000);
        long err = 0;
        with_file_limit(budget, [&] { err = error_of([&] { db->close(); }); });
        EXPECT_EQ(err, -EFBIG) << budget;
        EXPECT_TRUE(dir.list().empty()) << budget << " " << dir.list().front();
    }
    // An existing workbook keeps its bytes; the database stays open and a
    // later close succeeds.
    {
        auto db = jet_database::open(path, k_connect[v], false, false);
        add_sheet(*db, u"A", 2000);
        db->close();
    }
    const auto before = jet_test::slurp(path);
    for (rlim_t budget = 0; budget < before.size() + 80000; budget += 9973) {
        auto db = jet_database::open(path, k_connect[v], false, false);
        add_sheet(*db, u"B", 1000);
        long err = 0;
        with_file_limit(budget, [&] { err = error_of([&] { db->close(); }); });
        ASSERT_EQ(err, -EFBIG) << budget;
        EXPECT_EQ(jet_test::slurp(path), before);
        EXPECT_EQ(dir.list(), std::vector<std::string>{"book.xls"});
        if (budget == 0) {
            db->close();  // retried with room: written
            EXPECT_EQ(jet_read_book(path).sheets.size(), 2u);
            jet_test::spill(path, before);
        }
    }
}

TEST_P(jet_fail, damaged_files_are_refused_cleanly) {
    const int v = GetParam();
    jet_test::temp_dir dir;
    const std::string path = dir.file("good.xls");
    {
        auto db = jet_database::open(path, k_connect[v], false, false);
        add_sheet(*db, u"A", 300);
        add_sheet(*db, u"B", 50);
        db->close();
    }
    const auto good = jet_test::slurp(path);
    const std::string bad = dir.file("bad.xls");

    // Not a compound file at all.
    jet_test::spill(bad, {'h', 'e', 'l', 'l', 'o'});
    EXPECT_EQ(error_of([&] { jet_database::open(bad, k_connect[v], false, false); }), 3274);
    jet_test::spill(bad, {});
    EXPECT_EQ(error_of([&] { jet_database::open(bad, k_connect[v], false, false); }), 3274);
    // Cut short anywhere before the last sector (the directory, whose
    // unused tail a reader may do without).
    for (size_t len = 0; len + 512 <= good.size(); len += 509) {
        jet_test::spill(bad, std::vector<uint8_t>(good.begin(), good.begin() + len));
        EXPECT_EQ(error_of([&] { jet_database::open(bad, k_connect[v], false, false); }), 3274)
            << len;
    }
    // Bytes changed in the workbook stream (sectors right after the
    // header) or anywhere: refused, or opened and written; never a crash,
    // and only the driver's error.
    std::mt19937 rng(v * 1000 + 5);
    int refused = 0, written = 0;
    for (int i = 0; i < 400; ++i) {
        auto data = good;
        const size_t span = i % 4 == 0 ? data.size() : std::min<size_t>(data.size() - 512, 6000);
        for (int k = 0; k < 1 + i % 4; ++k) {
            const size_t at = (i % 4 == 0 ? 0 : 512) + rng() % span;
            data[at] = static_cast<uint8_t>(i % 3 == 0 ? rng() : data[at] ^ (1u << (rng() % 8)));
        }
        jet_test::spill(bad, data);
        try {
            auto db = jet_database::open(bad, k_connect[v], false, false);
            (void)db->table_names();
            if (jet_table* t = db->find_table(u"A"))
                (void)t->record_count();
            add_sheet(*db, u"C", 3);
            db->close();
            ++written;
            try {
                (void)jet_read_book(bad);
            } catch (const jet_error&) {
            }
        } catch (const jet_error& e) {
            ++refused;
        }
    }
    EXPECT_GT(refused, 0);
    EXPECT_GT(written, 0);
}

INSTANTIATE_TEST_SUITE_P(versions, jet_fail, ::testing::Values(0, 1));
