#include "agent/ag_cmdln.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <fstream>

#include "core/cnv_doubles.h"
#include "core/tsl_conv.h"

using namespace cnv_test;

namespace {

// What one parse did: its result (1 true, 0 false) or the exit status it
// asked for, and what it printed on standard error.
struct outcome {
    int result;
    std::string err;
};

class command_line : public ::testing::Test {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/tsl_cmd_XXXXXX";
        dir = mkdtemp(tmpl);
    }
    void TearDown() override { std::system(("rm -rf " + dir).c_str()); }

    outcome parse(std::vector<std::string> args) {
        args.insert(args.begin(), "tslagent");
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        testing::internal::CaptureStderr();
        int result;
        try {
            result = parse_cmd_line(static_cast<int>(argv.size()), argv.data()) ? 1 : 0;
        } catch (const tsl_exit_request& r) {
            result = r.status;
        } catch (...) {
            testing::internal::GetCapturedStderr();
            throw;
        }
        return {result, testing::internal::GetCapturedStderr()};
    }
    std::string file(const std::string& name, const std::string& content) {
        std::string path = dir + "/" + name;
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }

    std::string dir;
    workbook_store store;
    recording_front front;
    tessal_convertor conv{front, converter_defaults::agent,
                          std::make_unique<fake_destination>(store)};
};

TEST_F(command_line, AgentStartsWithNothingGiven) {
    EXPECT_EQ(conv.format_version, -1);
    EXPECT_FALSE(conv.split_data || conv.wrap_text() || conv.dates_to_strings || conv.open_on_exit);
    EXPECT_TRUE(conv.oracle.use_tns);
}

TEST_F(command_line, DestinationGetsTheXlsExtensionInAnyLetterCase) {
    ::mkdir("/tmp/out", 0755);  // the destination's folder must exist
    EXPECT_EQ(parse({"--dest=/tmp/out/data.txt", "--xls_ver=1", "--src=ORCL"}).result, 1);
    EXPECT_EQ(conv.dest, u"/tmp/out/data.xls");
    parse({"--dest=/tmp/out/data", "--xls_ver=1", "--src=ORCL"});
    EXPECT_EQ(conv.dest, u"/tmp/out/data.xls");
    char cwd[PATH_MAX];
    ASSERT_TRUE(getcwd(cwd, sizeof cwd));
    parse({"--dest=out/./x.y.z", "--xls_ver=1", "--src=ORCL"});
    EXPECT_EQ(conv.dest, tk::utf8_to_utf16(std::string(cwd) + "/out/x.y.xls"));
    // ".xls" in another letter case is the user's file: kept as given.
    parse({"--dest=/tmp/out/Report.XLS", "--xls_ver=1", "--src=ORCL"});
    EXPECT_EQ(conv.dest, u"/tmp/out/Report.XLS");
    parse({"--dest=/tmp/out/Report.Xls", "--xls_ver=1", "--src=ORCL"});
    EXPECT_EQ(conv.dest, u"/tmp/out/Report.Xls");
    // Excel 2007 workbooks get ".xlsx", whichever option comes first, and
    // from a profile's destination too.
    parse({"--dest=/tmp/out/data.xls", "--xls_ver=2", "--src=ORCL"});
    EXPECT_EQ(conv.dest, u"/tmp/out/data.xlsx");
    parse({"--xls_ver=2", "--dest=/tmp/out/data", "--src=ORCL"});
    EXPECT_EQ(conv.dest, u"/tmp/out/data.xlsx");
    parse({"--dest=/tmp/out/data.xlsx", "--xls_ver=1", "--src=ORCL"});
    EXPECT_EQ(conv.dest, u"/tmp/out/data.xls");
    std::string p = file("p.ini",
                         "[Generic settings]\nsrc=PROD\ndest=/tmp/out/prof.xls\n"
                         "[MS Excel settings]\nformat version=2\n");
    ASSERT_EQ(parse({"--profile=" + p}).result, 1);
    EXPECT_EQ(conv.format_version, 2);
    EXPECT_EQ(conv.dest, u"/tmp/out/prof.xlsx");
}

TEST_F(command_line, DestinationThatNamesNoFileIsMissing) {
    const std::string message = "You should enter MS Excel spredsheet name\n";
    EXPECT_EQ(parse({"--xls_ver=1", "--src=ORCL"}).err, message);
    outcome o = parse({"--dest=", "--xls_ver=1", "--src=ORCL"});
    EXPECT_EQ(o.result, -1);
    EXPECT_EQ(o.err, message);
    EXPECT_EQ(parse({"--dest=/tmp/", "--xls_ver=1", "--src=ORCL"}).err, message);
}

TEST_F(command_line, FormatVersionIsADecimalNumberOfZeroOrOne) {
    const std::string message =
        "You should specify MS Excel format version (use '--xls_ver' option)\n";
    EXPECT_EQ(parse({"--dest=/tmp/a", "--xls_ver=abc", "--src=ORCL"}).result, 1);
    EXPECT_EQ(conv.format_version, 0);
    EXPECT_EQ(parse({"--dest=/tmp/a", "--xls_ver=1x", "--src=ORCL"}).result, 1);
    EXPECT_EQ(conv.format_version, 1);
    EXPECT_EQ(parse({"--dest=/tmp/a", "--xls_ver=2", "--src=ORCL"}).result, 1);
    EXPECT_EQ(conv.format_version, 2);
    for (const char* bad : {"--xls_ver=3", "--xls_ver=-1", "--xls_ver=99999999999"}) {
        outcome o = parse({"--dest=/tmp/a", bad, "--src=ORCL"});
        EXPECT_EQ(o.result, -1) << bad;
        EXPECT_EQ(o.err, message) << bad;
    }
}

TEST_F(command_line, ChecksComeInOrder) {
    EXPECT_EQ(parse({"--src=ORCL"}).err, "You should enter MS Excel spredsheet name\n");
    EXPECT_EQ(parse({"--dest=/tmp/a"}).err,
              "You should specify MS Excel format version (use '--xls_ver' option)\n");
    outcome o = parse({"--dest=/tmp/a", "--xls_ver=1"});
    EXPECT_EQ(o.result, -1);
    EXPECT_EQ(o.err, "You should enter Oracle database name\n");
    o = parse({"--dest=/nonexistent-folder/a", "--xls_ver=1", "--src=ORCL"});
    EXPECT_EQ(o.result, -1);
    EXPECT_EQ(o.err,
              "The folder of the MS Excel spreadsheet does not exist.\n"
              "Please verify the correct path was given.\n");
}

TEST_F(command_line, ServiceNameFormAndDirectForm) {
    ASSERT_EQ(parse({"--src=ORCL", "--user=scott", "--pswd=tiger", "--dest=/tmp/a", "--xls_ver=0"})
                  .result,
              1);
    EXPECT_TRUE(conv.oracle.use_tns);
    EXPECT_EQ(conv.oracle.service, u"ORCL");
    EXPECT_EQ(conv.oracle.user, u"scott");
    EXPECT_EQ(conv.oracle.password, u"tiger");
    EXPECT_EQ(conv.src, u"ORCL");

    ASSERT_EQ(parse({"--direct", "--src=10.0.0.7", "--dest=/tmp/a", "--xls_ver=0"}).result, 1);
    EXPECT_FALSE(conv.oracle.use_tns);
    EXPECT_EQ(conv.oracle.host, u"10.0.0.7");
    EXPECT_EQ(conv.oracle.port, u"1521");
    parse({"--port=1522", "--direct", "--src=db.example", "--dest=/tmp/a", "--xls_ver=0"});
    EXPECT_EQ(conv.oracle.port, u"1522");
}

TEST_F(command_line, FlagsAreMatchedByPrefix) {
    ASSERT_EQ(
        parse({"--splitx", "--date2strings", "--wrap", "--src=S", "--dest=/tmp/a", "--xls_ver=1"})
            .result,
        1);
    EXPECT_TRUE(conv.split_data);
    EXPECT_TRUE(conv.dates_to_strings);
    EXPECT_TRUE(conv.wrap_text());
    EXPECT_TRUE(store.wrap);
}

TEST_F(command_line, UnknownArgumentsAskForTheUsageTextAndHelpPrintsIt) {
    EXPECT_EQ(parse({"--mode=overwrite", "--src=S", "--dest=/tmp/a", "--xls_ver=1"}).result, 0);
    EXPECT_EQ(parse({"-dest=/tmp/a"}).result, 0);
    outcome o = parse({"--src=S", "--help"});
    EXPECT_EQ(o.result, -1);
    EXPECT_EQ(o.err, agent_usage() + "\n");
}

TEST_F(command_line, UsageTextIsTheAgentsOwn) {
    const std::string& u = agent_usage();
    EXPECT_EQ(u.substr(0, 14), "TSLAGENT v3.3 ");
    size_t usage = u.find('\n') + 1;
    EXPECT_EQ(u.substr(usage, 29), "Usage: TSLAGENT.EXE OPTIONS\n\n");
    EXPECT_NE(u.find("\n   --tab_file=... file containing the list of tables to convert\n"
                     "                  (one table name per line)\n"),
              std::string::npos);
    EXPECT_NE(u.find("(for example --dest=&quot;c:\\my documents\\sheet 1.xls&quot;)"),
              std::string::npos);
    EXPECT_NE(u.find("\n   --xls_ver=...  format version for the destination MS Excel spreadsheet\n"
                     "                  (0 - MS Excel 5.0, 1 - MS Excel 2000, 2 - MS Excel 2007 "
                     "(XLSX))\n"),
              std::string::npos);
    EXPECT_EQ(u.substr(u.size() - 24), "      '--mode' parameter");
}

TEST_F(command_line, AProfileReplacesTheConnectionOptions) {
    std::string p = file("p.ini",
                         "[Generic settings]\nsrc=PROD\ndest=/tmp/prof.xls\n"
                         "[MS Excel settings]\nformat version=1\n"
                         "[Oracle settings]\nuser=prof_user\nIP=10.1.1.1\n");
    ASSERT_EQ(parse({"--profile=" + p, "--user=scott"}).result, 1);  // no --src needed
    EXPECT_EQ(conv.oracle.user, u"prof_user");
    EXPECT_EQ(conv.oracle.host, u"10.1.1.1");  // read from the older key
    EXPECT_EQ(conv.src, u"PROD");
    EXPECT_EQ(conv.oracle.service, u"PROD");  // the profile's database
    EXPECT_EQ(conv.dest, u"/tmp/prof.xls");
    // A later option overrides the profile.
    ASSERT_EQ(parse({"--profile=" + p, "--dest=/tmp/mine"}).result, 1);
    EXPECT_EQ(conv.dest, u"/tmp/mine.xls");
    // The direct form keeps the profile's host.
    ASSERT_EQ(parse({"--profile=" + p, "--direct"}).result, 1);
    EXPECT_EQ(conv.oracle.host, u"10.1.1.1");
    EXPECT_FALSE(conv.oracle.use_tns);
}

TEST_F(command_line, TableFileAndProfileCombineInTheirOrder) {
    std::string t = file("t.txt", "T1\r\nT2\r\n");
    std::string p =
        file("p.ini",
             "[Selected Tables]\nP1\nQ1=SELECT 1 FROM DUAL\n"
             "[Generic settings]\ndest=/tmp/x.xls\n[MS Excel settings]\nformat version=0\n");
    ASSERT_EQ(parse({"--tab_file=" + t, "--profile=" + p}).result, 1);
    EXPECT_EQ(conv.selected_tables, (std::vector<std::u16string>{u"T1", u"T2", u"P1"}));
    EXPECT_EQ(conv.selected_items.count(u"Q1"), 1u);

    conv.selected_tables.clear();
    conv.selected_items.clear();
    ASSERT_EQ(parse({"--profile=" + p, "--tab_file=" + t}).result, 1);
    EXPECT_EQ(conv.selected_tables, (std::vector<std::u16string>{u"T1", u"T2"}));
    EXPECT_EQ(conv.selected_items.count(u"P1"), 1u);  // still converted
    EXPECT_EQ(conv.selected_items.count(u"Q1"), 1u);
}

TEST_F(command_line, MissingOrBrokenFilesGetTheirMessages) {
    EXPECT_THROW(parse({"--profile=" + dir + "/none.ini"}), tk_exception);  // reported by main

    outcome o = parse({"--profile=" + file("bad.ini", "user=scott\n[Oracle settings]\n")});
    EXPECT_EQ(o.result, -1);
    EXPECT_EQ(o.err,
              "Profile cannot be loaded: line 1 holds a setting before the first section.\n");

    o = parse({"--tab_file=" + dir + "/none.txt", "--src=S"});
    EXPECT_EQ(o.result, -1);
    EXPECT_EQ(o.err,
              "Table names file does not exist.\nPlease verify the correct path/name was given.\n");
}

TEST_F(command_line, AValueThatIsNotTextIsSkippedWithANote) {
    outcome o = parse({"--user=\xff\xfe", "--src=S", "--dest=/tmp/a", "--xls_ver=1"});
    EXPECT_EQ(o.result, 1);
    EXPECT_EQ(o.err, "Argument #1 is skipped: its value is not valid UTF-8 text.\n");
    EXPECT_EQ(conv.oracle.user, u"");
}

}  // namespace
