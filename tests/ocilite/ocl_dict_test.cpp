#include "ocilite/ocl_dict.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "ocilite/ocl_fixture.h"

TEST(ocl_dict, ViewTextIsWhatFollowsAs) {
    EXPECT_EQ(ocl_view_query("CREATE VIEW v AS SELECT a FROM t"), "SELECT a FROM t");
    EXPECT_EQ(ocl_view_query("create temp view if not exists \"My View\" (x, y) as\n"
                             "  select 1, 2;"),
              "select 1, 2");
    EXPECT_EQ(ocl_view_query("CREATE VIEW main.v(a) AS SELECT (a) FROM t"), "SELECT (a) FROM t");
    // A view named "AS" does not confuse the split.
    EXPECT_EQ(ocl_view_query("CREATE VIEW \"AS\" AS SELECT 'AS' AS x"), "SELECT 'AS' AS x");
    EXPECT_EQ(ocl_view_query("nonsense"), "nonsense");
}

class ocl_dict_api : public ocl_fixture {
  protected:
    void SetUp() override {
        ocl_fixture::SetUp();
        make_db(
            "CREATE TABLE emp (EMPNO NUMBER(4) NOT NULL PRIMARY KEY, ENAME VARCHAR2(10) DEFAULT "
            "'abc', SAL NUMBER(7,2) DEFAULT 1.50, NNAME NVARCHAR2(10), HIRED DATE DEFAULT "
            "CURRENT_TIMESTAMP);"
            "CREATE TABLE \"Mixed Case\" (id INTEGER PRIMARY KEY, note TEXT);"
            "CREATE VIEW rich AS SELECT ENAME FROM emp WHERE SAL > 1000;"
            "CREATE VIEW broken AS SELECT gone FROM missing;"
            "CREATE TABLE TSL_USERS (USERNAME, PASSWORD);"
            "INSERT INTO TSL_USERS VALUES ('scott', 'tiger');"
            "INSERT INTO emp VALUES (7839, 'KING', 5000, NULL, '1981-11-17 00:00:00');");
        ASSERT_EQ(logon(), OCI_SUCCESS);
    }
};

TEST_F(ocl_dict_api, VersionBannerCarriesADottedRelease) {
    auto r = rows("select * from v$version");
    ASSERT_GE(r.size(), 1u);
    const std::string banner = *r[0][0];
    // Split at blanks, the first piece starting with a digit reads as a.b.c
    int major = -1, minor = -1, release = -1;
    size_t at = banner.find(" 1");
    ASSERT_NE(at, std::string::npos) << banner;
    ASSERT_EQ(std::sscanf(banner.c_str() + at + 1, "%d.%d.%d", &major, &minor, &release), 3);
    EXPECT_EQ((major << 16) | (minor << 8) | release, (10 << 16) | (2 << 8) | 0);
    // The column is typed as the server types it.
    OCIStmt* st = run("select * from v$version");
    OCIParam* p = param(st, 1);
    EXPECT_EQ(name_of(p), "BANNER");
    EXPECT_EQ(attr<ub2>(p, OCI_ATTR_DATA_TYPE), SQLT_CHR);
    EXPECT_EQ(attr<ub2>(p, OCI_ATTR_DATA_SIZE), 80);
}

TEST_F(ocl_dict_api, UserTablesListsTablesAsDeclaredWithoutTheUserTable) {
    const char* modern =
        "select TABLE_NAME, IOT_TYPE from user_tables where TEMPORARY='N' and NESTED='NO' and "
        "IOT_TYPE IS NULL OR IOT_TYPE='IOT'";
    auto r = rows(modern);
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0][0], "emp");
    EXPECT_EQ(r[1][0], "Mixed Case");
    EXPECT_EQ(r[0][1], std::nullopt);
    // The old form lists the same.
    EXPECT_EQ(rows("select TABLE_NAME from user_tables").size(), 2u);
    // The listed names find their tables, quoted as listed, and SQLite finds
    // them in any ASCII case too.
    EXPECT_EQ(rows("SELECT COUNT(*) FROM \"emp\"")[0][0], "1");
    EXPECT_EQ(rows("SELECT COUNT(*) FROM \"EMP\"")[0][0], "1");
    EXPECT_EQ(rows("SELECT COUNT(*) FROM \"Mixed Case\"")[0][0], "0");
}

TEST_F(ocl_dict_api, TemporaryTablesShowAsTemporary) {
    // The session is query-only: not even a temporary table can be made
    // through it, and the listing keeps the source's tables.
    sword rc;
    run("CREATE TEMP TABLE scratch (a NUMBER)", 1, OCI_DEFAULT, &rc);
    EXPECT_EQ(rc, OCI_ERROR);
    EXPECT_EQ(error_code(), 16000);
    auto r = rows("select TABLE_NAME, TEMPORARY from user_tables order by TABLE_NAME");
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[1][1], "N");
    EXPECT_EQ(rows("select TABLE_NAME, IOT_TYPE from user_tables where TEMPORARY='N' and "
                   "NESTED='NO' and IOT_TYPE IS NULL OR IOT_TYPE='IOT'")
                  .size(),
              2u);
}

TEST_F(ocl_dict_api, ColumnsCarryTypesAndDefaultsAsWritten) {
    auto count = rows("SELECT COUNT(*) FROM USER_TAB_COLUMNS WHERE table_name = 'emp'");
    EXPECT_EQ(count[0][0], "5");
    auto r = rows(
        "select COLUMN_NAME, DATA_DEFAULT, DATA_TYPE from USER_TAB_COLUMNS where "
        "table_name = 'emp'");
    ASSERT_EQ(r.size(), 5u);
    EXPECT_EQ(r[0][0], "EMPNO");
    EXPECT_EQ(r[0][1], std::nullopt);
    EXPECT_EQ(r[0][2], "NUMBER");
    EXPECT_EQ(r[1][1], "'abc'");
    EXPECT_EQ(r[1][2], "VARCHAR2");
    EXPECT_EQ(r[2][1], "1.50");  // the text of the default, not the number
    EXPECT_EQ(r[3][2], "NVARCHAR2");
    EXPECT_EQ(r[4][1], "CURRENT_TIMESTAMP");
    EXPECT_EQ(r[4][2], "DATE");
    // DATA_DEFAULT is a LONG, as on the server.
    OCIStmt* st = run("select COLUMN_NAME, DATA_DEFAULT, DATA_TYPE from USER_TAB_COLUMNS");
    EXPECT_EQ(attr<ub2>(param(st, 2), OCI_ATTR_DATA_TYPE), SQLT_LNG);
    auto sizes = rows(
        "select DATA_LENGTH, DATA_PRECISION, DATA_SCALE, NULLABLE, COLUMN_ID from "
        "USER_TAB_COLUMNS where table_name = 'emp' and COLUMN_NAME in ('EMPNO', 'NNAME')");
    ASSERT_EQ(sizes.size(), 2u);
    EXPECT_EQ(sizes[0], (std::vector<std::optional<std::string>>{"22", "4", "0", "N", "1"}));
    EXPECT_EQ(sizes[1], (std::vector<std::optional<std::string>>{"20", std::nullopt, std::nullopt,
                                                                 "Y", "4"}));
    // The dictionary compares as Oracle's does: exactly.
    EXPECT_EQ(rows("SELECT COUNT(*) FROM USER_TAB_COLUMNS WHERE table_name = 'EMP'")[0][0], "0");
    auto mixed = rows(
        "select COLUMN_NAME from USER_TAB_COLUMNS where table_name = 'Mixed Case' "
        "order by COLUMN_ID");
    ASSERT_EQ(mixed.size(), 2u);
    EXPECT_EQ(mixed[0][0], "id");
    EXPECT_EQ(mixed[1][0], "note");
}

TEST_F(ocl_dict_api, ViewsAreListedWithTheirQueryAndOwner) {
    auto r = rows("select VIEW_NAME, TEXT from SYS.ALL_VIEWS WHERE OWNER='SCOTT'");
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0][0], "rich");
    EXPECT_EQ(r[0][1], "SELECT ENAME FROM emp WHERE SAL > 1000");
    EXPECT_EQ(r[1][0], "broken");  // listed, failing only when read
    // The owner is the logon user in upper case, so the name as entered
    // in lower case finds nothing.
    EXPECT_TRUE(rows("select VIEW_NAME, TEXT from SYS.ALL_VIEWS WHERE OWNER='scott'").empty());
    OCIStmt* st = run("select VIEW_NAME, TEXT from SYS.ALL_VIEWS");
    EXPECT_EQ(attr<ub2>(param(st, 2), OCI_ATTR_DATA_TYPE), SQLT_LNG);
    // The text runs as a query of its own.
    EXPECT_EQ(rows("SELECT COUNT(*) FROM (" + *r[0][1] + ")")[0][0], "1");
    sword rc;
    run("SELECT COUNT(*) FROM (" + *r[1][1] + ")", 1, OCI_DEFAULT, &rc);
    EXPECT_EQ(rc, OCI_ERROR);
    EXPECT_EQ(error_code(), 942);
}

TEST_F(ocl_dict_api, DictionaryFollowsSchemaChanges) {
    // Another program changes the schema while the session is open.
    make_db("CREATE TABLE added (x VARCHAR2(5))");
    auto r = rows("select TABLE_NAME from user_tables");
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(r[2][0], "added");
    make_db("DROP TABLE added");
    EXPECT_EQ(rows("select TABLE_NAME from user_tables").size(), 2u);
    EXPECT_EQ(rows("SELECT COUNT(*) FROM USER_TAB_COLUMNS WHERE table_name = 'added'")[0][0], "0");
}

TEST_F(ocl_dict_api, DualAndOracleFunctions) {
    auto r = rows("SELECT DUMMY, NVL(NULL, 'b'), NVL('a', 'b'), NVL2(NULL, 1, 2) FROM SYS.DUAL");
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0], (std::vector<std::optional<std::string>>{"X", "b", "a", "2"}));
    auto now = rows("SELECT SYSDATE FROM DUAL");
    ASSERT_EQ(now.size(), 1u);
    EXPECT_EQ(now[0][0]->size(), 19u);  // YYYY-MM-DD HH:MM:SS
}

TEST_F(ocl_dict_api, ADatabaseMaySupplyItsOwnBanner) {
    // A database with its own v$version keeps it (here: an old server).
    OCIHandleFree(env_, OCI_HTYPE_ENV);
    env_ = nullptr;
    make_db(
        "CREATE TABLE \"v$version\" (BANNER VARCHAR2(80));"
        "INSERT INTO \"v$version\" VALUES ('Oracle7 Server Release 7.3.4.0.0 - Production');");
    ASSERT_EQ(OCIEnvCreate(&env_, OCI_UTF16, nullptr, nullptr, nullptr, nullptr, 0, nullptr),
              OCI_SUCCESS);
    ASSERT_EQ(OCIHandleAlloc(env_, reinterpret_cast<void**>(&err_), OCI_HTYPE_ERROR, 0, nullptr),
              OCI_SUCCESS);
    svc_ = nullptr;
    ASSERT_EQ(logon(), OCI_SUCCESS);
    auto r = rows("select * from v$version");
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0][0], "Oracle7 Server Release 7.3.4.0.0 - Production");
    // and the table is listed like any other of the database
    EXPECT_EQ(rows("select TABLE_NAME from user_tables").size(), 3u);
}

TEST_F(ocl_dict_api, NonLatinAndQuotedNamesListAsStored) {
    make_db(
        "CREATE TABLE \"Сотрудники\" (\"Имя\" NVARCHAR2(20), \"it\"\"s\" NUMBER);"
        "INSERT INTO \"Сотрудники\" VALUES ('Иван', 1);");
    auto r = rows("select TABLE_NAME from user_tables");
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(r[2][0], "Сотрудники");
    EXPECT_EQ(rows("SELECT COUNT(*) FROM \"Сотрудники\"")[0][0], "1");
    auto cols = rows(
        "select COLUMN_NAME, DATA_TYPE from USER_TAB_COLUMNS where table_name = "
        "'Сотрудники'");
    ASSERT_EQ(cols.size(), 2u);
    EXPECT_EQ(cols[0][0], "Имя");
    EXPECT_EQ(cols[1][0], "it\"s");
    OCIStmt* st = run("SELECT * FROM \"Сотрудники\"");
    EXPECT_EQ(name_of(param(st, 1)), "Имя");
    EXPECT_EQ(name_of(param(st, 2)), "it\"s");
}
