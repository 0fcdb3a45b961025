// LOB locators and piecewise reads through the OCI functions.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "ocilite/ocl_fixture.h"

namespace {

std::string repeat(const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) {
        out += s;
    }
    return out;
}

}  // namespace

class ocl_lob_api : public ocl_fixture {
  protected:
    void SetUp() override {
        ocl_fixture::SetUp();
        make_db(
            "CREATE TABLE L (ID NUMBER(3), C CLOB, NC NCLOB, B BLOB);"
            "INSERT INTO L VALUES (1, 'short', 'Ж中', X'DEADBEEF');"
            "INSERT INTO L VALUES (2, '', '', X'');"
            "INSERT INTO L VALUES (3, NULL, NULL, NULL);"
            "INSERT INTO L VALUES (4, replace(printf('%.*c', 20000, 'x'), 'x', 'Жa'), "
            "  replace(printf('%.*c', 3, 'x'), 'x', 'a😀'), "
            "  CAST(replace(printf('%.*c', 5000, 'x'), 'x', '0123456789ABCDEF') AS BLOB));");
        ASSERT_EQ(logon(), OCI_SUCCESS);
        ASSERT_EQ(
            OCIDescriptorAlloc(env_, reinterpret_cast<void**>(&loc_), OCI_DTYPE_LOB, 0, nullptr),
            OCI_SUCCESS);
    }

    // Fetches column `col` of row `id` into the locator; returns the indicator.
    sb2 fetch(int id, const char* col, ub2 dty) {
        OCIStmt* st =
            run(std::string("SELECT ") + col + " FROM L WHERE ID = " + std::to_string(id));
        OCIDefine* d = nullptr;
        sb2 ind = 7;
        EXPECT_EQ(OCIDefineByPos(st, &d, err_, 1, &loc_, -1, dty, &ind, nullptr, nullptr, 0),
                  OCI_SUCCESS);
        EXPECT_EQ(OCIStmtFetch(st, err_, 1, OCI_FETCH_NEXT, OCI_DEFAULT), OCI_SUCCESS);
        return ind;
    }

    sword read(ub4* amount, ub4 offset, void* buf, ub4 size, ub2 csid, ub1 form = SQLCS_IMPLICIT) {
        return OCILobRead(svc_, err_, loc_, amount, offset, buf, size, nullptr, nullptr, csid,
                          form);
    }

    // The Oracle source's loop: amount 0, offset advanced by what came back,
    // until a read of 0.
    std::string read_all(ub2 csid, ub4 piece_size, int* calls) {
        std::vector<char> buf(piece_size);
        std::string out;
        ub4 offset = 1;
        *calls = 0;
        for (;;) {
            ub4 amount = 0;
            sword rc = read(&amount, offset, buf.data(), piece_size, csid);
            ++*calls;
            EXPECT_TRUE(rc == OCI_SUCCESS || rc == OCI_NEED_DATA || rc == OCI_NO_DATA) << rc;
            if (rc == OCI_ERROR || amount == 0 || *calls > 10000) {
                break;
            }
            size_t bytes = csid == OCI_UTF16ID ? amount * 2 : amount;
            out.append(buf.data(), bytes);
            offset += amount;
        }
        return out;
    }

    OCILobLocator* loc_ = nullptr;
};

TEST_F(ocl_lob_api, ClobReadsAsUtf8WhenAskedFor873) {
    ASSERT_EQ(fetch(1, "C", SQLT_CLOB), 0);
    ub1 form = 0;
    ASSERT_EQ(OCILobCharSetForm(env_, err_, loc_, &form), OCI_SUCCESS);
    EXPECT_EQ(form, SQLCS_IMPLICIT);
    char buf[32];
    ub4 amount = 0;
    ASSERT_EQ(read(&amount, 1, buf, sizeof buf, 873, form), OCI_SUCCESS);
    EXPECT_EQ(std::string(buf, amount), "short");
    // Past the end there is nothing, and the call says so.
    amount = 0;
    EXPECT_EQ(read(&amount, 6, buf, sizeof buf, 873, form), OCI_NO_DATA);
    EXPECT_EQ(amount, 0u);
    // An offset and an amount in characters.
    amount = 3;
    ASSERT_EQ(read(&amount, 2, buf, sizeof buf, 873, form), OCI_SUCCESS);
    EXPECT_EQ(std::string(buf, amount), "hor");
}

TEST_F(ocl_lob_api, CharacterSetZeroMeansTheEnvironmentsUtf16) {
    ASSERT_EQ(fetch(1, "NC", SQLT_CLOB), 0);
    ub1 form = 0;
    ASSERT_EQ(OCILobCharSetForm(env_, err_, loc_, &form), OCI_SUCCESS);
    EXPECT_EQ(form, SQLCS_NCHAR);
    char16_t buf[8];
    ub4 amount = 0;
    ASSERT_EQ(read(&amount, 1, buf, sizeof buf, 0, form), OCI_SUCCESS);
    EXPECT_EQ(amount, 2u);  // characters, as UTF-16 is fixed-width
    EXPECT_EQ(buf[0], u'Ж');
    EXPECT_EQ(buf[1], u'中');
    // The same as UTF-8 counts bytes.
    char narrow[8];
    amount = 0;
    ASSERT_EQ(read(&amount, 1, narrow, sizeof narrow, 873, form), OCI_SUCCESS);
    EXPECT_EQ(amount, 5u);
    EXPECT_EQ(std::string(narrow, amount), "Ж中");
    amount = 0;
    EXPECT_EQ(read(&amount, 1, narrow, sizeof narrow, 31, form), OCI_ERROR);
    EXPECT_EQ(error_code(), 12715);
}

TEST_F(ocl_lob_api, LargeValuesComeInPiecesThatNeverSplitACharacter) {
    ASSERT_EQ(fetch(4, "C", SQLT_CLOB), 0);
    const std::string expected = repeat("Жa", 20000);  // 60,000 bytes
    int calls = 0;
    std::string got = read_all(873, 32768, &calls);
    EXPECT_EQ(got, expected);
    EXPECT_EQ(calls, 3);  // two pieces, then the read of 0
    // Small pieces: every piece ends on a character boundary ("Жa" is three
    // bytes; the next "Ж" would need two more than the four there are).
    char buf[4];
    ub4 amount = 0;
    ASSERT_EQ(read(&amount, 1, buf, sizeof buf, 873), OCI_NEED_DATA);
    EXPECT_EQ(std::string(buf, amount), "Жa");
    EXPECT_EQ(amount, 3u);
    // The next call continues the stream whatever its offset says.
    amount = 0;
    ASSERT_EQ(read(&amount, 999, buf, sizeof buf, 873), OCI_NEED_DATA);
    EXPECT_EQ(std::string(buf, amount), "Жa");
}

TEST_F(ocl_lob_api, SurrogatePairsCountTwoCharacters) {
    ASSERT_EQ(fetch(4, "NC", SQLT_CLOB), 0);  // a😀 three times: 9 UTF-16 units
    int calls = 0;
    std::string utf16 = read_all(OCI_UTF16ID, 8, &calls);  // 4 units a piece at most
    ASSERT_EQ(utf16.size(), 18u);
    std::u16string w(reinterpret_cast<const char16_t*>(utf16.data()), 9);
    EXPECT_EQ(w, u"a😀a😀a😀");
    // From offset 5 (the second 'a' is unit 4; unit 5 starts the next pair).
    char16_t buf[8];
    ub4 amount = 0;
    ASSERT_EQ(read(&amount, 5, buf, sizeof buf, OCI_UTF16ID), OCI_SUCCESS);
    EXPECT_EQ(amount, 5u);
    EXPECT_EQ(std::u16string(buf, amount), u"😀a😀");
}

TEST_F(ocl_lob_api, BlobsReadAsBytes) {
    ASSERT_EQ(fetch(4, "B", SQLT_BLOB), 0);
    ub1 form = 9;
    ASSERT_EQ(OCILobCharSetForm(env_, err_, loc_, &form), OCI_SUCCESS);
    EXPECT_EQ(form, 0);
    int calls = 0;
    std::string got = read_all(0, 32768, &calls);
    EXPECT_EQ(got, repeat("0123456789ABCDEF", 5000));
    EXPECT_EQ(calls, 4);
    unsigned char buf[4];
    ub4 amount = 2;
    ASSERT_EQ(read(&amount, 80000, buf, sizeof buf, 0), OCI_SUCCESS);
    EXPECT_EQ(amount, 1u);
    EXPECT_EQ(buf[0], 'F');
}

TEST_F(ocl_lob_api, EmptyAndNullValues) {
    ASSERT_EQ(fetch(2, "C", SQLT_CLOB), 0);  // empty, not NULL
    char buf[8];
    ub4 amount = 0;
    EXPECT_EQ(read(&amount, 1, buf, sizeof buf, 873), OCI_NO_DATA);
    EXPECT_EQ(amount, 0u);
    ASSERT_EQ(fetch(2, "B", SQLT_BLOB), 0);
    EXPECT_EQ(read(&amount, 1, buf, sizeof buf, 0), OCI_NO_DATA);
    ASSERT_EQ(fetch(3, "C", SQLT_CLOB), -1);
    ub1 form = 0;
    EXPECT_EQ(OCILobCharSetForm(env_, err_, loc_, &form), OCI_ERROR);
    EXPECT_EQ(error_code(), 22275);
    EXPECT_EQ(read(&amount, 1, buf, sizeof buf, 873), OCI_ERROR);
    EXPECT_EQ(error_code(), 22275);
}

TEST_F(ocl_lob_api, CallbackReadsDeliverEveryPiece) {
    ASSERT_EQ(fetch(4, "B", SQLT_BLOB), 0);
    struct sink {
        std::string data;
        std::vector<int> flags;
    } s;
    auto cb = [](void* ctx, const void* buf, ub4 len, ub1 piece) -> sb4 {
        auto* k = static_cast<sink*>(ctx);
        k->data.append(static_cast<const char*>(buf), len);
        k->flags.push_back(piece);
        return OCI_CONTINUE;
    };
    std::vector<char> buf(30000);
    ub4 amount = 0;
    ASSERT_EQ(OCILobRead(svc_, err_, loc_, &amount, 1, buf.data(), 30000, &s, cb, 0, 0),
              OCI_SUCCESS);
    EXPECT_EQ(amount, 80000u);
    EXPECT_EQ(s.data, repeat("0123456789ABCDEF", 5000));
    EXPECT_EQ(s.flags, (std::vector<int>{OCI_FIRST_PIECE, OCI_NEXT_PIECE, OCI_LAST_PIECE}));
}

TEST_F(ocl_lob_api, ANumberOrTextMayBeDefinedAsALob) {
    OCIStmt* st = run("SELECT 12.5, 'txt' FROM DUAL");
    OCILobLocator* other = nullptr;
    ASSERT_EQ(OCIDescriptorAlloc(env_, reinterpret_cast<void**>(&other), OCI_DTYPE_LOB, 0, nullptr),
              OCI_SUCCESS);
    OCIDefine* d = nullptr;
    sb2 ind[2];
    ASSERT_EQ(OCIDefineByPos(st, &d, err_, 1, &loc_, -1, SQLT_CLOB, &ind[0], nullptr, nullptr, 0),
              OCI_SUCCESS);
    ASSERT_EQ(OCIDefineByPos(st, &d, err_, 2, &other, -1, SQLT_BLOB, &ind[1], nullptr, nullptr, 0),
              OCI_SUCCESS);
    ASSERT_EQ(OCIStmtFetch(st, err_, 1, OCI_FETCH_NEXT, OCI_DEFAULT), OCI_SUCCESS);
    char buf[16];
    ub4 amount = 0;
    ASSERT_EQ(read(&amount, 1, buf, sizeof buf, 873), OCI_SUCCESS);
    EXPECT_EQ(std::string(buf, amount), "12.5");
    amount = 0;
    ASSERT_EQ(OCILobRead(svc_, err_, other, &amount, 1, buf, sizeof buf, nullptr, nullptr, 0, 0),
              OCI_SUCCESS);
    EXPECT_EQ(std::string(buf, amount), "txt");
    EXPECT_EQ(OCIDescriptorFree(other, OCI_DTYPE_LOB), OCI_SUCCESS);
}
