#include "core/cnv_base.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "TK/tk_excep.h"
#include "TK/tk_log.h"
#include "UDB/udb_prof.h"
#include "core/cnv_doubles.h"
#include "core/xls_conv.h"

using namespace cnv_test;

namespace {

class settings : public ::testing::Test {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/tsl_set_XXXXXX";
        dir = mkdtemp(tmpl);
    }
    void TearDown() override { std::system(("rm -rf " + dir).c_str()); }

    udb_profile parse(const std::string& text) {
        udb_profile p;
        EXPECT_TRUE(p.parse(text));
        return p;
    }

    std::string dir;
    workbook_store store;
    recording_front front;
    xls_converter conv{std::make_unique<fake_destination>(store), front};
};

TEST_F(settings, SelectedTablesAndQueriesComeFromTheirSections) {
    conv.selected_tables = {u"BONUS"};
    udb_profile p = parse(
        "[Selected Tables]\nEMP\nDEPT\nQ1=SELECT * FROM EMP WHERE SAL = 1000\n"
        "[Available Queries]\nQ1=SELECT * FROM EMP WHERE SAL = 1000\nQ2=SELECT 2\n");
    ASSERT_TRUE(conv.load_profile(p));
    // Key order of the section (ordinal), added to what was selected.
    EXPECT_EQ(conv.selected_tables, (std::vector<std::u16string>{u"BONUS", u"DEPT", u"EMP"}));
    EXPECT_EQ(conv.selected_items.size(), 3u);
    EXPECT_EQ(conv.selected_items.at(u"Q1"), u"SELECT * FROM EMP WHERE SAL = 1000");
    EXPECT_EQ(conv.available_queries.size(), 2u);
}

TEST_F(settings, GenericKeysFollowTheirRules) {
    conv.src = u"old";
    conv.mode = 3;
    ASSERT_TRUE(conv.load_profile(
        parse("[Generic settings]\nonly definitions=yes\nskip indexes=0\nmode=12\n")));
    EXPECT_EQ(conv.src, u"");  // assigned even when missing
    EXPECT_TRUE(conv.only_definitions);
    EXPECT_FALSE(conv.skip_indexes);
    EXPECT_EQ(conv.mode, 3);  // "12" is not one character
    ASSERT_TRUE(conv.load_profile(
        parse("[Generic settings]\nonly definitions=0\nskip indexes=\nmode=7\n")));
    EXPECT_FALSE(conv.only_definitions);
    EXPECT_EQ(conv.mode, 7);
}

TEST_F(settings, WorkbookKeysAreTrueOnlyForOne) {
    conv.format_version = 1;
    conv.load_workbook_settings(
        parse("[MS Excel settings]\nformat version=7\nsplit data=1\nwrap text=1\n"));
    EXPECT_EQ(conv.format_version, 0);
    EXPECT_TRUE(conv.split_data);
    EXPECT_TRUE(store.wrap);  // copied into the engines
    conv.load_workbook_settings(parse("[MS Excel settings]\nformat version=\nsplit data=yes\n"));
    EXPECT_EQ(conv.format_version, 0);  // empty: unchanged
    EXPECT_FALSE(conv.split_data);
    // Excel 2007 is "2", which the original program never wrote; it is
    // stored as it is read.
    conv.load_workbook_settings(parse("[MS Excel settings]\nformat version=2\n"));
    EXPECT_EQ(conv.format_version, 2);
    conv.load_workbook_settings(parse("[MS Excel settings]\nformat version=2 \n"));
    EXPECT_EQ(conv.format_version, 0);
    conv.format_version = 2;
    udb_profile out;
    conv.store_workbook_settings(out);
    EXPECT_EQ(out.get(tsl_keys::kExcel, u"format version"), u"2");
}

TEST_F(settings, StoringThenLoadingGivesTheSameSettings) {
    conv.src = u"ORCL";
    conv.dest = u"/out/\u00e9t\u00e9.xls";
    conv.mode = 5;
    conv.skip_indexes = true;
    conv.selected_items = {{u"EMP", u""}, {u"Q1", u"SELECT 1"}};
    conv.available_queries = {{u"Q1", u"SELECT 1"}};
    conv.format_version = 1;
    conv.dates_to_strings = true;
    conv.set_wrap_text(true);
    udb_profile p;
    conv.store_profile(p);
    conv.store_workbook_settings(p);
    EXPECT_EQ(p.get(u"Generic settings", u"logfile"), u"");
    EXPECT_EQ(p.get(u"MS Excel settings", u"split data"), u"0");
    std::string text = p.to_text();
    EXPECT_NE(text.find("[Selected Tables]\nEMP\nQ1=SELECT 1\n"), std::string::npos);

    workbook_store store2;
    xls_converter back{std::make_unique<fake_destination>(store2), front};
    udb_profile q;
    ASSERT_TRUE(q.parse(text));
    back.load_profile(q);
    back.load_workbook_settings(q);
    EXPECT_EQ(back.src, conv.src);
    EXPECT_EQ(back.dest, conv.dest);
    EXPECT_EQ(back.mode, 5);
    EXPECT_TRUE(back.skip_indexes);
    EXPECT_FALSE(back.only_definitions);
    EXPECT_EQ(back.selected_items, conv.selected_items);
    EXPECT_EQ(back.selected_tables, std::vector<std::u16string>{u"EMP"});
    EXPECT_EQ(back.available_queries, conv.available_queries);
    EXPECT_EQ(back.format_version, 1);
    EXPECT_TRUE(back.dates_to_strings);
    EXPECT_TRUE(back.wrap_text());
    EXPECT_FALSE(back.split_data);
}

TEST_F(settings, AQueryWithLineCommentsIsStoredOnOneLineThatMeansTheSame) {
    conv.available_queries = {{u"Q", u"SELECT ENAME -- the name\r\nFROM EMP -- all rows"}};
    conv.selected_items = {{u"Q", u"SELECT ENAME -- the name\nFROM EMP"}};
    udb_profile p;
    conv.store_profile(p);
    const std::string text = p.to_text();
    EXPECT_NE(
        text.find("[Available Queries]\nQ=SELECT ENAME /* the name */ FROM EMP /* all rows */\n"),
        std::string::npos)
        << text;
    EXPECT_NE(text.find("[Selected Tables]\nQ=SELECT ENAME /* the name */ FROM EMP\n"),
              std::string::npos)
        << text;
}

TEST_F(settings, LogFileChecksKeepTheOldNameOnFailure) {
    conv.set_logfile(dir + "/trace.log");
    EXPECT_EQ(conv.logfile(), dir + "/trace.log");
    try {
        conv.set_logfile(dir + "/no/such/folder/trace.log");
        FAIL();
    } catch (const tk_exception& e) {
        EXPECT_EQ(e.code(), 1);
        EXPECT_EQ(e.message(),
                  "Logfile path does not exist.\nPlease verify the correct path was given.");
    }
    std::string ro = dir + "/ro.log";
    std::ofstream(ro) << "x";
    ::chmod(ro.c_str(), 0444);
    try {
        conv.set_logfile(ro);
        FAIL();
    } catch (const tk_exception& e) {
        EXPECT_EQ(e.message(), "Logfile name specifies an existing read-only file.");
    }
    EXPECT_THROW(conv.set_logfile(dir), tk_exception);  // a folder
    EXPECT_EQ(conv.logfile(), dir + "/trace.log");
    conv.set_logfile("");
    EXPECT_EQ(conv.logfile(), "");
}

TEST_F(settings, LogFileTurnsTheTraceLogOn) {
    tk_log log;
    conv.set_logfile("");
    EXPECT_FALSE(log.enabled());  // an empty name leaves the log alone
    conv.set_logfile(dir + "/t.log");
    EXPECT_TRUE(log.enabled());
    EXPECT_EQ(log.path(), dir + "/t.log");
    tk_trace(3, "Converting database %s (%d tables)", "ORCL", 2);
    log.set_enabled(false);
    std::ifstream in(dir + "/t.log");
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, std::string(tk_log::kHeader) + "\r");
    std::getline(in, line);
    EXPECT_NE(line.find("Converting database ORCL (2 tables)"), std::string::npos);
}

TEST_F(settings, ALogFileFromAProfileIsCheckedToo) {
    udb_profile p = parse("[Generic settings]\nlogfile=" + dir + "/none/x.log\n");
    EXPECT_THROW(conv.load_profile(p), tk_exception);
}

}  // namespace
