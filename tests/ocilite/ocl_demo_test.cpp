// The demo database: built from demo/demo.sql by demo/make_demo.sh and read
// through the provider as the Oracle source reads a schema.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "ocilite/ocl_fixture.h"

class ocl_demo_api : public ocl_fixture {
  protected:
    void SetUp() override {
        ocl_fixture::SetUp();
        std::string cmd =
            std::string(TSL_SOURCE_DIR) + "/demo/make_demo.sh '" + path_ + "' > /dev/null";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
        ASSERT_EQ(logon(), OCI_SUCCESS);
    }
};

TEST_F(ocl_demo_api, ListsTheClassicTablesAndTheView) {
    auto tables = rows(
        "select TABLE_NAME, IOT_TYPE from user_tables where TEMPORARY='N' and NESTED='NO' and "
        "IOT_TYPE IS NULL OR IOT_TYPE='IOT'");
    ASSERT_EQ(tables.size(), 3u);
    EXPECT_EQ(tables[0][0], "DEPT");
    EXPECT_EQ(tables[1][0], "EMP");
    EXPECT_EQ(tables[2][0], "ALL_TYPES");
    EXPECT_EQ(rows("SELECT COUNT(*) FROM \"EMP\"")[0][0], "14");
    EXPECT_EQ(rows("SELECT COUNT(*) FROM \"DEPT\"")[0][0], "4");
    auto views = rows("select VIEW_NAME, TEXT from SYS.ALL_VIEWS WHERE OWNER='SCOTT'");
    ASSERT_EQ(views.size(), 1u);
    EXPECT_EQ(views[0][0], "EMP_DEPT");
    EXPECT_EQ(rows("SELECT COUNT(*) FROM (" + *views[0][1] + ")")[0][0], "14");
    auto king = rows("SELECT ENAME, SAL, COMM, HIREDATE FROM EMP WHERE MGR IS NULL");
    ASSERT_EQ(king.size(), 1u);
    EXPECT_EQ(king[0], (std::vector<std::optional<std::string>>{"KING", "5000", std::nullopt,
                                                                "1981-11-17 00:00:00"}));
}

TEST_F(ocl_demo_api, AllTypesDescribesEveryType) {
    OCIStmt* st = run("SELECT * FROM \"ALL_TYPES\"");
    ub4 count = 0;
    ASSERT_EQ(OCIAttrGet(st, OCI_HTYPE_STMT, &count, nullptr, OCI_ATTR_PARAM_COUNT, err_),
              OCI_SUCCESS);
    ASSERT_EQ(count, 23u);
    const ub2 expected[] = {SQLT_NUM,  SQLT_CHR,    SQLT_CHR, SQLT_AFC,       SQLT_AFC,
                            SQLT_NUM,  SQLT_NUM,    SQLT_NUM, SQLT_NUM,       SQLT_NUM,
                            SQLT_NUM,  SQLT_NUM,    SQLT_DAT, SQLT_TIMESTAMP, SQLT_INTERVAL_DS,
                            SQLT_BIN,  SQLT_LNG,    SQLT_LBI, SQLT_CLOB,      SQLT_CLOB,
                            SQLT_BLOB, SQLT_BFILEE, SQLT_RDD};
    for (ub4 i = 0; i < count; ++i) {
        EXPECT_EQ(attr<ub2>(param(st, i + 1), OCI_ATTR_DATA_TYPE), expected[i]) << i + 1;
    }
    auto r = rows(
        "SELECT C_VARCHAR2, C_NVARCHAR2, C_NCHAR, C_NUMBER_BIG, C_NCLOB FROM ALL_TYPES "
        "ORDER BY ID");
    ASSERT_EQ(r.size(), 4u);
    EXPECT_EQ(r[1][0], "Привет, мир");
    EXPECT_EQ(r[1][1], "Καλημέρα κόσμε");
    EXPECT_EQ(r[1][2], "中文字");
    EXPECT_EQ(r[0][3], "5000000000");
    EXPECT_EQ(r[2][0], std::nullopt);
    EXPECT_EQ(r[2][4], std::nullopt);
    // Every date of the table reads as a DATE.
    OCIStmt* dates = run("SELECT C_DATE, C_TIMESTAMP FROM ALL_TYPES WHERE C_DATE IS NOT NULL");
    unsigned char d[2][7];
    sb2 ind[2];
    OCIDefine* def = nullptr;
    ASSERT_EQ(OCIDefineByPos(dates, &def, err_, 1, d[0], 7, SQLT_DAT, &ind[0], nullptr, nullptr, 0),
              OCI_SUCCESS);
    ASSERT_EQ(OCIDefineByPos(dates, &def, err_, 2, d[1], 7, SQLT_DAT, &ind[1], nullptr, nullptr, 0),
              OCI_SUCCESS);
    int n = 0;
    while (OCIStmtFetch(dates, err_, 1, OCI_FETCH_NEXT, OCI_DEFAULT) == OCI_SUCCESS) {
        ++n;
    }
    EXPECT_EQ(n, 3);
    EXPECT_EQ(error_code(), 0) << error_text();
}
