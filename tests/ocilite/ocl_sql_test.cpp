#include "ocilite/ocl_sql.h"

#include <gtest/gtest.h>

TEST(ocl_sql, RewritesOnlyOutsideLiteralsAndQuotedNames) {
    EXPECT_EQ(ocl_sql_rewrite("select VIEW_NAME from SYS.ALL_VIEWS where OWNER='SYS.X'"),
              "select VIEW_NAME from ALL_VIEWS where OWNER='SYS.X'");
    EXPECT_EQ(ocl_sql_rewrite("select sys.dual.dummy from sys.dual"),
              "select dual.dummy from dual");
    EXPECT_EQ(ocl_sql_rewrite("select \"SYS\".x, 'sysdate' from t -- SYS.y"),
              "select \"SYS\".x, 'sysdate' from t -- SYS.y");
    EXPECT_EQ(ocl_sql_rewrite("select SYSDATE from dual"),
              "select (datetime('now','localtime')) from dual");
    // A qualified name or a function call of that name is left alone.
    EXPECT_EQ(ocl_sql_rewrite("select t.sysdate, sysdate(1) from t"),
              "select t.sysdate, sysdate(1) from t");
    EXPECT_EQ(ocl_sql_rewrite("select MYSYS.X from MYSYS"), "select MYSYS.X from MYSYS");
    EXPECT_EQ(ocl_sql_rewrite("select 1 from emp"), "select 1 from emp");
}

TEST(ocl_sql, KindsOfStatements) {
    EXPECT_EQ(ocl_sql_type("  select 1"), OCI_STMT_SELECT);
    EXPECT_EQ(ocl_sql_type("/* c */ (SELECT 1)"), OCI_STMT_SELECT);
    EXPECT_EQ(ocl_sql_type("WITH x AS (SELECT 1) SELECT * FROM x"), OCI_STMT_SELECT);
    EXPECT_EQ(ocl_sql_type("insert into t values (1)"), OCI_STMT_INSERT);
    EXPECT_EQ(ocl_sql_type("-- c\nCREATE TABLE t (a)"), OCI_STMT_CREATE);
    EXPECT_EQ(ocl_sql_type("frobnicate"), 0);
    EXPECT_EQ(ocl_sql_first_word("  (select"), "select");
    EXPECT_TRUE(ocl_sql_blank("  -- trailing comment\n /* block */ "));
    EXPECT_FALSE(ocl_sql_blank(" x"));
}
