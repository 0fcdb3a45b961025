// Describe and fetch through the OCI functions.
#include <gtest/gtest.h>

#include <cstring>

#include "ocilite/ocl_fixture.h"

namespace {

const char* all_types_ddl =
    "CREATE TABLE ALL_TYPES ("
    " ID NUMBER(5) NOT NULL PRIMARY KEY, C_VARCHAR2 VARCHAR2(40), C_NVARCHAR2 NVARCHAR2(10),"
    " C_CHAR CHAR(6), C_NCHAR NCHAR(3), C_NUMBER NUMBER, C_NUMBER_P NUMBER(9),"
    " C_NUMBER_PS NUMBER(10,2), C_NUMBER_NEG NUMBER(5,-2), C_FLOAT FLOAT, C_INTEGER INTEGER,"
    " C_DATE DATE, C_TIMESTAMP TIMESTAMP, C_RAW RAW(16), C_LONG LONG VARCHAR, C_LONG_RAW LONG RAW,"
    " C_CLOB CLOB, C_NCLOB NCLOB, C_BLOB BLOB, C_BFILE BFILE, C_ROWID ROWID, C_UNTYPED);";

struct described {
    const char* name;
    ub2 type;
    ub2 size;
    int precision;
    int scale;
    ub1 nullable;
    ub1 form;
};

}  // namespace

class ocl_stmt_api : public ocl_fixture {
  protected:
    void SetUp() override {
        ocl_fixture::SetUp();
        make_db(all_types_ddl);
        ASSERT_EQ(logon(), OCI_SUCCESS);
    }
};

TEST_F(ocl_stmt_api, DescribesDeclaredTypesAsTheServer) {
    const described expected[] = {
        {"ID", SQLT_NUM, 22, 5, 0, 0, 0},
        {"C_VARCHAR2", SQLT_CHR, 40, 0, 0, 1, SQLCS_IMPLICIT},
        {"C_NVARCHAR2", SQLT_CHR, 20, 0, 0, 1, SQLCS_NCHAR},
        {"C_CHAR", SQLT_AFC, 6, 0, 0, 1, SQLCS_IMPLICIT},
        {"C_NCHAR", SQLT_AFC, 6, 0, 0, 1, SQLCS_NCHAR},
        {"C_NUMBER", SQLT_NUM, 22, 0, -127, 1, 0},
        {"C_NUMBER_P", SQLT_NUM, 22, 9, 0, 1, 0},
        {"C_NUMBER_PS", SQLT_NUM, 22, 10, 2, 1, 0},
        {"C_NUMBER_NEG", SQLT_NUM, 22, 5, -2, 1, 0},
        {"C_FLOAT", SQLT_NUM, 22, 126, -127, 1, 0},
        {"C_INTEGER", SQLT_NUM, 22, 38, 0, 1, 0},
        {"C_DATE", SQLT_DAT, 7, 0, 0, 1, 0},
        {"C_TIMESTAMP", SQLT_TIMESTAMP, 11, 0, 6, 1, 0},
        {"C_RAW", SQLT_BIN, 16, 0, 0, 1, 0},
        {"C_LONG", SQLT_LNG, 0, 0, 0, 1, SQLCS_IMPLICIT},
        {"C_LONG_RAW", SQLT_LBI, 0, 0, 0, 1, 0},
        {"C_CLOB", SQLT_CLOB, 4000, 0, 0, 1, SQLCS_IMPLICIT},
        {"C_NCLOB", SQLT_CLOB, 4000, 0, 0, 1, SQLCS_NCHAR},
        {"C_BLOB", SQLT_BLOB, 4000, 0, 0, 1, 0},
        {"C_BFILE", SQLT_BFILEE, 530, 0, 0, 1, 0},
        {"C_ROWID", SQLT_RDD, 10, 0, 0, 1, 0},
        {"C_UNTYPED", SQLT_CHR, 4000, 0, 0, 1, SQLCS_IMPLICIT},  // no rows: text
    };
    OCIStmt* st = run("SELECT * FROM \"ALL_TYPES\"");
    ub4 count = 0;
    ASSERT_EQ(OCIAttrGet(st, OCI_HTYPE_STMT, &count, nullptr, OCI_ATTR_PARAM_COUNT, err_),
              OCI_SUCCESS);
    ASSERT_EQ(count, std::size(expected));
    for (ub4 i = 0; i < count; ++i) {
        const described& e = expected[i];
        OCIParam* p = param(st, i + 1);
        EXPECT_EQ(name_of(p), e.name);
        EXPECT_EQ(attr<ub2>(p, OCI_ATTR_DATA_TYPE), e.type) << e.name;
        EXPECT_EQ(attr<ub2>(p, OCI_ATTR_DATA_SIZE), e.size) << e.name;
        if (e.type == SQLT_NUM) {
            // The precision comes as a signed 16-bit value into a zeroed
            // 32-bit integer, as the Oracle source reads it.
            int precision = 0;
            ASSERT_EQ(OCIAttrGet(p, OCI_DTYPE_PARAM, &precision, nullptr, OCI_ATTR_PRECISION, err_),
                      OCI_SUCCESS);
            EXPECT_EQ(precision, e.precision) << e.name;
        }
        if (e.type == SQLT_NUM || e.type == SQLT_TIMESTAMP) {
            EXPECT_EQ(attr<sb1>(p, OCI_ATTR_SCALE), e.scale) << e.name;
        }
        EXPECT_EQ(attr<ub1>(p, OCI_ATTR_IS_NULL), e.nullable) << e.name;
        EXPECT_EQ(attr<ub1>(p, OCI_ATTR_CHARSET_FORM), e.form) << e.name;
    }
}

TEST_F(ocl_stmt_api, ExpressionColumnsAreTypedByTheirValues) {
    make_db(
        "INSERT INTO ALL_TYPES (ID, C_VARCHAR2, C_UNTYPED) VALUES (1, 'a', 5);"
        "INSERT INTO ALL_TYPES (ID, C_VARCHAR2, C_UNTYPED) VALUES (2, NULL, 7.5);");
    OCIStmt* st =
        run("SELECT COUNT(*), ID * 2 AS \"Twice\", C_VARCHAR2 || 'x', C_UNTYPED, NULL, "
            "zeroblob(2), printf('%.*c', 4001, 'y') FROM ALL_TYPES GROUP BY ID");
    OCIParam* count = param(st, 1);
    EXPECT_EQ(name_of(count), "COUNT(*)");
    EXPECT_EQ(attr<ub2>(count, OCI_ATTR_DATA_TYPE), SQLT_NUM);
    OCIParam* twice = param(st, 2);
    EXPECT_EQ(name_of(twice), "Twice");  // an alias keeps its case
    EXPECT_EQ(attr<ub2>(twice, OCI_ATTR_DATA_TYPE), SQLT_NUM);
    EXPECT_EQ(attr<ub2>(param(st, 3), OCI_ATTR_DATA_TYPE), SQLT_CHR);
    EXPECT_EQ(attr<ub2>(param(st, 3), OCI_ATTR_DATA_SIZE), 4000);
    // An untyped table column holding only numbers describes as NUMBER.
    EXPECT_EQ(attr<ub2>(param(st, 4), OCI_ATTR_DATA_TYPE), SQLT_NUM);
    EXPECT_EQ(attr<ub2>(param(st, 5), OCI_ATTR_DATA_TYPE), SQLT_CHR);
    EXPECT_EQ(attr<ub2>(param(st, 6), OCI_ATTR_DATA_TYPE), SQLT_BLOB);
    EXPECT_EQ(attr<ub2>(param(st, 7), OCI_ATTR_DATA_TYPE), SQLT_CLOB);
}

TEST_F(ocl_stmt_api, NamesOfTableColumnsAreAsDeclared) {
    make_db("CREATE TABLE lower_t (empno NUMBER(4), \"Mixed\" VARCHAR2(3));");
    OCIStmt* st = run("SELECT * FROM \"LOWER_T\"");
    EXPECT_EQ(name_of(param(st, 1)), "empno");
    EXPECT_EQ(name_of(param(st, 2)), "Mixed");
    // A column named in another case is still the declared column.
    st = run("SELECT EMPNO, mixed FROM lower_t");
    EXPECT_EQ(name_of(param(st, 1)), "empno");
    EXPECT_EQ(name_of(param(st, 2)), "Mixed");
    st = run("SELECT empno AS e FROM lower_t");
    EXPECT_EQ(name_of(param(st, 1)), "e");
}

TEST_F(ocl_stmt_api, ExecuteWithOneIterationFetchesTheFirstRow) {
    make_db("INSERT INTO ALL_TYPES (ID) VALUES (7); INSERT INTO ALL_TYPES (ID) VALUES (8);");
    OCIStmt* st = new_stmt();
    ASSERT_EQ(prepare(st, "SELECT ID FROM ALL_TYPES ORDER BY ID"), OCI_SUCCESS);
    int id = 0;
    sb2 ind = 0;
    OCIDefine* d = nullptr;
    ASSERT_EQ(OCIDefineByPos(st, &d, err_, 1, &id, 4, SQLT_INT, &ind, nullptr, nullptr, 0),
              OCI_SUCCESS);
    ASSERT_EQ(OCIStmtExecute(svc_, st, err_, 1, 0, nullptr, nullptr, OCI_DEFAULT), OCI_SUCCESS);
    EXPECT_EQ(id, 7);
    ASSERT_EQ(OCIStmtFetch(st, err_, 1, OCI_FETCH_NEXT, OCI_DEFAULT), OCI_SUCCESS);
    EXPECT_EQ(id, 8);
    EXPECT_EQ(OCIStmtFetch(st, err_, 1, OCI_FETCH_NEXT, OCI_DEFAULT), OCI_NO_DATA);
    // The end stays the end: no second run of the query.
    EXPECT_EQ(OCIStmtFetch(st, err_, 1, OCI_FETCH_NEXT, OCI_DEFAULT), OCI_NO_DATA);
    ub4 rows_seen = 0;
    EXPECT_EQ(OCIAttrGet(st, OCI_HTYPE_STMT, &rows_seen, nullptr, OCI_ATTR_ROW_COUNT, err_),
              OCI_SUCCESS);
    EXPECT_EQ(rows_seen, 2u);
    // Executing again runs the query again (the reader's describe-then-read).
    ASSERT_EQ(OCIStmtExecute(svc_, st, err_, 0, 0, nullptr, nullptr, OCI_DEFAULT), OCI_SUCCESS);
    ASSERT_EQ(OCIStmtFetch(st, err_, 1, OCI_FETCH_NEXT, OCI_DEFAULT), OCI_SUCCESS);
    EXPECT_EQ(id, 7);
    // An empty result: execute with one iteration says OCI_NO_DATA.
    ASSERT_EQ(prepare(st, "SELECT ID FROM ALL_TYPES WHERE ID > 100"), OCI_SUCCESS);
    ASSERT_EQ(OCIDefineByPos(st, &d, err_, 1, &id, 4, SQLT_INT, &ind, nullptr, nullptr, 0),
              OCI_SUCCESS);
    EXPECT_EQ(OCIStmtExecute(svc_, st, err_, 1, 0, nullptr, nullptr, OCI_DEFAULT), OCI_NO_DATA);
}

TEST_F(ocl_stmt_api, ArrayFetchFillsConsecutiveSlots) {
    for (int i = 1; i <= 5; ++i) {
        make_db("INSERT INTO ALL_TYPES (ID, C_VARCHAR2) VALUES (" + std::to_string(i) + ", " +
                (i == 3 ? std::string("NULL") : "'v" + std::to_string(i) + "'") + ")");
    }
    OCIStmt* st = run("SELECT ID, C_VARCHAR2 FROM ALL_TYPES ORDER BY ID");
    int ids[4] = {0};
    char16_t texts[4][8];
    sb2 inds[4] = {0};
    ub2 lens[4] = {0};
    OCIDefine* d = nullptr;
    ASSERT_EQ(OCIDefineByPos(st, &d, err_, 1, ids, 4, SQLT_INT, nullptr, nullptr, nullptr, 0),
              OCI_SUCCESS);
    ASSERT_EQ(
        OCIDefineByPos(st, &d, err_, 2, texts, sizeof texts[0], SQLT_STR, inds, lens, nullptr, 0),
        OCI_SUCCESS);
    ASSERT_EQ(OCIStmtFetch(st, err_, 4, OCI_FETCH_NEXT, OCI_DEFAULT), OCI_SUCCESS);
    EXPECT_EQ(ids[0], 1);
    EXPECT_EQ(ids[3], 4);
    EXPECT_EQ(dec_z(texts[1]), "v2");
    EXPECT_EQ(lens[1], 4);  // bytes, without the terminator
    EXPECT_EQ(inds[2], -1);
    // The last call gets fewer rows than asked: OCI_NO_DATA with the count.
    EXPECT_EQ(OCIStmtFetch(st, err_, 4, OCI_FETCH_NEXT, OCI_DEFAULT), OCI_NO_DATA);
    ub4 fetched = 0;
    EXPECT_EQ(OCIAttrGet(st, OCI_HTYPE_STMT, &fetched, nullptr, OCI_ATTR_ROWS_FETCHED, err_),
              OCI_SUCCESS);
    EXPECT_EQ(fetched, 1u);
    EXPECT_EQ(ids[0], 5);
}

TEST_F(ocl_stmt_api, NonQueriesReportChangedRowsAndType) {
    // The source is only read: a statement that would change it is refused,
    // changes nothing and keeps its type.
    sword rc;
    OCIStmt* st = run("INSERT INTO ALL_TYPES (ID) VALUES (1)", 1, OCI_DEFAULT, &rc);
    EXPECT_EQ(rc, OCI_ERROR);
    EXPECT_EQ(error_code(), 16000);
    ub4 changed = 1;
    ub2 type = 0;
    EXPECT_EQ(OCIAttrGet(st, OCI_HTYPE_STMT, &changed, nullptr, OCI_ATTR_ROW_COUNT, err_),
              OCI_SUCCESS);
    EXPECT_EQ(changed, 0u);
    EXPECT_EQ(OCIAttrGet(st, OCI_HTYPE_STMT, &type, nullptr, OCI_ATTR_STMT_TYPE, err_),
              OCI_SUCCESS);
    EXPECT_EQ(type, OCI_STMT_INSERT);
    EXPECT_EQ(rows("SELECT COUNT(*) FROM ALL_TYPES")[0][0], "0");
    st = run("SELECT 1 FROM DUAL");
    EXPECT_EQ(OCIAttrGet(st, OCI_HTYPE_STMT, &type, nullptr, OCI_ATTR_STMT_TYPE, err_),
              OCI_SUCCESS);
    EXPECT_EQ(type, OCI_STMT_SELECT);
}

TEST_F(ocl_stmt_api, DescribeOnlyDescribesWithoutFetching) {
    OCIStmt* st = run("SELECT ID, C_DATE FROM ALL_TYPES", 0, OCI_DESCRIBE_ONLY);
    EXPECT_EQ(attr<ub2>(param(st, 2), OCI_ATTR_DATA_TYPE), SQLT_DAT);
    int id = 0;
    OCIDefine* d = nullptr;
    sb2 ind;
    ASSERT_EQ(OCIDefineByPos(st, &d, err_, 1, &id, 4, SQLT_INT, &ind, nullptr, nullptr, 0),
              OCI_SUCCESS);
    EXPECT_EQ(OCIStmtFetch(st, err_, 1, OCI_FETCH_NEXT, OCI_DEFAULT), OCI_NO_DATA);
}

TEST_F(ocl_stmt_api, DefineHandlesMayBeFreedBeforeTheirStatement) {
    OCIStmt* st = run("SELECT ID FROM ALL_TYPES");
    int id = 0;
    sb2 ind = 0;
    OCIDefine* d = nullptr;
    ASSERT_EQ(OCIDefineByPos(st, &d, err_, 1, &id, 4, SQLT_INT, &ind, nullptr, nullptr, 0),
              OCI_SUCCESS);
    OCIDefine* again = nullptr;
    ASSERT_EQ(OCIDefineByPos(st, &again, err_, 1, &id, 4, SQLT_INT, &ind, nullptr, nullptr, 0),
              OCI_SUCCESS);
    EXPECT_EQ(again, d);  // a position defined twice keeps one define
    EXPECT_EQ(OCIHandleFree(d, OCI_HTYPE_DEFINE), OCI_SUCCESS);
    EXPECT_EQ(OCIStmtFetch(st, err_, 1, OCI_FETCH_NEXT, OCI_DEFAULT), OCI_NO_DATA);
    EXPECT_EQ(OCIHandleFree(st, OCI_HTYPE_STMT), OCI_SUCCESS);
}

// The count that follows the describe of a whole table is taken in the
// describe's pass over the table; it must still be the table's count at the
// time it is asked, and only the table's.
TEST_F(ocl_stmt_api, ACountAfterADescribeIsTheTablesCountWhenAsked) {
    make_db(
        "CREATE TABLE T (A VARCHAR2(5)); INSERT INTO T VALUES ('x'), ('y'), ('z');"
        "CREATE VIEW V AS SELECT * FROM T WHERE A = 'x';");
    auto count_after_describe = [&](const std::string& name, const std::string& change) {
        OCIStmt* st = run("SELECT * FROM " + name);
        param(st, 1);  // the describe sizes the text column by its values
        if (!change.empty()) {
            make_db(change);  // another connection changes the table meanwhile
        }
        auto r = rows("SELECT COUNT(*) FROM " + name);
        return r.size() == 1 && r[0][0] ? *r[0][0] : std::string("no count");
    };
    EXPECT_EQ(count_after_describe("\"T\"", ""), "3");
    EXPECT_EQ(count_after_describe("\"T\"", "INSERT INTO T VALUES ('w');"), "4");
    EXPECT_EQ(count_after_describe("\"t\"", "DELETE FROM T WHERE A = 'w';"), "3");
    EXPECT_EQ(count_after_describe("\"V\"", ""), "1");  // a view's rows, not its table's
}

// A large table is sized in two halves read side by side: the longest value
// and the count hold whichever half the values are in; a column that takes
// the rowid's name (its values in no order, NULL among them) is never split.
TEST_F(ocl_stmt_api, ALargeTableIsSizedAndCountedWholeInHalves) {
    make_db(
        "CREATE TABLE BIG (A VARCHAR2(5));"
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 40000)"
        " INSERT INTO BIG SELECT CASE i WHEN 39999 THEN printf('%.300c', 'x')"
        " WHEN 7 THEN printf('%.200c', 'y') ELSE 'a' END FROM n;"
        "CREATE TABLE NAMED (RowId INTEGER, A VARCHAR2(5));"
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 40000)"
        " INSERT INTO NAMED SELECT CASE WHEN i % 2 = 0 THEN NULL ELSE i END,"
        " CASE i WHEN 40000 THEN printf('%.300c', 'z') ELSE 'b' END FROM n;");
    for (const char* table : {"BIG", "NAMED"}) {
        OCIStmt* st = run(std::string("SELECT * FROM \"") + table + "\"");
        OCIParam* a = param(st, std::string(table) == "BIG" ? 1 : 2);
        EXPECT_EQ(attr<ub2>(a, OCI_ATTR_DATA_SIZE), 300) << table;
        auto r = rows(std::string("SELECT COUNT(*) FROM \"") + table + "\"");
        ASSERT_EQ(r.size(), 1u);
        EXPECT_EQ(r[0][0].value_or(""), "40000") << table;
    }
}

// A new copy of the database renamed over the source during the session is
// not read by the second connection: the halves are of one file.
TEST_F(ocl_stmt_api, AFileRenamedOverTheSourceIsNotReadForTheUpperHalf) {
    make_db(
        "CREATE TABLE BIG (A VARCHAR2(5));"
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 40000)"
        " INSERT INTO BIG SELECT 'a' FROM n;");
    const std::string kept = path_;
    path_ += ".new";
    make_db(
        "CREATE TABLE BIG (A VARCHAR2(5));"
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 40000)"
        " INSERT INTO BIG SELECT printf('%.300c', 'x') FROM n WHERE i > 30000;");
    ASSERT_EQ(std::rename(path_.c_str(), kept.c_str()), 0);
    path_ = kept;
    OCIStmt* st = run("SELECT * FROM \"BIG\"");
    EXPECT_EQ(attr<ub2>(param(st, 1), OCI_ATTR_DATA_SIZE), 5);
    auto r = rows("SELECT COUNT(*) FROM \"BIG\"");
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0][0].value_or(""), "40000");
}
