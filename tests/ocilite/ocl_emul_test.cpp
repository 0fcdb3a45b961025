// The provider's server emulation and its count of round trips.
#include "ocilite/ocl_emul.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <string>
#include <vector>

#include "ocilite/ocl_fixture.h"
#include "ocilite/ocl_num.h"
#include "ocilite/ocl_type.h"

// ---- the server's text forms ---------------------------------------------

TEST(ocl_emul_forms, IntervalsTakeTheServersWidths) {
    std::string out;
    ASSERT_TRUE(ocl_emul_interval("1 2:3:4", true, 2, 6, out));
    EXPECT_EQ(out, "+01 02:03:04.000000");
    ASSERT_TRUE(ocl_emul_interval(" -12 23:59:59.5 ", true, 9, 9, out));
    EXPECT_EQ(out, "-000000012 23:59:59.500000000");
    EXPECT_EQ(out.size(), 29u);  // the widest form
    ASSERT_TRUE(ocl_emul_interval("3 0:0:0.123", true, 2, 0, out));
    EXPECT_EQ(out, "+03 00:00:00");
    ASSERT_TRUE(ocl_emul_interval("-3-2", false, 2, 0, out));
    EXPECT_EQ(out, "-03-02");
    out = "kept";
    EXPECT_FALSE(ocl_emul_interval("1 24:00:00", true, 2, 6, out));
    EXPECT_FALSE(ocl_emul_interval("1-12", false, 2, 0, out));
    EXPECT_FALSE(ocl_emul_interval("P1D", true, 2, 6, out));
    EXPECT_EQ(out, "kept");
}

TEST(ocl_emul_forms, NumbersInTheSessionsFormat) {
    ocl_emul e;
    char text[ocl_num_max];
    size_t n = ocl_num_format_real(1e100, text);
    EXPECT_EQ(std::string(text, ocl_emul_number(e, text, n)), "1.0E+100");
    e.decimal = ',';
    n = ocl_num_format_real(-1234.5, text);
    EXPECT_EQ(std::string(text, ocl_emul_number(e, text, n)), "-1234,5");
    n = ocl_num_format_real(2.5e-130, text);
    EXPECT_EQ(std::string(text, ocl_emul_number(e, text, n)), "2,5E-130");
}

TEST(ocl_emul_forms, SingleByteDatabaseKeepsLatin1Only) {
    std::string out = "kept";
    EXPECT_FALSE(ocl_emul_latin1("Grüße", out));
    EXPECT_EQ(out, "kept");
    ASSERT_TRUE(ocl_emul_latin1("aЖ€b😀", out));
    EXPECT_EQ(out, "a??b?");
}

TEST(ocl_emul_forms, LengthSemanticsAreParsed) {
    ocl_type t;
    ASSERT_TRUE(ocl_type_from_decl("VARCHAR2(20 CHAR)", &t));
    EXPECT_TRUE(t.char_used);
    EXPECT_EQ(t.char_size, 20);
    ASSERT_TRUE(ocl_type_from_decl("varchar2( 7 byte )", &t));
    EXPECT_FALSE(t.char_used);
    EXPECT_EQ(t.size, 7);
    ASSERT_TRUE(ocl_type_from_decl("INTERVAL DAY(3) TO SECOND(9)", &t));
    EXPECT_EQ(t.lead, 3);
    EXPECT_EQ(t.frac, 9);
}

// ---- through the OCI functions ------------------------------------------------

class ocl_emul_api : public ocl_fixture {
  protected:
    void SetUp() override {
        setenv("TSL_OCILITE_EMULATE", "server", 1);
        ocl_fixture::SetUp();
    }
    void TearDown() override {
        ocl_fixture::TearDown();
        unsetenv("TSL_OCILITE_EMULATE");
        unsetenv("NLS_NUMERIC_CHARACTERS");
    }
    ub4 trips() {
        ub4 n = 0;
        EXPECT_EQ(OCIAttrGet(svc_, OCI_HTYPE_SVCCTX, &n, nullptr, TSL_OCI_ATTR_ROUNDTRIPS, err_),
                  OCI_SUCCESS);
        return n;
    }
};

TEST_F(ocl_emul_api, DescribesAnAl32Utf8Server) {
    make_db(
        "CREATE TABLE T(A \"VARCHAR2(20 CHAR)\", B \"VARCHAR2(20 BYTE)\", C CHAR(4), "
        "N NUMBER(9,2));"
        "INSERT INTO T VALUES('Жук', 'x', 'ab', 1234.5);");
    setenv("NLS_NUMERIC_CHARACTERS", ",.", 1);
    ASSERT_EQ(logon(), OCI_SUCCESS);
    OCIStmt* st = run("SELECT * FROM T");
    EXPECT_EQ(attr<ub2>(param(st, 1), OCI_ATTR_DATA_SIZE), 80);
    EXPECT_EQ(attr<ub1>(param(st, 1), OCI_ATTR_CHAR_USED), 1);
    EXPECT_EQ(attr<ub2>(param(st, 1), OCI_ATTR_CHAR_SIZE), 20);
    EXPECT_EQ(attr<ub2>(param(st, 2), OCI_ATTR_DATA_SIZE), 20);
    EXPECT_EQ(attr<ub1>(param(st, 2), OCI_ATTR_CHAR_USED), 0);
    auto r = rows("SELECT C, N FROM T");
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(*r[0][0], "ab  ");
    EXPECT_EQ(*r[0][1], "1234,5");
}

TEST_F(ocl_emul_api, VersionViewAndDefaultHostAreRefused) {
    make_db("CREATE TABLE T(A NUMBER);");
    ASSERT_EQ(logon(), OCI_SUCCESS);
    sword rc = OCI_SUCCESS;
    run("SELECT * FROM v$version", 1, OCI_DEFAULT, &rc);
    EXPECT_EQ(rc, OCI_ERROR);
    EXPECT_EQ(error_code(), 942);
    OCIServer* srv = nullptr;
    ASSERT_EQ(OCIHandleAlloc(env_, reinterpret_cast<void**>(&srv), OCI_HTYPE_SERVER, 0, nullptr),
              OCI_SUCCESS);
    EXPECT_EQ(OCIServerAttach(srv, err_, reinterpret_cast<const OraText*>(u""), 0, OCI_DEFAULT),
              OCI_ERROR);
    EXPECT_EQ(error_code(), 12541);
}

TEST_F(ocl_emul_api, AnUnfinishedLobStreamBlocksTheConnection) {
    make_db(
        "CREATE TABLE L(C CLOB); INSERT INTO L VALUES(replace(printf('%.*c', 9000, 'x'), "
        "'x', 'abcd'));");
    ASSERT_EQ(logon(), OCI_SUCCESS);
    OCILobLocator* loc = nullptr;
    ASSERT_EQ(OCIDescriptorAlloc(env_, reinterpret_cast<void**>(&loc), OCI_DTYPE_LOB, 0, nullptr),
              OCI_SUCCESS);
    OCIStmt* st = run("SELECT C FROM L");
    OCIDefine* d = nullptr;
    sb2 ind = 0;
    ASSERT_EQ(OCIDefineByPos(st, &d, err_, 1, &loc, -1, SQLT_CLOB, &ind, nullptr, nullptr, 0),
              OCI_SUCCESS);
    ASSERT_EQ(OCIStmtFetch(st, err_, 1, OCI_FETCH_NEXT, OCI_DEFAULT), OCI_SUCCESS);
    std::vector<char> buf(16384);
    std::vector<ub4> pieces;
    sword rc;
    do {
        ub4 amount = 0;
        rc = OCILobRead(svc_, err_, loc, &amount, 1, buf.data(), static_cast<ub4>(buf.size()),
                        nullptr, nullptr, TSL_OCI_CSID_AL32UTF8, SQLCS_IMPLICIT);
        pieces.push_back(amount);
        if (pieces.size() == 1) {
            // Mid-stream, the connection takes no other call.
            EXPECT_EQ(OCIStmtFetch(st, err_, 1, OCI_FETCH_NEXT, OCI_DEFAULT), OCI_ERROR);
            EXPECT_EQ(error_code(), 3127);
        }
    } while (rc == OCI_NEED_DATA && pieces.size() < 20);
    EXPECT_EQ(rc, OCI_SUCCESS);
    // 36,000 bytes: 16,384, an empty piece, 16,384, an empty piece, the rest.
    EXPECT_EQ(pieces, (std::vector<ub4>{16384, 0, 16384, 0, 3232}));
    EXPECT_EQ(OCIStmtFetch(st, err_, 1, OCI_FETCH_NEXT, OCI_DEFAULT), OCI_NO_DATA);
    OCIDescriptorFree(loc, OCI_DTYPE_LOB);
}

TEST_F(ocl_emul_api, PrefetchSavesRoundTrips) {
    make_db(
        "CREATE TABLE R(ID NUMBER(9), T VARCHAR2(100));"
        "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 1000) "
        "INSERT INTO R SELECT x, 'r' FROM c;");
    ASSERT_EQ(logon(), OCI_SUCCESS);
    EXPECT_EQ(trips(), 1u);  // the logon
    // Reads every row one fetch call at a time; returns the round trips.
    auto read_all = [&](ub4 rows, ub4 memory) {
        const ub4 before = trips();
        OCIStmt* st = new_stmt();
        EXPECT_EQ(prepare(st, "SELECT ID, T FROM R"), OCI_SUCCESS);
        EXPECT_EQ(OCIAttrSet(st, OCI_HTYPE_STMT, &rows, 0, OCI_ATTR_PREFETCH_ROWS, err_),
                  OCI_SUCCESS);
        EXPECT_EQ(OCIAttrSet(st, OCI_HTYPE_STMT, &memory, 0, OCI_ATTR_PREFETCH_MEMORY, err_),
                  OCI_SUCCESS);
        EXPECT_EQ(OCIStmtExecute(svc_, st, err_, 0, 0, nullptr, nullptr, OCI_DEFAULT), OCI_SUCCESS);
        sb4 id = 0;
        OCIDefine* d = nullptr;
        EXPECT_EQ(OCIDefineByPos(st, &d, err_, 1, &id, 4, SQLT_INT, nullptr, nullptr, nullptr, 0),
                  OCI_SUCCESS);
        int n = 0;
        while (OCIStmtFetch(st, err_, 1, OCI_FETCH_NEXT, OCI_DEFAULT) == OCI_SUCCESS) ++n;
        EXPECT_EQ(n, 1000);
        EXPECT_EQ(id, 1000);
        return trips() - before;
    };
    // The client's default: one row ahead of each one asked for.
    EXPECT_EQ(read_all(1, 0), 1 + 500u);
    // The execute brings 100 rows, each refill 101.
    EXPECT_EQ(read_all(100, 0), 1 + 9u);
    // 1,300 bytes hold 10 rows of 130 (26 + 104) bytes: refills of 11, and
    // a last trip that finds the end.
    EXPECT_EQ(read_all(100, 1300), 1 + 91u);
}
