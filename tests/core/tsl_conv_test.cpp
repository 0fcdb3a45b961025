#include "core/tsl_conv.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "TK/tk_log.h"
#include "TK/tk_regk.h"
#include "UDB/udb_prof.h"
#include "core/cnv_doubles.h"
#include "core/err_maps.h"

using namespace cnv_test;

namespace {

std::u16string w(const std::string& s) {
    return tk::utf8_to_utf16(s);
}
std::string slurp(const std::string& p) {
    std::ifstream f(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), {}};
}

table numbers(int n) {
    table t;
    t.columns = {{u"N", VT_I4}};
    for (int i = 1; i <= n; ++i) t.rows.push_back({ole_variant(i)});
    return t;
}

class converter : public ::testing::Test {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/tsl_conv_XXXXXX";
        dir = mkdtemp(tmpl);
        // The wizard's settings key lives under the per-user folder.
        setenv("XDG_CONFIG_HOME", (dir + "/config").c_str(), 1);
        load_err_maps(handler);
    }
    void TearDown() override {
        unsetenv("XDG_CONFIG_HOME");
        std::system(("rm -rf " + dir).c_str());
    }
    std::unique_ptr<fake_destination> destination() {
        return std::make_unique<fake_destination>(store);
    }
    fake_source& connect(tessal_convertor& conv) {
        auto src = std::make_unique<fake_source>();
        fake_source& ref = *src;
        conv.oracle.set_database(std::move(src));
        return ref;
    }

    std::string dir;
    workbook_store store;
    recording_front front;
    recording_view view;
    error_handler handler{view, kDaoErrMapSize, kDaoErrMap};
};

TEST_F(converter, ARunConvertsTheSelectionAndSetsItsFlags) {
    tessal_convertor conv(front, converter_defaults::agent, destination());
    fake_source& src = connect(conv);
    src.add_table(u"EMP", numbers(3));
    src.add_table(u"DEPT", numbers(2));
    conv.src = u"ORCL";
    conv.dest = w(dir + "/out.xls");
    conv.format_version = 0;
    conv.selected_tables = {u"EMP"};
    conv();
    EXPECT_TRUE(conv.finished);
    EXPECT_TRUE(conv.oracle.engine().running);
    EXPECT_EQ(conv.table_count, 1);
    EXPECT_EQ(front.events, (std::vector<std::string>{"run started", "database ORCL 1",
                                                      "table EMP 3", "table ended", "run ended"}));
    EXPECT_EQ(store.patched, std::vector<std::u16string>{conv.dest + u" v0"});
}

TEST_F(converter, ARunTracesItsMilestonesAndASecondRunStartsAfresh) {
    std::string log_path = dir + "/trace.log";
    tk_log log;
    log.set_path(log_path.c_str());
    log.set_threshold(2);
    log.set_timestamps(false);
    log.set_enabled(true);
    tessal_convertor conv(front, converter_defaults::agent, destination());
    connect(conv).add_table(u"EMP", numbers(2));
    conv.src = u"ORCL";
    conv.dest = w(dir + "/out.xls");
    conv.format_version = 1;
    conv.selected_tables = {u"EMP"};
    conv();
    conv();
    EXPECT_EQ(conv.tables_done, 1);  // counted per run
    log.set_enabled(false);
    std::string text = slurp(log_path);
    for (const char* line :
         {"tessal_converter::operator()\r\n", "init_conversion::ctor\r\n",
          "Converting database ORCL (1 tables)\r\n", "xls_converter::do_convert\r\n",
          "xls_converter::convert_table(EMP)\r\n", "Converting table EMP (2 records)\r\n",
          "init_conversion::dtor\r\n"}) {
        EXPECT_NE(text.find(line), std::string::npos) << line;
    }
    EXPECT_NE(text.find("Conversion started on "), std::string::npos);
    EXPECT_NE(text.find("Conversion ended on "), std::string::npos);
    EXPECT_EQ(text.find("Converting 0 record"), std::string::npos);  // level 1: below the threshold
}

TEST_F(converter, AnEmptySelectionMeansAllTablesOnlyWhereTheFrontSaysSo) {
    tessal_convertor conv(front, converter_defaults::agent, destination());
    fake_source& src = connect(conv);
    src.add_table(u"EMP", numbers(1));
    src.add_table(u"DEPT", numbers(1));
    conv.dest = w(dir + "/out.xls");
    conv.format_version = 1;
    conv();
    EXPECT_TRUE(conv.selected_tables.empty());
    EXPECT_TRUE(store.files.empty());

    front.all_when_empty = true;
    conv();
    EXPECT_EQ(conv.selected_tables, (std::vector<std::u16string>{u"EMP", u"DEPT"}));
    EXPECT_EQ(conv.table_count, 2);
    EXPECT_EQ(store.files.at(conv.dest).sheet_order,
              (std::vector<std::u16string>{u"DEPT", u"EMP"}));
}

TEST_F(converter, FailuresNeverEscapeARun) {
    tessal_convertor conv(front, converter_defaults::agent, destination());
    connect(conv).add_table(u"EMP", numbers(1));
    conv.dest = w(dir + "/out.xls");
    conv.format_version = 1;
    conv.selected_tables = {u"EMP"};
    store.dao_loads = false;
    EXPECT_NO_THROW(conv());  // level 1, reported outside the loop: no abort
    EXPECT_EQ(view.shown.size(), 1u);
    EXPECT_EQ(view.shown[0].substr(0, 36), "error: Failed to load Data Access Ob");
    EXPECT_TRUE(conv.finished);
}

TEST_F(converter, WithoutASourceDatabaseListingTablesIsAnInternalError) {
    tessal_convertor conv(front, converter_defaults::agent, destination());
    std::vector<std::u16string> list;
    try {
        conv.get_all_tables(list);
        FAIL();
    } catch (const tk_mail_assertion& e) {
        EXPECT_EQ(e.message(),
                  "Internal error: \ncode=" + tk_mail_assertion::encode_position("tsl_conv", 52));
    }
}

TEST_F(converter, OnlyOneConverterPerProcess) {
    tessal_convertor conv(front, converter_defaults::agent, destination());
    workbook_store other;
    try {
        tessal_convertor second(front, converter_defaults::agent,
                                std::make_unique<fake_destination>(other));
        FAIL();
    } catch (const tk_mail_assertion& e) {
        EXPECT_EQ(e.message(), "Internal error: \ncode=" +
                                   tk_mail_assertion::encode_position("..\\TK/tk_singl", 35));
    }
    EXPECT_EQ(&tessal_convertor::instance(), &conv);
}

TEST_F(converter, ProfileRoundTripKeepsHostAndIsPrivateWithAPassword) {
    std::u16string path = w(dir + "/p.tsl");
    {
        tessal_convertor conv(front, converter_defaults::agent, destination());
        conv.oracle.store_oracle_settings(u"db.example", u"scott", u"tiger", u"1522");
        conv.selected_items = {{u"Q1", u"SELECT * FROM EMP WHERE SAL = 1000"}};
        conv.format_version = 1;
        ASSERT_TRUE(conv.store_profile(path));
    }
    struct stat st {};
    ASSERT_EQ(::stat((dir + "/p.tsl").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    std::string text = slurp(dir + "/p.tsl");
    EXPECT_NE(
        text.find("[Oracle settings]\nhost=db.example\npassword=tiger\nport=1522\nuser=scott\n\n"),
        std::string::npos);
    {
        tessal_convertor conv(front, converter_defaults::agent, destination());
        ASSERT_TRUE(conv.load_profile(path));
        EXPECT_EQ(conv.oracle.host, u"db.example");
        EXPECT_EQ(conv.oracle.password, u"tiger");
        EXPECT_EQ(conv.oracle.port, u"1522");
        EXPECT_EQ(conv.oracle.user, u"scott");
        EXPECT_EQ(conv.selected_items.at(u"Q1"), u"SELECT * FROM EMP WHERE SAL = 1000");
        EXPECT_EQ(conv.format_version, 1);
    }
    {
        tessal_convertor conv(front, converter_defaults::agent, destination());
        conv.oracle.user = u"scott";  // no password: an ordinary file, and none written
        ASSERT_TRUE(conv.store_profile(path));
        ASSERT_EQ(::stat((dir + "/p.tsl").c_str(), &st), 0);
        mode_t mask = ::umask(0);
        ::umask(mask);
        EXPECT_EQ(st.st_mode & 0777, 0644u & ~mask);
        EXPECT_EQ(slurp(dir + "/p.tsl").find("password"), std::string::npos);
    }
}

TEST(oracle_settings, TheSourceFileIsTheFileOfAFileSourceInEitherForm) {
    oracle_converter_impl o;
    auto file_of = [&](const char16_t* name) {
        o.service = o.host = name;
        return o.source_file();
    };
    EXPECT_EQ(file_of(u"file:/data/a.db"), "/data/a.db");
    EXPECT_EQ(file_of(u"file:rel.db?mode=ro"), "rel.db");
    EXPECT_EQ(file_of(u"file:///data/a%20b.db#x"), "/data/a b.db");
    EXPECT_EQ(file_of(u"file://localhost/data/a.db"), "/data/a.db");
    EXPECT_EQ(file_of(u"file://elsewhere/data/a.db"), "");
    EXPECT_EQ(file_of(u"ORCL"), "");
    o.use_tns = false;
    o.service = u"ORCL";
    o.host = u"file:/data/b.db";
    EXPECT_EQ(o.source_file(), "/data/b.db");
}

TEST_F(converter, HostKeyWinsOverTheOlderIpKey) {
    std::ofstream(dir + "/p.tsl")
        << "[Oracle settings]\nIP=10.0.0.1\nhost=db.example\n[Oracle settings]\nuser=a\nuser=b\n";
    tessal_convertor conv(front, converter_defaults::agent, destination());
    std::string why;
    ASSERT_TRUE(conv.load_profile(w(dir + "/p.tsl"), &why));
    EXPECT_EQ(conv.oracle.host, u"db.example");
    EXPECT_EQ(conv.oracle.user, u"a");

    std::ofstream(dir + "/bad.tsl") << "host=x\n";
    EXPECT_FALSE(conv.load_profile(w(dir + "/bad.tsl"), &why));
    EXPECT_EQ(why, "line 1 holds a setting before the first section");
}

TEST_F(converter, TheWizardKeepsItsSettingsInTheRegistryAndTheAgentNever) {
    {
        tessal_convertor conv(front, converter_defaults::wizard, destination());
        // Nothing stored yet: the wizard's defaults.
        EXPECT_EQ(conv.format_version, 1);
        EXPECT_TRUE(conv.open_on_exit);
        EXPECT_TRUE(conv.wrap_text());
        EXPECT_TRUE(store.wrap);
        conv.dest = u"/home/ann/emp.xls";
        conv.oracle.service = u"ORCL";
        conv.oracle.password = u"tiger";
        conv.format_version = 0;
        conv.split_data = true;
        conv.set_wrap_text(false);
    }  // stored here
    std::string settings = slurp(dir + "/config/Brannock/Tessaline/settings");
    EXPECT_NE(settings.find("\"oraclep\"=\"tiger\""), std::string::npos);  // readable in clear text
    {
        tessal_convertor conv(front, converter_defaults::wizard, destination());
        EXPECT_EQ(conv.dest, u"/home/ann/emp.xls");
        EXPECT_EQ(conv.oracle.service, u"ORCL");
        EXPECT_EQ(conv.format_version, 0);
        EXPECT_TRUE(conv.split_data);
        EXPECT_FALSE(conv.wrap_text());
        EXPECT_FALSE(conv.dates_to_strings);
        EXPECT_TRUE(conv.serialize(false) == false);  // "oracleu" was stored empty: not transferred
    }
    std::system(("rm -rf " + dir + "/config").c_str());
    {
        tessal_convertor conv(front, converter_defaults::agent, destination());
        EXPECT_EQ(conv.format_version, -1);
        conv.dest = u"x";
    }
    struct stat st {};
    EXPECT_NE(::stat((dir + "/config").c_str(), &st), 0);
}

}  // namespace
