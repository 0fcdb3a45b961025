#include "ocilite/ocl_err.h"

#include <gtest/gtest.h>

#include <cstring>

#include "ocilite/ocl_fixture.h"

TEST(ocl_err, SqliteMessagesMapToServerErrors) {
    struct sample {
        int rc;
        const char* msg;
        const char* sql;
        sb4 code;
        const char* text;
    };
    const sample samples[] = {
        {SQLITE_ERROR, "no such table: EMPX", "select * from EMPX", 942,
         "ORA-00942: table or view does not exist"},
        {SQLITE_ERROR, "no such column: e.sal2", "select e.sal2 from emp e", 904,
         "ORA-00904: \"E\".\"SAL2\": invalid identifier"},
        {SQLITE_ERROR, "no such function: frob", "select frob(1)", 904,
         "ORA-00904: \"FROB\": invalid identifier"},
        {SQLITE_ERROR, "near \"selekt\": syntax error", "selekt * from t", 900,
         "ORA-00900: invalid SQL statement"},
        {SQLITE_ERROR, "near \"emp\": syntax error", "select * frm emp", 933,
         "ORA-00933: SQL command not properly ended"},
        {SQLITE_ERROR, "incomplete input", "select * from", 921,
         "ORA-00921: unexpected end of SQL command"},
        {SQLITE_ERROR, "unrecognized token: \"#\"", "select # from t", 911,
         "ORA-00911: invalid character"},
        {SQLITE_ERROR, "ambiguous column name: id", "select id from a, b", 918,
         "ORA-00918: column ambiguously defined"},
        {SQLITE_ERROR, "table t already exists", "create table t (a)", 955,
         "ORA-00955: name is already used by an existing object"},
        {SQLITE_CONSTRAINT_UNIQUE, "UNIQUE constraint failed: t.a", "insert", 1,
         "ORA-00001: unique constraint (t.a) violated"},
        {SQLITE_CONSTRAINT_NOTNULL, "NOT NULL constraint failed: t.a", "insert", 1400,
         "ORA-01400: cannot insert NULL into (\"T\".\"A\")"},
        {SQLITE_READONLY, "attempt to write a readonly database", "insert", 16000,
         "ORA-16000: database or pluggable database open for read-only access"},
        {SQLITE_BUSY, "database is locked", "select", 54,
         "ORA-00054: resource busy and acquire with NOWAIT specified or timeout expired"},
        {SQLITE_ERROR, "something SQLite says", "select", 20000,
         "ORA-20000: something SQLite says"},
    };
    for (const sample& s : samples) {
        ocl_mapped m = ocl_map_sqlite(s.rc, s.msg, s.sql);
        EXPECT_EQ(m.code, s.code) << s.msg;
        EXPECT_EQ(m.text, s.text) << s.msg;
    }
}

TEST(ocl_err, TextsCarryTheFiveDigitNumber) {
    EXPECT_EQ(ocl_error_text(12154),
              "ORA-12154: TNS:could not resolve the connect identifier specified");
    EXPECT_EQ(ocl_error_text(1017), "ORA-01017: invalid username/password; logon denied");
    EXPECT_EQ(ocl_error_text(932, "DATE", "NUMBER"),
              "ORA-00932: inconsistent datatypes: expected DATE got NUMBER");
    EXPECT_EQ(ocl_error_text(99999), "ORA-99999: message not found");
}

class ocl_err_api : public ocl_fixture {
  protected:
    void SetUp() override {
        ocl_fixture::SetUp();
        make_db("CREATE TABLE T (A NUMBER(5), B VARCHAR2(10)); INSERT INTO T VALUES (1, 'x');");
        ASSERT_EQ(logon(), OCI_SUCCESS);
    }

    // The error number of executing `sql` in `mode` (0 when it succeeds).
    sb4 failure(const std::string& sql, ub4 iters = 0, ub4 mode = OCI_DEFAULT) {
        sword rc = OCI_SUCCESS;
        OCIStmt* st = run(sql, iters, mode, &rc);
        OCIHandleFree(st, OCI_HTYPE_STMT);
        if (rc != OCI_ERROR) {
            return 0;
        }
        return error_code();
    }
};

TEST_F(ocl_err_api, ErrorGetGivesNumberAndTextWithLineBreak) {
    EXPECT_EQ(failure("SELECT * FROM MISSING"), 942);
    EXPECT_EQ(error_text(), "ORA-00942: table or view does not exist\n");
    // Only one record is kept.
    sb4 code = 0;
    char16_t buf[64];
    EXPECT_EQ(OCIErrorGet(err_, 2, nullptr, &code, reinterpret_cast<OraText*>(buf), sizeof buf,
                          OCI_HTYPE_ERROR),
              OCI_NO_DATA);
    // A short buffer gets what fits, terminated.
    char16_t small[8];
    std::memset(small, 0xFF, sizeof small);
    ASSERT_EQ(
        OCIErrorGet(err_, 1, nullptr, &code, reinterpret_cast<OraText*>(small), 8, OCI_HTYPE_ERROR),
        OCI_SUCCESS);
    EXPECT_EQ(code, 942);
    EXPECT_EQ(small[0], u'O');
    EXPECT_EQ(small[2], u'A');
    EXPECT_EQ(small[3], 0);
    EXPECT_EQ(small[4], 0xFFFF);  // nothing written past the buffer
    // A successful call clears the error.
    EXPECT_EQ(failure("SELECT * FROM T"), 0);
    EXPECT_EQ(OCIErrorGet(err_, 1, nullptr, &code, reinterpret_cast<OraText*>(buf), sizeof buf,
                          OCI_HTYPE_ERROR),
              OCI_NO_DATA);
}

TEST_F(ocl_err_api, StatementErrorsComeFromTheExecute) {
    OCIStmt* st = new_stmt();
    // Preparing never fails: the text is checked where it runs.
    EXPECT_EQ(prepare(st, "SELEKT nonsense"), OCI_SUCCESS);
    EXPECT_EQ(failure("SELECT C FROM T"), 904);
    EXPECT_EQ(error_text(), "ORA-00904: \"C\": invalid identifier\n");
    EXPECT_EQ(failure("SELEKT * FROM T", 1, OCI_PARSE_ONLY), 900);
    EXPECT_EQ(failure("SELECT * FROM T WHERE", 1, OCI_PARSE_ONLY), 921);
    EXPECT_EQ(failure("SELECT * FROM T;", 1, OCI_PARSE_ONLY), 911);
    EXPECT_EQ(failure("SELECT * FROM T; SELECT 1", 1, OCI_PARSE_ONLY), 911);
    EXPECT_EQ(failure("SELECT A FROM T X Y", 1, OCI_PARSE_ONLY), 933);
    EXPECT_EQ(failure("   ", 1, OCI_PARSE_ONLY), 900);
    EXPECT_EQ(failure("SELECT * FROM MISSING", 1, OCI_PARSE_ONLY), 942);
    EXPECT_EQ(failure("SELECT * FROM T -- a comment after is fine;", 1, OCI_PARSE_ONLY), 0);
    EXPECT_EQ(failure("SELECT ';' FROM T /* ; */", 1, OCI_PARSE_ONLY), 0);
}

TEST_F(ocl_err_api, ParseOnlyDoesNotRun) {
    EXPECT_EQ(failure("DELETE FROM T", 1, OCI_PARSE_ONLY), 0);
    EXPECT_EQ(rows("SELECT COUNT(*) FROM T")[0][0], "1");
    // Nor does it describe.
    sword rc;
    OCIStmt* st = run("SELECT * FROM T", 1, OCI_PARSE_ONLY, &rc);
    ASSERT_EQ(rc, OCI_SUCCESS);
    ub4 count = 0;
    EXPECT_EQ(OCIAttrGet(st, OCI_HTYPE_STMT, &count, nullptr, OCI_ATTR_PARAM_COUNT, err_),
              OCI_ERROR);
    EXPECT_EQ(error_code(), 24338);
}

TEST_F(ocl_err_api, MisuseGivesTheClientsErrors) {
    EXPECT_EQ(failure("INSERT INTO T VALUES (2, 'y')", 0), 24333);  // zero iterations
    OCIStmt* st = new_stmt();
    ASSERT_EQ(prepare(st, "SELECT A FROM T"), OCI_SUCCESS);
    EXPECT_EQ(OCIStmtFetch(st, err_, 1, OCI_FETCH_NEXT, OCI_DEFAULT), OCI_ERROR);
    EXPECT_EQ(error_code(), 24338);
    int value = 0;
    sb2 ind = 0;
    OCIDefine* d = nullptr;
    ASSERT_EQ(OCIDefineByPos(st, &d, err_, 2, &value, 4, SQLT_INT, &ind, nullptr, nullptr, 0),
              OCI_SUCCESS);
    EXPECT_EQ(OCIStmtExecute(svc_, st, err_, 0, 0, nullptr, nullptr, OCI_DEFAULT), OCI_ERROR);
    EXPECT_EQ(error_code(), 1007);  // position 2 is not in the select list
    EXPECT_EQ(OCIDefineByPos(st, &d, err_, 1, &value, 4, 250, &ind, nullptr, nullptr, 0),
              OCI_ERROR);
    EXPECT_EQ(error_code(), 3115);
    OCIParam* p = nullptr;
    st = run("SELECT A FROM T");
    EXPECT_EQ(OCIParamGet(st, OCI_HTYPE_STMT, err_, reinterpret_cast<void**>(&p), 2), OCI_ERROR);
    EXPECT_EQ(error_code(), 24334);
    p = param(st, 1);
    ub4 junk = 0;
    EXPECT_EQ(OCIAttrGet(p, OCI_DTYPE_PARAM, &junk, nullptr, 9999, err_), OCI_ERROR);
    EXPECT_EQ(error_code(), 24315);
}

TEST_F(ocl_err_api, InvalidHandlesAreRefused) {
    OCIStmt* st = new_stmt();
    EXPECT_EQ(OCIStmtPrepare(nullptr, err_, nullptr, 0, OCI_NTV_SYNTAX, 0), OCI_INVALID_HANDLE);
    // A handle of another type is not taken for a statement.
    EXPECT_EQ(OCIStmtFetch(reinterpret_cast<OCIStmt*>(err_), err_, 1, OCI_FETCH_NEXT, 0),
              OCI_INVALID_HANDLE);
    EXPECT_EQ(OCIStmtExecute(svc_, st, reinterpret_cast<OCIError*>(st), 0, 0, nullptr, nullptr, 0),
              OCI_INVALID_HANDLE);
    EXPECT_EQ(OCIHandleFree(st, OCI_HTYPE_ERROR), OCI_INVALID_HANDLE);
    EXPECT_EQ(OCIHandleAlloc(err_, reinterpret_cast<void**>(&st), OCI_HTYPE_STMT, 0, nullptr),
              OCI_INVALID_HANDLE);  // the parent must be the environment
    void* h = nullptr;
    EXPECT_EQ(OCIHandleAlloc(env_, &h, OCI_HTYPE_BIND, 0, nullptr), OCI_INVALID_HANDLE);
    EXPECT_EQ(OCIDescriptorAlloc(env_, &h, OCI_DTYPE_ROWID, 0, nullptr), OCI_INVALID_HANDLE);
    EXPECT_EQ(OCIHandleFree(st, OCI_HTYPE_STMT), OCI_SUCCESS);
}

TEST_F(ocl_err_api, StatementsOfALoggedOffSessionFail) {
    OCIStmt* st = run("SELECT A FROM T");
    int value = 0;
    sb2 ind = 0;
    OCIDefine* d = nullptr;
    ASSERT_EQ(OCIDefineByPos(st, &d, err_, 1, &value, 4, SQLT_INT, &ind, nullptr, nullptr, 0),
              OCI_SUCCESS);
    ASSERT_EQ(OCILogoff(svc_, err_), OCI_SUCCESS);
    EXPECT_EQ(OCIStmtFetch(st, err_, 1, OCI_FETCH_NEXT, OCI_DEFAULT), OCI_ERROR);
    EXPECT_EQ(error_code(), 3114);
    EXPECT_EQ(OCIStmtExecute(svc_, st, err_, 0, 0, nullptr, nullptr, OCI_DEFAULT), OCI_ERROR);
    EXPECT_EQ(error_code(), 3114);
    EXPECT_EQ(OCILogoff(svc_, err_), OCI_ERROR);
    EXPECT_EQ(OCIHandleFree(st, OCI_HTYPE_STMT), OCI_SUCCESS);
}
