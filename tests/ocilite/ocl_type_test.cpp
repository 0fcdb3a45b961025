#include "ocilite/ocl_type.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>

namespace {

ocl_type typed(const char* decl) {
    ocl_type t;
    EXPECT_TRUE(ocl_type_from_decl(decl, &t)) << decl;
    return t;
}

}  // namespace

TEST(ocl_type, CharacterTypesReportSizesInBytes) {
    ocl_type v = typed("VARCHAR2(20)");
    EXPECT_EQ(v.code, SQLT_CHR);
    EXPECT_EQ(v.size, 20);
    EXPECT_EQ(v.form, SQLCS_IMPLICIT);
    EXPECT_STREQ(v.name, "VARCHAR2");

    ocl_type nv = typed("nvarchar2(10)");  // case does not matter
    EXPECT_EQ(nv.code, SQLT_CHR);
    EXPECT_EQ(nv.size, 20);  // two bytes per national character
    EXPECT_EQ(nv.char_size, 10);
    EXPECT_EQ(nv.form, SQLCS_NCHAR);
    EXPECT_STREQ(nv.name, "NVARCHAR2");

    ocl_type c = typed("CHAR(6)");
    EXPECT_EQ(c.code, SQLT_AFC);
    EXPECT_EQ(c.size, 6);
    ocl_type c1 = typed("CHAR");
    EXPECT_EQ(c1.size, 1);  // CHAR without a length holds one character

    ocl_type nc = typed("NCHAR(3)");
    EXPECT_EQ(nc.code, SQLT_AFC);
    EXPECT_EQ(nc.size, 6);
    EXPECT_EQ(nc.form, SQLCS_NCHAR);

    ocl_type vc = typed("VARCHAR(255)");
    EXPECT_EQ(vc.code, SQLT_CHR);
    EXPECT_EQ(vc.size, 255);
    EXPECT_EQ(typed("CHARACTER VARYING ( 7 )").size, 7);
}

TEST(ocl_type, NumbersKeepPrecisionAndScale) {
    ocl_type n = typed("NUMBER");
    EXPECT_EQ(n.code, SQLT_NUM);
    EXPECT_EQ(n.size, 22);
    EXPECT_EQ(n.precision, 0);
    EXPECT_EQ(n.scale, -127);

    ocl_type p = typed("NUMBER(9)");
    EXPECT_EQ(p.precision, 9);
    EXPECT_EQ(p.scale, 0);

    ocl_type ps = typed("NUMBER(10, 2)");
    EXPECT_EQ(ps.precision, 10);
    EXPECT_EQ(ps.scale, 2);

    ocl_type neg = typed("NUMBER(5,-2)");
    EXPECT_EQ(neg.precision, 5);
    EXPECT_EQ(neg.scale, -2);

    ocl_type i = typed("INTEGER");
    EXPECT_EQ(i.code, SQLT_NUM);
    EXPECT_EQ(i.precision, 38);
    EXPECT_EQ(i.scale, 0);

    ocl_type f = typed("FLOAT");
    EXPECT_STREQ(f.name, "FLOAT");
    EXPECT_EQ(f.precision, 126);
    EXPECT_EQ(f.scale, -127);
    EXPECT_EQ(typed("FLOAT(24)").precision, 24);
    EXPECT_EQ(typed("REAL").precision, 63);
    EXPECT_EQ(typed("DOUBLE PRECISION").precision, 126);

    EXPECT_EQ(typed("DECIMAL(8,3)").scale, 3);
    EXPECT_EQ(typed("NUMERIC").precision, 38);
    EXPECT_EQ(typed("BIGINT").precision, 19);
    EXPECT_EQ(typed("BOOLEAN").precision, 1);
    // SQLite's rule: any other type naming INT is an integer.
    EXPECT_EQ(typed("UNSIGNED INT4").precision, 19);
}

TEST(ocl_type, DatetimeBinaryAndLargeObjects) {
    EXPECT_EQ(typed("DATE").code, SQLT_DAT);
    EXPECT_EQ(typed("DATE").size, 7);
    EXPECT_EQ(typed("DATETIME").code, SQLT_DAT);
    ocl_type ts = typed("TIMESTAMP");
    EXPECT_EQ(ts.code, SQLT_TIMESTAMP);
    EXPECT_EQ(ts.scale, 6);
    EXPECT_EQ(typed("TIMESTAMP(3)").scale, 3);
    EXPECT_EQ(typed("TIMESTAMP WITH TIME ZONE").code, SQLT_TIMESTAMP_TZ);
    EXPECT_EQ(typed("TIMESTAMP(6) WITH LOCAL TIME ZONE").code, SQLT_TIMESTAMP_LTZ);
    EXPECT_EQ(typed("INTERVAL DAY TO SECOND").code, SQLT_INTERVAL_DS);
    EXPECT_EQ(typed("INTERVAL YEAR TO MONTH").code, SQLT_INTERVAL_YM);

    ocl_type raw = typed("RAW(16)");
    EXPECT_EQ(raw.code, SQLT_BIN);
    EXPECT_EQ(raw.size, 16);
    EXPECT_EQ(raw.form, 0);
    EXPECT_EQ(typed("LONG").code, SQLT_LNG);
    EXPECT_EQ(typed("LONG VARCHAR").code, SQLT_LNG);
    EXPECT_EQ(typed("LONG RAW").code, SQLT_LBI);

    ocl_type clob = typed("CLOB");
    EXPECT_EQ(clob.code, SQLT_CLOB);
    EXPECT_EQ(clob.form, SQLCS_IMPLICIT);
    ocl_type nclob = typed("NCLOB");
    EXPECT_EQ(nclob.code, SQLT_CLOB);
    EXPECT_EQ(nclob.form, SQLCS_NCHAR);
    EXPECT_EQ(typed("BLOB").code, SQLT_BLOB);
    EXPECT_EQ(typed("BFILE").code, SQLT_BFILEE);
    EXPECT_EQ(typed("ROWID").code, SQLT_RDD);
    EXPECT_EQ(typed("BINARY_DOUBLE").code, SQLT_IBDOUBLE);
}

TEST(ocl_type, UnknownOrMissingDeclarationsAreTypedByValues) {
    ocl_type t;
    t.code = 77;
    EXPECT_FALSE(ocl_type_from_decl(nullptr, &t));
    EXPECT_FALSE(ocl_type_from_decl("", &t));
    EXPECT_FALSE(ocl_type_from_decl("TEXT", &t));
    EXPECT_FALSE(ocl_type_from_decl("JSON", &t));
    EXPECT_EQ(t.code, 77);  // left untouched
}

TEST(ocl_type, ScanDecidesByEveryValue) {
    ocl_scan none;
    none.add(SQLITE_NULL, 0);
    EXPECT_EQ(none.result().code, SQLT_CHR);
    EXPECT_EQ(none.result().size, 4000);

    ocl_scan numbers;
    numbers.add(SQLITE_INTEGER, 3);
    numbers.add(SQLITE_NULL, 0);
    numbers.add(SQLITE_FLOAT, 5);
    EXPECT_EQ(numbers.result().code, SQLT_NUM);
    EXPECT_EQ(numbers.result().precision, 0);

    ocl_scan mixed;
    mixed.add(SQLITE_INTEGER, 3);
    mixed.add(SQLITE_TEXT, 10);
    EXPECT_EQ(mixed.result().code, SQLT_CHR);

    ocl_scan blobs;
    blobs.add(SQLITE_BLOB, 8);
    EXPECT_EQ(blobs.result().code, SQLT_BLOB);

    ocl_scan long_text;
    long_text.add(SQLITE_TEXT, 4000);
    EXPECT_EQ(long_text.result().code, SQLT_CHR);
    long_text.add(SQLITE_TEXT, 4001);
    EXPECT_EQ(long_text.result().code, SQLT_CLOB);
}
