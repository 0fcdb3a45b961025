// Reopening workbooks: sheets added, kept byte for byte, deleted; the walk
// the header patch makes still reaches every sheet's first row.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>

#include "TK/tk_coding.h"
#include "TK/tk_publ.h"
#include "TK/tk_utf.h"
#include "jet/biff_format.h"
#include "jet/jet_db.h"
#include "jet/jet_rdr.h"
#include "jet/jet_tmpl.h"
#include "jet_testutil.h"
#include "stg/stg_file.h"

using jet_test::book;
using jet_test::sheet;

namespace {

const std::u16string k_connect[2] = {u"Excel 5.0;", u"Excel 8.0;"};

// A sheet of `rows` rows: id, a text shared between sheets, a per-sheet text.
sheet fill(jet_database& db, const std::u16string& name, int rows) {
    std::vector<jet_column> cols(3);
    cols[0].name = u"id";
    cols[0].type = jet_long;
    cols[1].name = u"shared";
    cols[1].type = jet_text;
    cols[2].name = u"own";
    cols[2].type = jet_memo;
    jet_table& t = db.create_table(name, cols);
    sheet s{t.name(), {}};
    for (uint16_t c = 0; c < 3; ++c) s.cells.push_back(jet_test::text(0, c, cols[c].name));
    for (int r = 1; r <= rows; ++r) {
        const std::u16string shared = u"common " + tk::utf8_to_utf16(std::to_string(r % 10));
        const std::u16string own = name + u" row " + tk::utf8_to_utf16(std::to_string(r));
        jet_value v[3] = {jet_value::of_number(r), jet_value::of_text(shared),
                          jet_value::of_text(own)};
        t.append(v, 3);
        const auto row = static_cast<uint16_t>(r);
        s.cells.push_back(jet_test::number(row, 0, r));
        s.cells.push_back(jet_test::text(row, 1, shared));
        s.cells.push_back(jet_test::text(row, 2, own));
    }
    return s;
}

void check(const std::string& path, const book& want) {
    const jet_rbook b = jet_read_book(path);
    EXPECT_TRUE(b.problems.empty()) << b.problems.front();
    EXPECT_EQ(jet_test::diff(want, jet_test::from_reader(b)), "");
    EXPECT_EQ(jet_test::diff(want, jet_test::from_xlrd(path)), "");
}

std::vector<uint8_t> stream_bytes(const std::string& path) {
    auto f = stg_file::open(path, false);
    auto s = f->open_stream(f->has_stream(u"Workbook") ? u"Workbook" : u"Book");
    std::vector<uint8_t> out(s->size());
    s->read_at(0, out.data(), out.size());
    return out;
}

// The walk the header patch makes over one sheet: BOF, INDEX, first
// DBCELL, first ROW, then the cells of row 0 from column 0. Returns the
// columns reached.
int patch_walk(const std::vector<uint8_t>& st, uint32_t bof, bool b8) {
    auto u16 = [&](uint64_t p) { return tk::get_u16(st.data() + p); };
    auto u32 = [&](uint64_t p) { return tk::get_u32(st.data() + p); };
    if (u16(bof) != biff::k_bof)
        return -1;
    const uint64_t index = bof + 4 + u16(bof + 2);
    if (u16(index) != biff::k_index)
        return -2;
    if (u16(index + 2) < (b8 ? 20 : 16))
        return 0;
    const uint32_t d = u32(index + 4 + (b8 ? 16 : 12));
    if (u16(d) != biff::k_dbcell)
        return -3;
    const uint32_t r = u32(d + 4);
    if (r >= d)
        return -4;
    const uint16_t f = u16(d + 8);
    const uint64_t row = d - r;
    uint64_t c = row + 4 + u16(row + 2) + f;
    int i = 0;
    while (u16(c + 2) >= 6 && u16(c + 4) == 0 && u16(c + 6) == i) {
        c += 4 + u16(c + 2);
        ++i;
    }
    return i;
}

class jet_reopen : public ::testing::TestWithParam<int> {};

}  // namespace

TEST_P(jet_reopen, adding_sheets_keeps_the_old_ones_intact) {
    const int v = GetParam();
    jet_test::temp_dir dir;
    const std::string path = dir.file("book.xls");
    book want;
    {
        auto db = jet_database::open(path, k_connect[v], false, false);
        want.push_back(fill(*db, u"First", 100));
        db->close();
    }
    check(path, want);
    const auto first_stream = stream_bytes(path);
    const uint32_t first_pos = jet_read_book(path).sheets[0].pos;
    const uint32_t first_size = jet_read_book(path).sheets[0].size;
    for (const char16_t* name : {u"Second", u"Third"}) {
        auto db = jet_database::open(path, k_connect[v], true, false);
        EXPECT_EQ(db->table_names().size(), want.size());
        want.push_back(fill(*db, name, 40));
        db->close();
        check(path, want);
    }
    auto db = jet_database::open(path, k_connect[v], false, true);
    EXPECT_EQ(db->table_names(), (std::vector<std::u16string>{u"First", u"Second", u"Third"}));
    db->close();

    // The first sheet's bytes moved unchanged but for the positions its
    // INDEX record holds.
    const jet_rbook b = jet_read_book(path);
    const auto now = stream_bytes(path);
    const uint32_t pos = b.sheets[0].pos;
    ASSERT_EQ(b.sheets[0].size, first_size);
    const uint32_t delta = pos - first_pos;
    EXPECT_GT(delta, 0u);
    const size_t bof = 4 + tk::get_u16(&first_stream[first_pos + 2]);
    const size_t index_len = 4 + tk::get_u16(&first_stream[first_pos + bof + 2]);
    for (size_t i = 0; i < first_size; ++i) {
        if (i >= bof + 4 + (v ? 12 : 8) && i < bof + index_len)
            continue;
        ASSERT_EQ(now[pos + i], first_stream[first_pos + i]) << i;
    }
    for (size_t p = bof + 4 + (v ? 12 : 8); p < bof + index_len; p += 4)
        EXPECT_EQ(tk::get_u32(&now[pos + p]), tk::get_u32(&first_stream[first_pos + p]) + delta);
    // The header walk reaches all three columns of every sheet.
    for (const auto& s : b.sheets) EXPECT_EQ(patch_walk(now, s.pos, v == 1), 3);
    // Old strings kept their indexes, shared texts were not added twice.
    if (v) {
        EXPECT_EQ(b.sst.size(), 3u + 10u + 100u + 40u + 40u);
    }
}

TEST_P(jet_reopen, delete_table_and_old_tables) {
    const int v = GetParam();
    jet_test::temp_dir dir;
    const std::string path = dir.file("del.xls");
    book want;
    {
        auto db = jet_database::open(path, k_connect[v], false, false);
        want.push_back(fill(*db, u"A", 5));
        fill(*db, u"B", 5);
        want.push_back(fill(*db, u"C", 70));
        db->delete_table(u"b");  // names compare regardless of case
        EXPECT_EQ(db->find_table(u"B"), nullptr);
        EXPECT_THROW(db->delete_table(u"B"), jet_error);
        db->close();
    }
    check(path, want);
    {
        auto db = jet_database::open(path, k_connect[v], false, false);
        jet_table* a = db->find_table(u"a");
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(a->record_count(), 5u);
        EXPECT_EQ(db->find_table(u"C")->record_count(), 70u);
        jet_value one = jet_value::of_number(1);
        try {
            a->append(&one, 0);
            ADD_FAILURE();
        } catch (const jet_error& e) {
            EXPECT_EQ(e.number(), 3251);  // rows go only to sheets made in this session
        }
        try {
            db->create_table(u"c", {});
            ADD_FAILURE();
        } catch (const jet_error& e) {
            EXPECT_EQ(e.number(), 3010);
        }
        db->delete_table(u"A");
        want.erase(want.begin());
        try {
            db->delete_table(u"C");
            ADD_FAILURE();
        } catch (const jet_error& e) {
            EXPECT_EQ(e.number(), 3251);  // the last sheet stays
        }
        db->close();
    }
    check(path, want);
    const jet_rbook b = jet_read_book(path);
    ASSERT_EQ(b.sheets.size(), 1u);
    EXPECT_EQ(patch_walk(stream_bytes(path), b.sheets[0].pos, v == 1), 3);
}

TEST_P(jet_reopen, unchanged_or_discarded_sessions_leave_the_file_alone) {
    const int v = GetParam();
    jet_test::temp_dir dir;
    const std::string path = dir.file("same.xls");
    {
        auto db = jet_database::open(path, k_connect[v], false, false);
        fill(*db, u"A", 3);
        db->close();
    }
    const auto before = jet_test::slurp(path);
    {
        auto db = jet_database::open(path, k_connect[v], false, false);
        db->close();
    }
    {
        auto db = jet_database::open(path, k_connect[v], false, false);
        fill(*db, u"B", 3);
        // destroyed without close: changes discarded
    }
    {
        auto db = jet_database::open(path, k_connect[v], false, true);
        EXPECT_THROW(fill(*db, u"C", 1), jet_error);  // read-only
        db->close();
        EXPECT_THROW(db->create_table(u"D", {}), jet_error);  // closed
    }
    EXPECT_EQ(jet_test::slurp(path), before);
    // A new workbook closed without any sheet is not written.
    auto db = jet_database::open(dir.file("none.xls"), k_connect[v], false, false);
    db->close();
    EXPECT_EQ(dir.list(), std::vector<std::string>{"same.xls"});
}

TEST_P(jet_reopen, the_empty_workbook_image_takes_sheets) {
    const int v = GetParam();
    jet_test::temp_dir dir;
    const std::string path = dir.file("tmpl.xls");
    jet_test::spill(path, jet_template_image(v));
    book want{{u"Sheet1", {}}};
    if (v == 0) {
        // The BIFF5 image says code page 1251: what is added is written in
        // it, whatever the process's code page, and reads back as written.
        auto db = jet_database::open(path, k_connect[v], false, false);
        jet_column c;
        c.name = u"\u0418\u043c\u044f";
        c.type = jet_text;
        c.size = 20;
        jet_table& t = db->create_table(u"\u0417\u0430\u043a\u0430\u0437", {c});
        jet_value r[1] = {jet_value::of_text(u"\u0401\u043b\u043a\u0430 \u20ac")};
        t.append(r, 1);
        EXPECT_EQ(t.replaced_characters(), 0u);
        db->close();
        want.push_back({u"\u0417\u0430\u043a\u0430\u0437",
                        {jet_test::text(0, 0, c.name),
                         jet_test::text(1, 0, u"\u0401\u043b\u043a\u0430 \u20ac")}});
        check(path, want);
        EXPECT_EQ(jet_read_book(path).codepage, 1251);
        return;
    }
    auto db = jet_database::open(path, k_connect[v], false, false);
    EXPECT_EQ(db->find_table(u"Sheet1")->record_count(), 0u);
    std::vector<jet_column> cols(2);
    cols[0].name = u"when";
    cols[0].type = jet_date;
    cols[1].name = u"n";
    cols[1].type = jet_double;
    jet_table& t = db->create_table(u"Dates", cols);
    jet_value r[2] = {jet_value::of_date(2020, 1, 2, 3, 4, 5), jet_value::of_number(0.25)};
    t.append(r, 2);
    db->close();
    sheet s{u"Dates",
            {jet_test::text(0, 0, u"when"), jet_test::text(0, 1, u"n"),
             jet_test::date(1, 0, 43832 + (3 * 3600 + 4 * 60 + 5) / 86400.0),
             jet_test::number(1, 1, 0.25)}};
    want.push_back(s);
    check(path, want);
    // The image's 21 XFs were extended; the date XF sits past the 24th.
    const jet_rbook b = jet_read_book(path);
    EXPECT_GE(b.xfs.size(), 25u);
    for (const auto& c : b.sheets[1].cells) {
        if (c.row == 1 && c.col == 0) {
            EXPECT_GE(c.xf, 24);
        }
    }
    // The property-set streams came along.
    auto f = stg_file::open(path, false);
    EXPECT_TRUE(f->has_stream(u"\x05SummaryInformation"));
    EXPECT_TRUE(
        f->has_stream(u"\x05"
                      u"DocumentSummaryInformation"));
}

TEST_P(jet_reopen, workbooks_past_the_spool_buffers_keep_sharing_texts) {
    // Several MiB of texts and cells, so that the string table and the
    // sheets spill into their temporary files; repeated long texts are then
    // recognised by reading the spilled entries back, also after reopening.
    const int v = GetParam();
    jet_test::temp_dir dir;
    const std::string path = dir.file("book.xls");
    auto long_text = [&](int k) {
        std::u16string s = u"#" + tk::utf8_to_utf16(std::to_string(k)) + u" ";
        s.resize(v ? 3000 : 250, char16_t(u'a' + k % 26));
        if (v && k % 3 == 0)
            s.back() = u'\u0416';
        return s;
    };
    std::vector<jet_column> cols(3);
    for (size_t c = 0; c < 3; ++c) {
        cols[c].name = c == 0 ? u"id" : c == 1 ? u"shared" : u"own";
        cols[c].type = c == 0 ? jet_long : jet_memo;
    }
    const int rows = v ? 1000 : 6000;
    book want;
    for (int round = 0; round < 2; ++round) {
        auto db = jet_database::open(path, k_connect[v], true, false);
        jet_table& t = db->create_table(round ? u"Two" : u"One", cols);
        sheet s{t.name(), {}};
        for (uint16_t c = 0; c < 3; ++c) s.cells.push_back(jet_test::text(0, c, cols[c].name));
        for (int r = 1; r <= rows; ++r) {
            const std::u16string shared = long_text(r % 700),
                                 own = long_text(1000 + round * rows + r);
            jet_value row[3] = {jet_value::of_number(r), jet_value::of_text(shared),
                                jet_value::of_text(own)};
            t.append(row, 3);
            const auto at = static_cast<uint16_t>(r);
            s.cells.push_back(jet_test::number(at, 0, r));
            s.cells.push_back(jet_test::text(at, 1, shared));
            s.cells.push_back(jet_test::text(at, 2, own));
        }
        want.push_back(std::move(s));
        db->close();
        EXPECT_EQ(dir.list(), std::vector<std::string>{"book.xls"});
    }
    check(path, want);
    if (v) {
        EXPECT_EQ(jet_read_book(path).sst.size(), 3u + 700u + 2u * rows);
    }
}

INSTANTIATE_TEST_SUITE_P(versions, jet_reopen, ::testing::Values(0, 1));

TEST(jet_reopen, string_table_written_ahead_gives_the_same_file_whatever_the_sheets_do) {
    // A string table past its first MiB goes into the new file at the place
    // the globals give it; a sheet added or deleted afterwards moves it (up,
    // down), a close that fails keeps it for the next. Each file must be the
    // one the table copied on close gives.
    std::vector<jet_column> cols(2);
    cols[0] = {u"id", jet_long};
    cols[1] = {u"text", jet_memo};
    auto text = [](int k) {
        std::u16string s = u"#" + tk::utf8_to_utf16(std::to_string(k)) + u" ";
        s.resize(700 + k % 50, k % 2 ? u'\u0416' : char16_t(u'a' + k % 26));
        return s;
    };
    auto rows = [&](jet_table& t, int from, int n, sheet& s) {
        for (uint16_t c = 0; c < 2; ++c) s.cells.push_back(jet_test::text(0, c, cols[c].name));
        for (int r = 1; r <= n; ++r) {
            const std::u16string v = text(from + (r % 5 == 0 ? r / 5 : r));  // some repeat
            jet_value row[2] = {jet_value::of_number(r), jet_value::of_text(v)};
            t.append(row, 2);
            s.cells.push_back(jet_test::number(static_cast<uint16_t>(r), 0, r));
            s.cells.push_back(jet_test::text(static_cast<uint16_t>(r), 1, v));
        }
    };
    for (const char* plan :
         {"one sheet", "sheet added", "sheet deleted", "close failed", "reopened"}) {
        const std::string p = plan;
        std::vector<uint8_t> files[2];
        book want;
        for (int ahead = 0; ahead < 2; ++ahead) {
            jet_test::temp_dir dir;
            const std::string path = dir.file("book.xls");
            want.clear();
            tk::publication run(dir.path());
            if (p == "reopened") {
                // The next item of a run: the old table is loaded into the
                // new file before the new sheet is added.
                auto old = jet_database::open(run.file(path), u"Excel 8.0;", true, false);
                old->set_string_table_in_place(ahead == 1);
                sheet zero{u"Zero", {}};
                rows(old->create_table(u"Zero", cols), 9000, 2000, zero);
                want.push_back(std::move(zero));
                old->close();
            }
            auto db = jet_database::open(run.file(path), u"Excel 8.0;", true, false);
            db->set_string_table_in_place(ahead == 1);
            if (p == "sheet deleted")
                db->create_table(u"Gone with a long name", cols);
            sheet one{u"One", {}};
            rows(db->create_table(u"One", cols), 0, 2000, one);  // 1.8 MiB of texts
            want.push_back(std::move(one));
            if (p == "sheet added") {
                sheet two{u"Two", {}};
                rows(db->create_table(u"Two", cols), 5000, 40, two);
                want.push_back(std::move(two));
            }
            if (p == "sheet deleted")
                db->delete_table(u"Gone with a long name");
            if (p == "close failed") {
                std::signal(SIGXFSZ, SIG_IGN);
                rlimit old{};
                getrlimit(RLIMIT_FSIZE, &old);
                rlimit low = old;
                low.rlim_cur = 1 << 20;
                setrlimit(RLIMIT_FSIZE, &low);
                EXPECT_ANY_THROW(db->close());
                setrlimit(RLIMIT_FSIZE, &old);
            }
            db->close();
            db.reset();
            run.publish();
            EXPECT_EQ(dir.list(), std::vector<std::string>{"book.xls"}) << plan;
            files[ahead] = jet_test::slurp(path);
            if (ahead)
                check(path, want);
        }
        EXPECT_GT(files[0].size(), size_t(3) << 19) << plan;  // the table left memory
        EXPECT_TRUE(files[0] == files[1]) << plan;
    }
}
