#include "xlsx/xlsx_db.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "OLE/ole_types.h"
#include "TK/tk_excep.h"
#include "TK/tk_publ.h"
#include "TK/tk_test_util.h"
#include "dao/dao_engi.h"
#include "xlsx/xlsx_deflate.h"
#include "xlsx/xlsx_rs.h"

namespace {

namespace fs = std::filesystem;
using tk_test::temp_dir;

std::vector<std::string> listing(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

// What openpyxl reads of `path` (xlsx_read.py).
std::string read_back(const std::string& path, const char* mode = "") {
    std::string cmd = std::string("TSL_SUPPORT_DIR=") + TSL_SUPPORT_DIR + " /usr/bin/python3 " +
                      XLSX_TEST_DIR + "/xlsx_read.py " + mode + " '" + path + "' 2>&1";
    std::string out;
    if (FILE* p = ::popen(cmd.c_str(), "r")) {
        std::array<char, 4096> buf;
        size_t k;
        while ((k = std::fread(buf.data(), 1, buf.size(), p)) > 0) out.append(buf.data(), k);
        if (::pclose(p) != 0)
            out += "\nEXIT FAILED";
    }
    return out;
}

// Columns of the kinds the converter gives a worksheet.
udb_schema schema_of(const std::vector<std::pair<std::u16string, uint16_t>>& columns) {
    udb_schema s(true);
    for (const auto& [name, kind] : columns)
        s.add(std::make_unique<t_ftd>(20, name, kind, false, false, ole_variant(), 0));
    return s;
}

udb_record record_of(const std::vector<ole_variant>& values) {
    udb_record r;
    for (const ole_variant& v : values) r.emplace_back(u"C", 20, v);
    return r;
}

ole_variant date(const char16_t* text) {
    return ole_variant::from_wstring(text, VT_DATE);
}

void append(udb_recordset& rs, const std::vector<ole_variant>& values) {
    udb_record r = record_of(values);
    rs.append_record(r);
}

long refusal(udb_recordset& rs, const std::vector<ole_variant>& values) {
    try {
        append(rs, values);
    } catch (const dao_exception& e) {
        return e.number();
    }
    return 0;
}

}  // namespace

TEST(xlsx_db, WorksheetsHoldEveryKindOfValueWithTheHeaderFormatWidthsAndFrozenPane) {
    temp_dir dir;
    tk::path_target file(dir / "book.xlsx");
    xlsx_database db(file, {});
    udb_indexes none;
    std::unique_ptr<udb_recordset> first(db.create_table(u"Mixed",
                                                         schema_of({{u"N", VT_R8},
                                                                    {u"TEXT", VT_BSTR},
                                                                    {u"WHEN", VT_DATE},
                                                                    {u"FLAG", VT_BOOL},
                                                                    {u"EMPTY", VT_BSTR}}),
                                                         none));
    append(*first, {ole_variant(7), ole_variant(u"Plain"), date(u"1980-12-17"), ole_variant(true),
                    ole_variant()});
    append(*first, {ole_variant(-1234567.25), ole_variant(u"\u0416\u4e2d\u00e9 _x0041_ a\tb"),
                    date(u"2000-02-29 12:30:05"), ole_variant(false), ole_variant()});
    // Values the format must escape come back exactly.
    append(*first,
           {ole_variant(0.123456789012345), ole_variant(std::u16string(u"a\0b\x01\uFFFE", 5)),
            ole_variant(), ole_variant(), ole_variant()});
    // A record of NULLs only is an empty row, still in the sheet's dimension.
    append(*first, {ole_variant(), ole_variant(), ole_variant(), ole_variant(), ole_variant()});
    first.reset();
    std::unique_ptr<udb_recordset> second(db.create_table(
        u"Wide \u0416", schema_of({{u"A_LONG_HEADER_NAME", VT_BSTR}, {u"Z", VT_R8}}), none));
    append(*second, {ole_variant(std::u16string(300, u'z')), ole_variant(1e20)});
    second.reset();
    EXPECT_EQ(db.table_names(), (std::vector<std::u16string>{u"Mixed", u"Wide \u0416"}));
    db.close();
    EXPECT_TRUE(db.is_closed());
    db.close();  // once only
    EXPECT_EQ(listing(dir.path()), std::vector<std::string>{"book.xlsx"});

    EXPECT_EQ(read_back(dir / "book.xlsx", "--max-row"),
              "parts ok\nsheet Mixed 5x5\nsheet Wide \xd0\x96 2x2\n");
    EXPECT_EQ(read_back(dir / "book.xlsx"),
              "sheet Mixed 4x5 pane=1,1,0,1,2\n"
              // widths as the .xls versions fit them: default 2,340 for short
              // values, "2000-02-29 12:30:05" 19 characters plus padding
              "widths 4608 4352 5120 2340 2340\n"
              "header 1,2,1,0 fill=22 borders=1,1,1,1\n"
              "data General/10,General/10,yyyy-mm-dd/10,General/10,General/20\n"
              "r1: text:\"N\"|text:\"TEXT\"|text:\"WHEN\"|text:\"FLAG\"|text:\"EMPTY\"\n"
              "r2: number:7.0|text:\"Plain\"|date:1980-12-17 00:00:00|bool:1|empty\n"
              "r3: number:-1234567.25|text:\"\\u0416\\u4e2d\\u00e9 _x0041_ a\\tb\"|"
              "date:2000-02-29 12:30:05|bool:0|empty\n"
              "r4: number:0.123456789012345|text:\"a\\u0000b\\u0001\\ufffe\"|empty|empty|empty\n"
              "sheet Wide \xd0\x96 2x2 pane=1,1,0,1,2\n"
              "widths 15616 2340\n"
              "header 1,2,1,0 fill=22 borders=1,1,1,1\n"
              "data General/10,General/10\n"
              "r1: text:\"A_LONG_HEADER_NAME\"|text:\"Z\"\n"
              "r2: text:\"" +
                  std::string(300, 'z') + "\"|number:1e+20\n");
}

TEST(xlsx_db, WrappedTextsWrapInEveryCellAndCapColumnsLower) {
    temp_dir dir;
    tk::path_target file(dir / "wrap.xlsx");
    xlsx_database::options opt;
    opt.wrap = true;
    opt.max_column_chars = 40;
    xlsx_database db(file, opt);
    udb_indexes none;
    std::unique_ptr<udb_recordset> rs(db.create_table(u"W", schema_of({{u"T", VT_BSTR}}), none));
    append(*rs, {ole_variant(std::u16string(100, u'x'))});
    rs.reset();
    db.close();
    const std::string got = read_back(dir / "wrap.xlsx");
    EXPECT_NE(got.find("widths 10496\n"), std::string::npos) << got;  // 40 + 1 characters
    EXPECT_NE(got.find("header 1,2,1,1 fill=22"), std::string::npos) << got;
    EXPECT_NE(got.find("data General/11\n"), std::string::npos) << got;
}

TEST(xlsx_db, ARefusedRecordWritesNothingAndTheNextTakesItsRow) {
    temp_dir dir;
    tk::path_target file(dir / "r.xlsx");
    xlsx_database db(file, {});
    udb_indexes none;
    std::unique_ptr<udb_recordset> rs(
        db.create_table(u"R", schema_of({{u"N", VT_R8}, {u"D", VT_DATE}, {u"T", VT_BSTR}}), none));
    append(*rs, {ole_variant(1), date(u"1900-01-01"), ole_variant(u"a")});
    EXPECT_EQ(refusal(*rs, {ole_variant(2), date(u"1899-12-31"), ole_variant()}), 3349);
    EXPECT_EQ(refusal(*rs, {ole_variant(std::nan("")), ole_variant(), ole_variant()}), 3349);
    EXPECT_EQ(refusal(*rs, {ole_variant(1.0 / 0.0), ole_variant(), ole_variant()}), 3349);
    // Escapes count against the cell's 32,767 characters.
    EXPECT_EQ(
        refusal(*rs, {ole_variant(), ole_variant(), ole_variant(std::u16string(5000, u'\x01'))}),
        3047);
    udb_record short_row = record_of({ole_variant(9)});
    try {
        rs->append_record(short_row);
        ADD_FAILURE() << "a record of the wrong width was taken";
    } catch (const tk_exception& e) {
        EXPECT_EQ(e.code(), 1);
    }
    append(*rs, {ole_variant(3), date(u"9999-12-31 12:00:00"), ole_variant()});
    rs.reset();
    db.close();
    const std::string got = read_back(dir / "r.xlsx");
    EXPECT_NE(got.find("r2: number:1.0|date:1900-01-01 00:00:00|text:\"a\"\n"
                       "r3: number:3.0|date:9999-12-31 12:00:00|empty\n"),
              std::string::npos)
        << got;
}

TEST(xlsx_db, SheetNamesTheFormatRefusesAreReportedAsTheWorkbookDriverDoes) {
    temp_dir dir;
    tk::path_target file(dir / "n.xlsx");
    xlsx_database db(file, {});
    udb_indexes none;
    auto number_of = [&](const std::u16string& name) -> long {
        try {
            delete db.create_table(name, schema_of({{u"X", VT_R8}}), none);
        } catch (const dao_exception& e) {
            return e.number();
        }
        return 0;
    };
    EXPECT_EQ(number_of(u"Orders"), 0);
    EXPECT_EQ(number_of(u"ORDERS"), 3010);  // names compare regardless of case
    EXPECT_EQ(number_of(u"a:b"), 3125);
    EXPECT_EQ(number_of(u"'quoted'"), 3125);
    EXPECT_EQ(number_of(std::u16string(32, u'n')), 3125);
    EXPECT_EQ(number_of(std::u16string(31, u'\u0416')), 0);  // characters, not bytes
    EXPECT_EQ(db.sheet_count(), 2u);
}

// Counts the files created in a folder from now on.
class creations {
  public:
    explicit creations(const std::string& dir) : fd_(::inotify_init1(IN_NONBLOCK)) {
        ::inotify_add_watch(fd_, dir.c_str(), IN_CREATE);
    }
    ~creations() { ::close(fd_); }
    int count() {
        alignas(inotify_event) char buf[4096];
        ssize_t k;
        while ((k = ::read(fd_, buf, sizeof buf)) > 0) {
            for (char* p = buf; p < buf + k;) {
                auto* e = reinterpret_cast<inotify_event*>(p);
                ++count_;
                p += sizeof(inotify_event) + e->len;
            }
        }
        return count_;
    }

  private:
    int fd_;
    int count_ = 0;
};

TEST(xlsx_db, AWorkbookNotClosedLeavesNothingAndAFailedWriteIsTheDriversFullDisk) {
    temp_dir dir;
    temp_dir tmp;
    ::setenv("TMPDIR", tmp.path().c_str(), 1);
    creations in_dest(dir.path()), in_tmp(tmp.path());
    {
        tk::publication pub(dir.path());
        tk::file_target& target = pub.file(dir / "gone.xlsx");
        xlsx_database db(target, {});
        udb_indexes none;
        std::unique_ptr<udb_recordset> rs(db.create_table(u"G", schema_of({{u"X", VT_R8}}), none));
        for (int i = 0; i < 10000; ++i) append(*rs, {ole_variant(i)});
        rs.reset();
        // The library's temporary files are in the destination's folder,
        // already unlinked: nothing shows anywhere.
        EXPECT_GT(in_dest.count(), 0);
        EXPECT_EQ(in_tmp.count(), 0);
        EXPECT_TRUE(listing(dir.path()).empty());
        // destroyed without close
    }
    EXPECT_TRUE(listing(dir.path()).empty());
    EXPECT_TRUE(listing(tmp.path()).empty());
    ::unsetenv("TMPDIR");

    // A workbook whose file cannot be written: the failure the .xls driver
    // raises for a full disk, and no new content.
    class full_disk : public tk::file_target {
      public:
        explicit full_disk(std::string name) : name_(std::move(name)) {}
        const std::string& name() const override { return name_; }
        std::string content_path() const override { return {}; }
        std::unique_ptr<tk::file_rewrite> rewrite() override {
            struct to_dev_full : tk::file_rewrite {
                tk::memory_sink sink;
                bool* committed;
                tk::sink& out() override { return sink; }
                std::string path() const override { return "/dev/full"; }
                void commit() override { *committed = true; }
            };
            auto r = std::make_unique<to_dev_full>();
            r->committed = &committed;
            return r;
        }
        bool committed = false;

      private:
        std::string name_;
    };
    full_disk target(dir / "full.xlsx");
    xlsx_database db(target, {});
    udb_indexes none;
    std::unique_ptr<udb_recordset> rs(db.create_table(u"F", schema_of({{u"X", VT_R8}}), none));
    append(*rs, {ole_variant(1)});
    rs.reset();
    try {
        db.close();
        ADD_FAILURE() << "a workbook was written to /dev/full";
    } catch (const tk_write_failure& e) {
        // The driver's failure to write: it ends the run.
        EXPECT_EQ(e.system_error(), static_cast<uint32_t>(ENOSPC));
        EXPECT_EQ(e.code(), 1);
    }
    EXPECT_FALSE(target.committed);
    EXPECT_TRUE(db.is_closed());
    EXPECT_TRUE(listing(dir.path()).empty());
}

TEST(xlsx_db, ASheetHoldsOneMillionFortyEightThousandFiveHundredSeventyFiveRecords) {
    temp_dir dir;
    tk::path_target file(dir / "full.xlsx");
    xlsx_database db(file, {});
    udb_indexes none;
    std::unique_ptr<udb_recordset> rs(db.create_table(u"F", schema_of({{u"N", VT_R8}}), none));
    auto* sheet = dynamic_cast<xlsx_recordset*>(rs.get());
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->capacity(), 1048575u);
    udb_record r = record_of({ole_variant(0)});
    for (uint32_t i = 1; i <= sheet->capacity(); ++i) {
        r[0].set_value(ole_variant(static_cast<int>(i)));
        rs->append_record(r);
    }
    EXPECT_EQ(refusal(*rs, {ole_variant(-1)}), 3437);  // nothing of it written
    EXPECT_EQ(sheet->record_count(), 1048575u);
    rs.reset();
    const uint64_t parts = xlsx_deflate_parts();
    db.close();
    // Its worksheet, many chunks long, was compressed on every core, as
    // were the package's other parts.
    EXPECT_EQ(xlsx_deflate_parts() - parts, 9u);
    EXPECT_EQ(read_back(dir / "full.xlsx", "--max-row"), "parts ok\nsheet F 1048576x1\n");
}
