#include "ORA/ora_db.h"

#include <memory>

#include "ora_fixture.h"

using namespace ora_test;

namespace {

// A database that brings its own user_tables, so the list statements can be
// told apart by what they select.
constexpr const char* kOwnTables =
    "CREATE TABLE user_tables(TABLE_NAME VARCHAR2(128), TEMPORARY VARCHAR2(1),"
    " NESTED VARCHAR2(3), IOT_TYPE VARCHAR2(12));"
    "INSERT INTO user_tables VALUES('PLAIN', 'N', 'NO', NULL);"
    "INSERT INTO user_tables VALUES('TEMP', 'Y', 'NO', NULL);"
    "INSERT INTO user_tables VALUES('NEST', 'N', 'YES', NULL);"
    "INSERT INTO user_tables VALUES('IOT1', 'N', 'NO', 'IOT');"
    "INSERT INTO user_tables VALUES('OVERFLOW', 'N', 'NO', 'IOT_OVERFLOW');"
    "INSERT INTO user_tables VALUES('TEMPIOT', 'Y', 'NO', 'IOT');";

}  // namespace

TEST(OraCatalogText, StatementsQuoteTheUserName) {
    EXPECT_EQ(ora_database::views_statement(u"SCOTT"),
              u"select VIEW_NAME, TEXT from SYS.ALL_VIEWS WHERE OWNER='SCOTT'");
    EXPECT_EQ(ora_database::views_statement(u"O'HARA"),
              u"select VIEW_NAME, TEXT from SYS.ALL_VIEWS WHERE OWNER='O''HARA'");
    EXPECT_EQ(ora_database::tables_statement(0), u"select TABLE_NAME from user_tables");
    EXPECT_EQ(ora_database::tables_statement(0x7FFFF), u"select TABLE_NAME from user_tables");
    EXPECT_NE(ora_database::tables_statement(0x80000).find(u"IOT_TYPE IS NULL OR IOT_TYPE='IOT'"),
              std::u16string::npos);
}

using OraCatalog = OraTest;

TEST_F(OraCatalog, TablesAreListedAsTheCatalogStoresThem) {
    open(
        "CREATE TABLE \"Beta\"(A NUMBER); CREATE TABLE ALPHA(A NUMBER);"
        "CREATE TABLE \"gamma x\"(A NUMBER); CREATE TABLE \"Ärger\"(A NUMBER);");
    const std::vector<std::u16string>& names = db_->table_names();
    // Listed as declared.
    EXPECT_EQ(names, (std::vector<std::u16string>{u"Beta", u"ALPHA", u"gamma x", u"Ärger"}));
    EXPECT_EQ(db_->name(), source("t.db"));
    EXPECT_EQ(db_->mode(), 1);
    // A `file:` source compares names as SQLite does: ignoring ASCII case
    // only. The catalog's spelling is what a reader opens.
    EXPECT_FALSE(db_->case_sensitive());
    EXPECT_EQ(db_->listed_name(u"BETA"), u"Beta");
    EXPECT_EQ(db_->listed_name(u"alpha"), u"ALPHA");
    EXPECT_EQ(db_->listed_name(u"Gamma X"), u"gamma x");
    EXPECT_EQ(db_->listed_name(u"ärger"), u"");
    EXPECT_TRUE(db_->is_table_exist(u"ÄRGER"));
    EXPECT_FALSE(db_->is_table_exist(u"ärger"));
    EXPECT_FALSE(db_->is_table_exist(u"Beta "));
    auto reader = std::unique_ptr<udb_recordset>(db_->get_table(u"beta", 1));
    EXPECT_EQ(reader->name(), u"Beta");
    EXPECT_EQ(reader->schema().count(), 1u);
}

TEST_F(OraCatalog, NoTablesIsAnEmptyList) {
    open("CREATE VIEW V AS SELECT 1 AS ONE;");
    EXPECT_TRUE(db_->table_names().empty());
}

TEST_F(OraCatalog, ModernServersLeaveOutTemporaryNestedAndOverflowTables) {
    open(std::string(kOwnTables) +
         "CREATE TABLE \"v$version\"(BANNER VARCHAR2(80));"
         "INSERT INTO \"v$version\" VALUES('Oracle9i Release 9.2.0.1.0 - Production');");
    // AND binds before OR: an IOT is listed even when temporary.
    EXPECT_EQ(db_->table_names(), (std::vector<std::u16string>{u"PLAIN", u"IOT1", u"TEMPIOT"}));
}

TEST_F(OraCatalog, VersionZeroUsesThePre8List) {
    open(std::string(kOwnTables) +
         "CREATE TABLE \"v$version\"(BANNER VARCHAR2(80));"
         "INSERT INTO \"v$version\" VALUES('Oracle without a number');");
    EXPECT_EQ(engine_->get_version(), 0u);
    EXPECT_EQ(db_->table_names().size(), 6u);
}

TEST_F(OraCatalog, UnreadableVersionTakesTheNewestCatalogQueries) {
    build_db(path("t.db"),
             "CREATE TABLE T(A NUMBER);"
             "CREATE VIEW \"v$version\" AS SELECT BANNER FROM NO_SUCH_TABLE;");
    db_.reset(engine_->open_db(source("t.db"), u"SCOTT", u"tiger"));
    EXPECT_TRUE(db_->is_table_exist(u"T"));
    EXPECT_EQ(ora_database::tables_statement(engine_->get_version()),
              ora_database::tables_statement(0x0A0200));
}

TEST_F(OraCatalog, ViewsAreReadForTheUserAsEntered) {
    const char* sql =
        "CREATE TABLE EMP(ENAME VARCHAR2(10), SAL NUMBER(7,2));"
        "CREATE VIEW RICH AS SELECT ENAME FROM EMP WHERE SAL > 1000;"
        "CREATE VIEW BROKEN AS SELECT NOPE FROM EMP;";
    open(sql, "v.db", u"SCOTT");
    ASSERT_EQ(db_->views().size(), 2u);
    EXPECT_NE(db_->views().at(u"RICH").find(u"SAL > 1000"), std::u16string::npos);
    // An invalid view is listed; it fails only when read.
    EXPECT_EQ(db_->views().count(u"BROKEN"), 1u);
    EXPECT_THROW(query(db_->views().at(u"BROKEN"), u"BROKEN"), ora_exception);

    // The owner is compared with the name as it was entered.
    db_.reset(engine_->open_db(source("v.db"), u"scott", u"tiger"));
    EXPECT_TRUE(db_->views().empty());
    EXPECT_EQ(db_->table_names(), std::vector<std::u16string>{u"EMP"});
}

TEST_F(OraCatalog, Flag0x80LeavesTheViewsOut) {
    build_db(path("t.db"), "CREATE TABLE T(A NUMBER); CREATE VIEW V AS SELECT A FROM T;");
    db_.reset(engine_->open_db(source("t.db"), u"SCOTT", u"tiger"));
    EXPECT_EQ(db_->views().size(), 1u);
    ora_database bare(source("t.db"), 0x80);
    EXPECT_TRUE(bare.views().empty());
    EXPECT_EQ(bare.table_names(), std::vector<std::u16string>{u"T"});
}

TEST_F(OraCatalog, GetTableOfAnUnlistedNameIsAnInternalError) {
    open("CREATE TABLE T(A NUMBER);");
    EXPECT_THROW(db_->get_table(u"U", 1), tk_mail_assertion);
    EXPECT_THROW(db_->create_table(u"X", udb_schema(), udb_indexes()), tk_mail_assertion);
}

TEST_F(OraCatalog, TestQueryParsesWithoutRunning) {
    open("CREATE TABLE T(A NUMBER); INSERT INTO T VALUES(1);");
    EXPECT_TRUE(db_->test_query(u"SELECT A FROM T"));
    // Parsed only: the row stays.
    EXPECT_TRUE(db_->test_query(u"DELETE FROM T"));
    EXPECT_EQ(engine_->get_records_cnt(u"T"), 1);

    const std::pair<const char16_t*, uint32_t> bad[] = {
        {u"SELECT A FROM NO_SUCH", 942},
        {u"SELECT NO_SUCH FROM T", 904},
    };
    for (const auto& [text, number] : bad) {
        try {
            db_->test_query(text);
            FAIL() << n(text);
        } catch (const ora_exception& e) {
            EXPECT_EQ(e.system_error(), 0x100000u + number) << n(text);
            EXPECT_EQ(e.code(), 0);
        }
    }
    try {
        db_->test_query(u"SELEKT A FROM T");
        FAIL() << "a syntax error passed";
    } catch (const ora_exception& e) {
        EXPECT_EQ(e.system_error() & 0xFFF00000u, 0x100000u);
        EXPECT_NE(e.number(), 0);
        EXPECT_NE(std::string(e.what()).find("ORA-"), std::string::npos);
    }
}

TEST_F(OraCatalog, QueryRunsAStatement) {
    open("CREATE TABLE T(A NUMBER); INSERT INTO T VALUES(1);");
    // The source is only read: a statement that would change it fails.
    EXPECT_THROW(db_->query(u"INSERT INTO T VALUES(2)"), ora_exception);
    EXPECT_EQ(engine_->get_records_cnt(u"T"), 1);
    EXPECT_THROW(db_->query(u"INSERT INTO NO_SUCH VALUES(2)"), ora_exception);
}
