#include "ORA/ora_engi.h"

#include <dlfcn.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>

#include "ORA/ora_util.h"
#include "TK/tk_errco.h"
#include "ora_fixture.h"

using namespace ora_test;

namespace {

constexpr const char* kMissingClient =
    "The Oracle client and networking components were not found.\n"
    "These components are supplied by the Oracle Corporation and\n"
    "are part of the Oracle Version 7.3.4 (or later) client\n"
    "software installation. You will be unable to use this program\n"
    "until these components have been installed.";

// True when some Oracle client library can be loaded on this machine.
bool client_installed() {
    for (const std::string& name : ora_provider_candidates(ora_provider::client)) {
        if (void* lib = dlopen(name.c_str(), RTLD_LAZY | RTLD_LOCAL)) {
            dlclose(lib);
            return true;
        }
    }
    return false;
}

}  // namespace

// ---- connect descriptor and version banner ---------------------------------

TEST(OraEngineText, DirectDescriptorUsesPort1521WhenEmpty) {
    EXPECT_EQ(ora_engine::make_descriptor(u"10.0.0.7", u""),
              u"(DESCRIPTION=(CONNECT_DATA=(SERVICE_NAME=))(ADDRESS=(PROTOCOL=TCP)(HOST=10.0.0.7)"
              u"(PORT=1521)))");
}

TEST(OraEngineText, DirectDescriptorInsertsHostAndPortUnchanged) {
    const std::u16string d = ora_engine::make_descriptor(u"db.example.org", u"1522");
    EXPECT_EQ(d,
              u"(DESCRIPTION=(CONNECT_DATA=(SERVICE_NAME=))(ADDRESS=(PROTOCOL=TCP)"
              u"(HOST=db.example.org)(PORT=1522)))");
    // Not validated: whatever is given lands in the text as it is.
    EXPECT_NE(ora_engine::make_descriptor(u"h", u" 15x").find(u"(PORT= 15x)))"),
              std::u16string::npos);
}

TEST(OraEngineText, VersionSkipsPiecesWithoutThreeNumbers) {
    EXPECT_EQ(ora_engine::parse_version(
                  u"Oracle Database 10g Enterprise Edition Release 10.2.0.1.0 - Prod"),
              (10u << 16) | (2u << 8) | 0u);
    // "10g" and "9.2" do not give three numbers; the first piece that does wins.
    EXPECT_EQ(ora_engine::parse_version(u"10g 9.2 8.1.7 11.2.0"), (8u << 16) | (1u << 8) | 7u);
    // Runs of blanks make empty pieces, which are skipped.
    EXPECT_EQ(ora_engine::parse_version(u"  Release   11.2.0.4.0  "), (11u << 16) | (2u << 8));
    EXPECT_EQ(ora_engine::parse_version(u"Oracle8i Release 8.1.7.0.0 - Production"),
              (8u << 16) | (1u << 8) | 7u);
}

TEST(OraEngineText, VersionIsZeroWithoutDottedNumber) {
    EXPECT_EQ(ora_engine::parse_version(u"Personal Oracle Lite"), 0u);
    EXPECT_EQ(ora_engine::parse_version(u""), 0u);
    EXPECT_EQ(ora_engine::parse_version(u"v10.2.0 x.1.2"), 0u);  // pieces must start with a digit
}

// ---- errors ------------------------------------------------------------------

TEST(OraException, CarriesOracleNumberInErrorFamily) {
    ora_exception e(12545, "ORA-12545: Connect failed");
    EXPECT_EQ(e.system_error(), 0x100000u + 12545u);
    EXPECT_EQ(e.code(), 0);
    EXPECT_EQ(e.number(), 12545);
    EXPECT_STREQ(e.what(), "ORA-12545: Connect failed");
    // Only the low 16 bits of the number join the family.
    EXPECT_EQ(ora_exception(0x12345, "x").system_error(), 0x100000u + 0x2345u);
}

TEST(OraMessageMap, TwelveEntriesInAscendingOrder) {
    const uint32_t numbers[] = {1,     1017,  1658,  1950,  2298,  12154,
                                12500, 12505, 12514, 12541, 12545, 28000};
    ASSERT_EQ(ora_error_map_size, 12u);
    for (size_t i = 0; i < ora_error_map_size; ++i) {
        EXPECT_EQ(ora_error_map[i].code, 0x100000u + numbers[i]) << i;
        ASSERT_NE(ora_error_map[i].message, nullptr);
        EXPECT_GT(std::strlen(ora_error_map[i].message), 10u);
    }
}

TEST(OraMessageMap, ConverterShowsTheSystemsTexts) {
    tk_error_converter converter(ora_error_map_size, ora_error_map);
    EXPECT_EQ(converter.convert(0x100000 + 1017), "Invalid user name or password.");
    EXPECT_EQ(converter.convert(0x100000 + 12154),
              "Oracle data source does not exist. Check to verify the correct name was given.");
    EXPECT_EQ(converter.convert(0x100000 + 12514),
              "Cannot resolve Oracle service name. Check to verify the correct name was given.\n");
    EXPECT_EQ(converter.convert(0x100000 + 28000),
              "Wrong password was entered the maximum number of times or\n"
              "the DBA has locked the account.");
    EXPECT_EQ(converter.convert(0x100000 + 1),
              "Duplicate field values being used for an unique index were found.\n"
              "See 'Troubleshooting' article of the product documentation\n"
              "for solution.");
    EXPECT_EQ(converter.convert(0x100000 + 942), "");  // not in the map: the server's text
}

// ---- loading the provider ------------------------------------------------------

TEST(OraProvider, SourceDecidesTheProvider) {
    EXPECT_EQ(ora_provider_for(u"file:/tmp/x.db"), ora_provider::embedded);
    EXPECT_EQ(ora_provider_for(u"file:x.db?mode=ro"), ora_provider::embedded);
    EXPECT_EQ(ora_provider_for(u"ORCL"), ora_provider::client);
    EXPECT_EQ(ora_provider_for(u"FILE:x.db"), ora_provider::client);
    EXPECT_EQ(ora_provider_for(u"(DESCRIPTION=(ADDRESS=(HOST=file:x)))"), ora_provider::client);
}

TEST(OraProvider, ClientNamesFollowTheLoaderThenOracleHome) {
    const char* old = std::getenv("ORACLE_HOME");
    const std::string saved = old ? old : "";
    setenv("ORACLE_HOME", "/opt/oracle/home", 1);
    const std::vector<std::string> names = ora_provider_candidates(ora_provider::client);
    if (old) {
        setenv("ORACLE_HOME", saved.c_str(), 1);
    } else {
        unsetenv("ORACLE_HOME");
    }
    ASSERT_FALSE(names.empty());
    EXPECT_EQ(names.front(), "libclntsh.so");  // bare: the loader's own search
    EXPECT_NE(std::find(names.begin(), names.end(), "libclntsh.so.19.1"), names.end());
    EXPECT_NE(std::find(names.begin(), names.end(), "/opt/oracle/home/lib/libclntsh.so"),
              names.end());
    // Bare names come before the $ORACLE_HOME ones.
    const auto first_home = std::find_if(
        names.begin(), names.end(), [](const std::string& s) { return s.rfind("/opt/", 0) == 0; });
    for (auto it = names.begin(); it != first_home; ++it)
        EXPECT_EQ(it->find('/'), std::string::npos);
}

TEST(OraProvider, EmbeddedOneIsTakenFromTheExecutablesFolder) {
    const std::vector<std::string> names = ora_provider_candidates(ora_provider::embedded);
    ASSERT_EQ(names.size(), 3u);
    const std::string exe = std::filesystem::read_symlink("/proc/self/exe").string();
    const std::string folder = exe.substr(0, exe.rfind('/') + 1);
    EXPECT_EQ(names[0], folder + "libtsl_ocilite.so");
    // The private folder of an installed tree (the install test loads it).
    EXPECT_EQ(names[1].rfind(folder, 0), 0u);
    EXPECT_TRUE(names[1].ends_with("/tessal/libtsl_ocilite.so")) << names[1];
    EXPECT_EQ(names[2], "libtsl_ocilite.so");
}

// Run with LD_LIBRARY_PATH pointing at an empty folder (see CMakeLists.txt) as
// well as in the ordinary run; skipped on a machine with an Oracle client.
TEST(OraMissingClient, NonFileSourceGivesMissingClientMessage) {
    if (client_installed())
        GTEST_SKIP() << "an Oracle client is installed here";
    ora_engine engine;
    try {
        delete engine.open_db(u"ORCL", u"scott", u"tiger");
        FAIL() << "open_db succeeded without a client";
    } catch (const ora_exception&) {
        FAIL() << "an Oracle error instead of the missing-client message";
    } catch (const tk_exception& e) {
        EXPECT_STREQ(e.what(), kMissingClient);
        EXPECT_EQ(e.code(), 1);
    }
    EXPECT_FALSE(engine.initialized());
    EXPECT_FALSE(engine.connected());
    // The direct form goes to the client too.
    try {
        delete engine.open_db(u"file:host", u"scott", u"tiger", u"");
        FAIL() << "open_db succeeded without a client";
    } catch (const ora_exception&) {
        FAIL() << "an Oracle error instead of the missing-client message";
    } catch (const tk_exception& e) {
        EXPECT_STREQ(e.what(), kMissingClient);
    }
}

// ---- the engine over the embedded provider ------------------------------------------

using OraEngine = OraTest;

TEST_F(OraEngine, LoadsTheProviderBuiltBesideTheTests) {
    open("CREATE TABLE T(A NUMBER);");
    ASSERT_NE(engine_->oci(), nullptr);
    EXPECT_EQ(engine_->oci()->kind, ora_provider::embedded);
    EXPECT_EQ(std::filesystem::canonical(engine_->oci()->path),
              std::filesystem::canonical(TSL_OCILITE_PATH));
    EXPECT_TRUE(engine_->initialized());
    EXPECT_TRUE(engine_->connected());
    EXPECT_EQ(engine_->source(), source("t.db"));
    EXPECT_EQ(engine_->user(), u"SCOTT");
    EXPECT_EQ(engine_->password(), u"tiger");
    EXPECT_FALSE(engine_->running);
}

TEST_F(OraEngine, SecondInstanceIsAnInternalError) {
    EXPECT_THROW(ora_engine second, tk_mail_assertion);
}

TEST_F(OraEngine, QueriesNeedAConnection) {
    EXPECT_THROW(engine_->get_version(), tk_mail_assertion);
    EXPECT_THROW(engine_->get_records_cnt(u"T"), tk_mail_assertion);
}

TEST_F(OraEngine, VersionComesFromTheBannersFirstRow) {
    open(
        "CREATE TABLE \"v$version\"(BANNER VARCHAR2(80));"
        "INSERT INTO \"v$version\" VALUES('Oracle Database 10g Enterprise Edition Release "
        "10.2.0.1.0 - Prod');"
        "INSERT INTO \"v$version\" VALUES('CORE 9.9.9 Production');");
    EXPECT_EQ(engine_->get_version(), (10u << 16) | (2u << 8));
}

TEST_F(OraEngine, ProvidersOwnBannerHasADottedVersion) {
    open("CREATE TABLE T(A NUMBER);");
    EXPECT_GE(engine_->get_version(), 0x80000u);
}

TEST_F(OraEngine, CountsTablesAsStoredAndQueries) {
    open(
        "CREATE TABLE \"MixedCase\"(A NUMBER);"
        "INSERT INTO \"MixedCase\" VALUES(1),(2),(3);"
        "CREATE TABLE \"Q\"\"uote\"(A NUMBER);"
        "INSERT INTO \"Q\"\"uote\" VALUES(1),(2);");
    EXPECT_EQ(engine_->get_records_cnt(u"MixedCase"), 3);
    EXPECT_EQ(engine_->get_records_cnt(u"Q\"uote"), 2);
    EXPECT_EQ(engine_->get_records_cnt(u"SELECT A FROM \"MixedCase\" WHERE A > 1", true), 2);
}

TEST_F(OraEngine, WrongPasswordIsOra01017AndKeepsThePreviousLogon) {
    open(
        "CREATE TABLE TSL_USERS(USERNAME VARCHAR2(30), PASSWORD VARCHAR2(30));"
        "INSERT INTO TSL_USERS VALUES('SCOTT', 'tiger');",
        "users.db");
    db_.reset();
    try {
        delete engine_->open_db(source("users.db"), u"SCOTT", u"lion");
        FAIL() << "logon with a wrong password";
    } catch (const ora_exception& e) {
        EXPECT_EQ(e.system_error(), 0x100000u + 1017u);
        EXPECT_EQ(e.code(), 0);
        tk_error_converter converter(ora_error_map_size, ora_error_map);
        EXPECT_EQ(converter.convert(e.system_error()), "Invalid user name or password.");
    }
    EXPECT_TRUE(engine_->initialized());
    EXPECT_FALSE(engine_->connected());
    EXPECT_EQ(engine_->password(), u"tiger");
}

TEST_F(OraEngine, MissingDatabaseFileIsOra12154) {
    try {
        delete engine_->open_db(source("absent.db"), u"SCOTT", u"tiger");
        FAIL() << "logon to a missing file";
    } catch (const ora_exception& e) {
        EXPECT_EQ(e.system_error(), 0x100000u + 12154u);
        EXPECT_NE(std::string(e.what()).find("ORA-12154"), std::string::npos);
    }
}

TEST_F(OraEngine, SecondOpenLogsTheFirstConnectionOff) {
    open("CREATE TABLE T(A NUMBER); INSERT INTO T VALUES(1),(2);", "one.db");
    auto first = table(u"T");  // a statement on the first connection
    build_db(path("two.db"), "CREATE TABLE U(B NUMBER);");
    db_.reset(engine_->open_db(source("two.db"), u"SCOTT", u"tiger"));
    EXPECT_EQ(db_->table_names(), std::vector<std::u16string>{u"U"});
    try {
        first->is_eof();
        FAIL() << "the first connection is still open";
    } catch (const ora_exception& e) {
        EXPECT_EQ(e.system_error(), 0x100000u + 3114u);
    }
}
