// Define-time conversions through the OCI functions.
#include "ocilite/ocl_conv.h"

#include <gtest/gtest.h>

#include <cstring>

#include "ocilite/ocl_fixture.h"

class ocl_conv_api : public ocl_fixture {
  protected:
    void SetUp() override {
        ocl_fixture::SetUp();
        make_db(
            "CREATE TABLE V (ID NUMBER(3), S VARCHAR2(40), N NUMBER, D DATE, R RAW(8), "
            "LR LONG RAW, C CHAR(5));"
            "INSERT INTO V VALUES (1, 'Привет, 中文 ok', 0.5, '2012-03-15 13:45:30', X'01AB', "
            "X'01AB', 'ab   ');"
            "INSERT INTO V VALUES (2, NULL, -1234.5, '1812-09-07 00:00:00', X'', X'', NULL);"
            "INSERT INTO V VALUES (3, '12.5', 5000000000, 'not a date', 'abc', NULL, 'x');"
            "INSERT INTO V VALUES (4, 'line' || char(13,10) || 'next', 2.5, 3, NULL, NULL, NULL);");
        ASSERT_EQ(logon(), OCI_SUCCESS);
    }

    // Runs `sql` (one row expected) with column 1 defined as given; returns
    // the fetch status.
    sword fetch_one(const std::string& sql, void* buf, sb4 size, ub2 dty, sb2* ind,
                    ub2* rlen = nullptr, ub2* rcode = nullptr) {
        OCIStmt* st = run(sql);
        OCIDefine* d = nullptr;
        EXPECT_EQ(OCIDefineByPos(st, &d, err_, 1, buf, size, dty, ind, rlen, rcode, 0),
                  OCI_SUCCESS);
        return OCIStmtFetch(st, err_, 1, OCI_FETCH_NEXT, OCI_DEFAULT);
    }
};

TEST_F(ocl_conv_api, TextComesAsTerminatedUtf16) {
    char16_t buf[64];
    sb2 ind = 5;
    ub2 rlen = 0;
    ASSERT_EQ(fetch_one("SELECT S FROM V WHERE ID = 1", buf, sizeof buf, SQLT_STR, &ind, &rlen),
              OCI_SUCCESS);
    EXPECT_EQ(ind, 0);
    EXPECT_EQ(dec_z(buf), "Привет, 中文 ok");
    EXPECT_EQ(rlen, 13 * 2);
    ASSERT_EQ(fetch_one("SELECT S FROM V WHERE ID = 4", buf, sizeof buf, SQLT_STR, &ind),
              OCI_SUCCESS);
    EXPECT_EQ(dec_z(buf), "line\r\nnext");  // carriage returns are data
    // CHAR values keep their blanks.
    ASSERT_EQ(fetch_one("SELECT C FROM V WHERE ID = 1", buf, sizeof buf, SQLT_STR, &ind),
              OCI_SUCCESS);
    EXPECT_EQ(dec_z(buf), "ab   ");
}

TEST_F(ocl_conv_api, TruncationKeepsWholeCharactersAndReportsTheLength) {
    char16_t buf[5];  // four characters and the terminator
    std::memset(buf, 0x7F, sizeof buf);
    sb2 ind = 0;
    ub2 rlen = 0;
    ub2 rcode = 0;
    EXPECT_EQ(
        fetch_one("SELECT S FROM V WHERE ID = 1", buf, sizeof buf, SQLT_STR, &ind, &rlen, &rcode),
        OCI_SUCCESS_WITH_INFO);
    EXPECT_EQ(dec_z(buf), "Прив");
    EXPECT_EQ(ind, 13 * 2);  // the length the whole value needs, in bytes
    EXPECT_EQ(rlen, 8);
    EXPECT_EQ(rcode, 1406);
    EXPECT_EQ(error_code(), 24345);
    // An odd buffer size does not split a UTF-16 unit.
    char16_t odd[4];
    std::memset(odd, 0x7F, sizeof odd);
    EXPECT_EQ(fetch_one("SELECT S FROM V WHERE ID = 1", odd, 7, SQLT_STR, &ind),
              OCI_SUCCESS_WITH_INFO);
    EXPECT_EQ(dec_z(odd), "Пр");
    EXPECT_EQ(odd[3], 0x7F7F);
}

TEST_F(ocl_conv_api, AValueThatExactlyFillsTheBufferIsNotTruncated) {
    // Ж, 中 and 😀 (a surrogate pair): 4 units, 8 bytes, no terminator.
    const std::string sql = "SELECT '\xD0\x96\xE4\xB8\xAD\xF0\x9F\x98\x80' FROM V WHERE ID = 1";
    char16_t buf[8];
    std::memset(buf, 0x7F, sizeof buf);
    sb2 ind = 5;
    ub2 rlen = 0;
    ub2 rcode = 7;
    ASSERT_EQ(fetch_one(sql, buf, 8, SQLT_CHR, &ind, &rlen, &rcode), OCI_SUCCESS);
    EXPECT_EQ(ind, 0);
    EXPECT_EQ(rlen, 8);
    EXPECT_EQ(rcode, 0);
    EXPECT_EQ(std::u16string(buf, 4), u"\u0416\u4E2D\U0001F600");
    EXPECT_EQ(buf[4], 0x7F7F);
    // Two bytes less: the pair does not fit whole and is left out.
    std::memset(buf, 0x7F, sizeof buf);
    EXPECT_EQ(fetch_one(sql, buf, 6, SQLT_CHR, &ind, &rlen, &rcode), OCI_SUCCESS_WITH_INFO);
    EXPECT_EQ(ind, 8);
    EXPECT_EQ(rlen, 4);
    EXPECT_EQ(rcode, 1406);
    EXPECT_EQ(std::u16string(buf, 2), u"\u0416\u4E2D");
    EXPECT_EQ(buf[2], 0x7F7F);
    // Terminated: the terminator needs its own room.
    std::memset(buf, 0x7F, sizeof buf);
    ASSERT_EQ(fetch_one(sql, buf, 10, SQLT_STR, &ind, &rlen, &rcode), OCI_SUCCESS);
    EXPECT_EQ(ind, 0);
    EXPECT_EQ(rlen, 8);
    EXPECT_EQ(buf[4], 0);
    EXPECT_EQ(fetch_one(sql, buf, 8, SQLT_STR, &ind, &rlen, &rcode), OCI_SUCCESS_WITH_INFO);
    EXPECT_EQ(ind, 8);
    EXPECT_EQ(rlen, 4);
    EXPECT_EQ(buf[2], 0);
}

TEST_F(ocl_conv_api, NullsComeThroughTheIndicator) {
    char16_t buf[16];
    buf[0] = u'z';
    sb2 ind = 0;
    ub2 rcode = 0;
    ASSERT_EQ(
        fetch_one("SELECT S FROM V WHERE ID = 2", buf, sizeof buf, SQLT_STR, &ind, nullptr, &rcode),
        OCI_SUCCESS);
    EXPECT_EQ(ind, -1);
    EXPECT_EQ(rcode, 1405);
    // Without an indicator a NULL is an error.
    EXPECT_EQ(fetch_one("SELECT S FROM V WHERE ID = 2", buf, sizeof buf, SQLT_STR, nullptr),
              OCI_ERROR);
    EXPECT_EQ(error_code(), 1405);
    EXPECT_EQ(error_text(), "ORA-01405: fetched column value is NULL\n");
}

TEST_F(ocl_conv_api, NumbersAsTextFollowTheServersFormat) {
    char16_t buf[64];
    sb2 ind = 0;
    ASSERT_EQ(fetch_one("SELECT N FROM V WHERE ID = 1", buf, sizeof buf, SQLT_STR, &ind),
              OCI_SUCCESS);
    EXPECT_EQ(dec_z(buf), ".5");
    ASSERT_EQ(fetch_one("SELECT N FROM V WHERE ID = 2", buf, sizeof buf, SQLT_STR, &ind),
              OCI_SUCCESS);
    EXPECT_EQ(dec_z(buf), "-1234.5");
    ASSERT_EQ(fetch_one("SELECT N FROM V WHERE ID = 3", buf, sizeof buf, SQLT_STR, &ind),
              OCI_SUCCESS);
    EXPECT_EQ(dec_z(buf), "5000000000");
}

TEST_F(ocl_conv_api, IntegersRoundAndCheckTheirRange) {
    int v = 0;
    sb2 ind = 0;
    ASSERT_EQ(fetch_one("SELECT N FROM V WHERE ID = 4", &v, 4, SQLT_INT, &ind), OCI_SUCCESS);
    EXPECT_EQ(v, 3);  // 2.5 rounds away from zero
    ASSERT_EQ(fetch_one("SELECT N FROM V WHERE ID = 2", &v, 4, SQLT_INT, &ind), OCI_SUCCESS);
    EXPECT_EQ(v, -1235);
    ASSERT_EQ(fetch_one("SELECT S FROM V WHERE ID = 3", &v, 4, SQLT_INT, &ind), OCI_SUCCESS);
    EXPECT_EQ(v, 13);  // text '12.5' is a number
    EXPECT_EQ(fetch_one("SELECT N FROM V WHERE ID = 3", &v, 4, SQLT_INT, &ind), OCI_ERROR);
    EXPECT_EQ(error_code(), 1455);  // 5000000000 does not fit 32 bits
    long long big = 0;
    ASSERT_EQ(fetch_one("SELECT N FROM V WHERE ID = 3", &big, 8, SQLT_INT, &ind), OCI_SUCCESS);
    EXPECT_EQ(big, 5000000000LL);
    EXPECT_EQ(fetch_one("SELECT S FROM V WHERE ID = 1", &v, 4, SQLT_INT, &ind), OCI_ERROR);
    EXPECT_EQ(error_code(), 1722);
    EXPECT_EQ(fetch_one("SELECT R FROM V WHERE ID = 1", &v, 4, SQLT_INT, &ind), OCI_ERROR);
    EXPECT_EQ(error_code(), 932);
    short small = 0;
    ASSERT_EQ(fetch_one("SELECT ID FROM V WHERE ID = 3", &small, 2, SQLT_INT, &ind), OCI_SUCCESS);
    EXPECT_EQ(small, 3);
    unsigned int u = 0;
    EXPECT_EQ(fetch_one("SELECT N FROM V WHERE ID = 2", &u, 4, SQLT_UIN, &ind), OCI_ERROR);
    EXPECT_EQ(error_code(), 1455);
    double f = 0;
    ASSERT_EQ(fetch_one("SELECT N FROM V WHERE ID = 2", &f, 8, SQLT_FLT, &ind), OCI_SUCCESS);
    EXPECT_EQ(f, -1234.5);
}

TEST_F(ocl_conv_api, DatesComeInTheSevenByteLayout) {
    unsigned char d[7];
    sb2 ind = 0;
    ub2 rlen = 0;
    ASSERT_EQ(fetch_one("SELECT D FROM V WHERE ID = 1", d, 7, SQLT_DAT, &ind, &rlen), OCI_SUCCESS);
    const unsigned char expected[7] = {120, 112, 3, 15, 14, 46, 31};
    EXPECT_EQ(std::memcmp(d, expected, 7), 0);
    EXPECT_EQ(rlen, 7);
    ASSERT_EQ(fetch_one("SELECT D FROM V WHERE ID = 2", d, 7, SQLT_DAT, &ind), OCI_SUCCESS);
    const unsigned char before1900[7] = {118, 112, 9, 7, 1, 1, 1};
    EXPECT_EQ(std::memcmp(d, before1900, 7), 0);
    EXPECT_EQ(fetch_one("SELECT D FROM V WHERE ID = 3", d, 7, SQLT_DAT, &ind), OCI_ERROR);
    EXPECT_EQ(error_code(), 1861);
    EXPECT_EQ(fetch_one("SELECT D FROM V WHERE ID = 4", d, 7, SQLT_DAT, &ind), OCI_ERROR);
    EXPECT_EQ(error_text(), "ORA-00932: inconsistent datatypes: expected DATE got NUMBER\n");
    // A date as text is the stored text.
    char16_t buf[32];
    ASSERT_EQ(fetch_one("SELECT D FROM V WHERE ID = 1", buf, sizeof buf, SQLT_STR, &ind),
              OCI_SUCCESS);
    EXPECT_EQ(dec_z(buf), "2012-03-15 13:45:30");
}

TEST_F(ocl_conv_api, RawValuesReportTheirRealLength) {
    unsigned char r[8];
    std::memset(r, 0xEE, sizeof r);
    sb2 ind = 0;
    ub2 rlen = 0;
    ASSERT_EQ(fetch_one("SELECT R FROM V WHERE ID = 1", r, 8, SQLT_BIN, &ind, &rlen), OCI_SUCCESS);
    EXPECT_EQ(rlen, 2);
    EXPECT_EQ(r[0], 0x01);
    EXPECT_EQ(r[1], 0xAB);
    EXPECT_EQ(r[2], 0xEE);  // untouched past the value
    ASSERT_EQ(fetch_one("SELECT R FROM V WHERE ID = 2", r, 8, SQLT_BIN, &ind, &rlen), OCI_SUCCESS);
    EXPECT_EQ(rlen, 0);
    EXPECT_EQ(ind, 0);  // empty, not NULL
    // Text in a RAW column: its bytes.
    ASSERT_EQ(fetch_one("SELECT R FROM V WHERE ID = 3", r, 8, SQLT_BIN, &ind, &rlen), OCI_SUCCESS);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(r), rlen), "abc");
    // A buffer too small: truncated, with the real length in the indicator.
    ASSERT_EQ(fetch_one("SELECT R FROM V WHERE ID = 1", r, 1, SQLT_BIN, &ind, &rlen),
              OCI_SUCCESS_WITH_INFO);
    EXPECT_EQ(ind, 2);
    EXPECT_EQ(rlen, 1);
}

TEST_F(ocl_conv_api, LongRawAsTextIsHexBehindTheReadersPrefix) {
    // The Oracle source writes "0x" first and defines the text right behind it.
    char16_t buf[16] = {u'0', u'x'};
    sb2 ind = 0;
    ASSERT_EQ(fetch_one("SELECT LR FROM V WHERE ID = 1", buf + 2, sizeof buf - 4, SQLT_STR, &ind),
              OCI_SUCCESS);
    EXPECT_EQ(dec_z(buf), "0x01AB");
}

class ocl_conv_api_utf8 : public ocl_conv_api {
  protected:
    ocl_conv_api_utf8() { utf16_ = false; }
};

TEST_F(ocl_conv_api_utf8, ANarrowEnvironmentGetsUtf8) {
    char buf[64];
    sb2 ind = 0;
    ub2 rlen = 0;
    ASSERT_EQ(fetch_one("SELECT S FROM V WHERE ID = 1", buf, sizeof buf, SQLT_STR, &ind, &rlen),
              OCI_SUCCESS);
    EXPECT_STREQ(buf, "Привет, 中文 ok");
    EXPECT_EQ(rlen, std::strlen("Привет, 中文 ok"));
    char small[4];  // three bytes: one Cyrillic letter (two bytes) fits, the next does not
    EXPECT_EQ(fetch_one("SELECT S FROM V WHERE ID = 1", small, sizeof small, SQLT_STR, &ind),
              OCI_SUCCESS_WITH_INFO);
    EXPECT_STREQ(small, "П");
    EXPECT_EQ(error_text(), "ORA-24345: A Truncation or null fetch error occurred\n");
}

TEST(ocl_conv_types, SupportedExternalTypes) {
    for (ub2 t : {SQLT_STR, SQLT_CHR, SQLT_AFC, SQLT_LNG, SQLT_INT, SQLT_UIN, SQLT_FLT, SQLT_DAT,
                  SQLT_BIN, SQLT_LBI, SQLT_CLOB, SQLT_BLOB}) {
        EXPECT_TRUE(ocl_conv_supported(t)) << t;
    }
    for (ub2 t : {SQLT_NUM, SQLT_VNU, SQLT_ODT, SQLT_TIMESTAMP, SQLT_BFILEE, SQLT_RDD}) {
        EXPECT_FALSE(ocl_conv_supported(t)) << t;
    }
}
