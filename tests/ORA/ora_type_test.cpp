#include "ORA/ora_type.h"

#include <random>

#include "ora_fixture.h"

using namespace ora_test;

namespace {

// The row's field of that column name; fails the test when absent.
const udb_field& field(const udb_record& r, const std::u16string& name) {
    for (const udb_field& f : r) {
        if (f.name == name)
            return f;
    }
    ADD_FAILURE() << "no field " << n(name);
    return r[0];
}

const t_ftd& ftd(const udb_recordset& rs, const std::u16string& name) {
    return *rs.schema().find_field(name);
}

std::vector<uint8_t> bytes_of(const ole_variant& v) {
    EXPECT_EQ(v.get_type(), VT_BYTE_ARRAY);
    return v.get_type() == VT_BYTE_ARRAY ? v.bytes() : std::vector<uint8_t>();
}

}  // namespace

// ---- NUMBER kinds -----------------------------------------------------------

TEST(OraNumberKind, PrecisionAndScaleDecideTheKind) {
    EXPECT_EQ(ora_number::kind_for(0, -127), VT_R8);    // NUMBER
    EXPECT_EQ(ora_number::kind_for(126, -127), VT_R8);  // FLOAT
    EXPECT_EQ(ora_number::kind_for(10, -127), VT_R8);   // FLOAT(10): not an integer
    EXPECT_EQ(ora_number::kind_for(39, 0), VT_R8);
    EXPECT_EQ(ora_number::kind_for(10, 2), VT_DECIMAL);
    EXPECT_EQ(ora_number::kind_for(1, 0), VT_I1);
    EXPECT_EQ(ora_number::kind_for(2, 0), VT_I1);
    EXPECT_EQ(ora_number::kind_for(3, 0), VT_I2);
    EXPECT_EQ(ora_number::kind_for(4, 0), VT_I2);
    EXPECT_EQ(ora_number::kind_for(5, 0), VT_I4);
    EXPECT_EQ(ora_number::kind_for(9, 0), VT_I4);
    // A negative scale adds digits: NUMBER(5,-2) holds 7, NUMBER(2,-3) 99000,
    // NUMBER(9,-2) eleven digits, so the integer must widen with it.
    EXPECT_EQ(ora_number::kind_for(5, -2), VT_I4);
    EXPECT_EQ(ora_number::kind_for(2, -3), VT_I4);
    EXPECT_EQ(ora_number::kind_for(2, -2), VT_I2);
    EXPECT_EQ(ora_number::kind_for(9, -2), VT_I8);
    EXPECT_EQ(ora_number::kind_for(38, -2), VT_R8);
    // Fixed point wider than a DECIMAL's 28 digits is read as a double.
    EXPECT_EQ(ora_number::kind_for(28, 4), VT_DECIMAL);
    EXPECT_EQ(ora_number::kind_for(38, 4), VT_R8);
    // Ten digits and more do not fit 32 bits.
    EXPECT_EQ(ora_number::kind_for(10, 0), VT_I8);
    EXPECT_EQ(ora_number::kind_for(18, 0), VT_I8);
    EXPECT_EQ(ora_number::kind_for(19, 0), VT_R8);
    EXPECT_EQ(ora_number::kind_for(38, 0), VT_R8);
}

TEST(OraDateBytes, SevenByteLayoutDecodes) {
    const uint8_t march[] = {120, 112, 3, 15, 14, 46, 31};
    SYSTEMTIME st = ora_date::decode(march);
    EXPECT_EQ(st.wYear, 2012);
    EXPECT_EQ(st.wMonth, 3);
    EXPECT_EQ(st.wDay, 15);
    EXPECT_EQ(st.wHour, 13);
    EXPECT_EQ(st.wMinute, 45);
    EXPECT_EQ(st.wSecond, 30);
    EXPECT_EQ(st.wDayOfWeek, 0);
    EXPECT_EQ(st.wMilliseconds, 0);
    // 44 BC: the century and year bytes count down from 100; the year comes
    // out positive. Time bytes of 0 give 0.
    const uint8_t bc[] = {100, 56, 3, 15, 0, 1, 0};
    st = ora_date::decode(bc);
    EXPECT_EQ(st.wYear, 44);
    EXPECT_EQ(st.wHour, 0);
    EXPECT_EQ(st.wMinute, 0);
    EXPECT_EQ(st.wSecond, 0);
    const uint8_t y1900[] = {119, 100, 1, 1, 1, 1, 1};
    EXPECT_EQ(ora_date::decode(y1900).wYear, 1900);
}

// ---- through the provider --------------------------------------------------------

using OraTypes = OraTest;

TEST_F(OraTypes, NumberColumnsGetTheirKindsAndKeepTheirValues) {
    open(
        "CREATE TABLE N(P5 NUMBER(5,0), P4 NUMBER(4), P2 NUMBER(2), D NUMBER(10,2),"
        " R NUMBER, F FLOAT, S33 NUMBER(3,3), NEG NUMBER(5,-2), BIG NUMBER(12),"
        " HUGE NUMBER(19), F10 FLOAT(10));"
        "INSERT INTO N VALUES(-12345, 1234, -12, 12345678.91, 0.1, 2.5, 0.123, 12300,"
        " 5000000000, 1234567890123456789, 3.25);");
    auto r = table(u"N");
    EXPECT_EQ(ftd(*r, u"P5").vartype, VT_I4);
    EXPECT_EQ(ftd(*r, u"P4").vartype, VT_I2);
    EXPECT_EQ(ftd(*r, u"P2").vartype, VT_I1);
    EXPECT_EQ(ftd(*r, u"D").vartype, VT_DECIMAL);
    EXPECT_EQ(ftd(*r, u"D").reserved, (10 << 8) | 2);
    EXPECT_EQ(ftd(*r, u"R").vartype, VT_R8);
    EXPECT_EQ(ftd(*r, u"F").vartype, VT_R8);
    EXPECT_EQ(ftd(*r, u"S33").vartype, VT_DECIMAL);
    EXPECT_EQ(ftd(*r, u"S33").reserved, (4 << 8) | 3);
    EXPECT_EQ(ftd(*r, u"NEG").vartype, VT_I4);
    EXPECT_EQ(ftd(*r, u"NEG").reserved, 0);
    EXPECT_EQ(ftd(*r, u"BIG").vartype, VT_I8);
    EXPECT_EQ(ftd(*r, u"HUGE").vartype, VT_R8);
    EXPECT_EQ(ftd(*r, u"F10").vartype, VT_R8);
    for (const t_ftd* f : r->schema()) {
        EXPECT_EQ(f->size, 0u) << n(f->name);
        EXPECT_FALSE(f->b_autoincrement);
        EXPECT_TRUE(f->default_value.is_empty());
    }

    ASSERT_FALSE(r->is_eof());
    const udb_record& row = *r->get_item();
    EXPECT_EQ(field(row, u"P5").i4(), -12345);
    EXPECT_EQ(field(row, u"P4").i2(), 1234);
    EXPECT_EQ(field(row, u"P2").i1(), -12);
    EXPECT_EQ(field(row, u"D").get_type(), VT_DECIMAL);
    EXPECT_EQ(field(row, u"D").to_string(), "12345678.91");
    EXPECT_DOUBLE_EQ(field(row, u"R").r8(), 0.1);
    EXPECT_DOUBLE_EQ(field(row, u"F").r8(), 2.5);
    EXPECT_EQ(field(row, u"S33").to_string(), "0.123");
    EXPECT_EQ(field(row, u"NEG").i4(), 12300);
    // Beyond 32 bits, nothing is cut or wrapped; beyond what a double keeps,
    // nothing is rounded: the digits come as the text they are.
    EXPECT_EQ(field(row, u"BIG").i8(), 5000000000LL);
    EXPECT_EQ(field(row, u"HUGE").bstr(), u"1234567890123456789");
    EXPECT_DOUBLE_EQ(field(row, u"F10").r8(), 3.25);
}

TEST_F(OraTypes, DatesAndTimestampsDecodeToTheSameDateTime) {
    open(
        "CREATE TABLE D(D DATE, TS TIMESTAMP, OLD DATE);"
        "INSERT INTO D VALUES('2012-03-15 13:45:30', '2012-03-15 13:45:30.75',"
        " '1899-12-31 00:00:00');");
    auto r = table(u"D");
    EXPECT_EQ(ftd(*r, u"D").vartype, VT_DATE);
    EXPECT_EQ(ftd(*r, u"D").reserved, 1);
    EXPECT_EQ(ftd(*r, u"D").size, 0u);
    EXPECT_EQ(ftd(*r, u"TS").vartype, VT_DATE);
    ASSERT_FALSE(r->is_eof());
    const udb_record& row = *r->get_item();
    for (const char16_t* name : {u"D", u"TS"}) {
        const udb_field& f = field(row, name);
        ASSERT_EQ(f.get_type(), VT_DATE);
        EXPECT_EQ(f.date().wYear, 2012);
        EXPECT_EQ(f.date().wMonth, 3);
        EXPECT_EQ(f.date().wDay, 15);
        EXPECT_EQ(f.date().wHour, 13);
        EXPECT_EQ(f.date().wMinute, 45);
        EXPECT_EQ(f.date().wSecond, 30);
        EXPECT_EQ(f.to_string(), "2012-03-15 13:45:30");
    }
    // A timestamp keeps its fraction of a second; a DATE has none.
    EXPECT_EQ(field(row, u"D").date_nanosecond(), 0u);
    EXPECT_EQ(field(row, u"TS").date_nanosecond(), 750000000u);
    EXPECT_EQ(field(row, u"TS").date().wMilliseconds, 750);
    EXPECT_EQ(field(row, u"OLD").to_string(), "1899-12-31");
}

TEST_F(OraTypes, TextKeepsBlanksLineBreaksAndLetters) {
    open(
        "CREATE TABLE S(V VARCHAR2(40), C CHAR(5), NV NVARCHAR2(10));"
        "INSERT INTO S VALUES('Zürich ' || char(13) || char(10) || 'Ωμέγα 日本', 'ab   ',"
        " 'Привет');"
        "INSERT INTO S VALUES('', 'x', 'y');");
    auto r = table(u"S");
    EXPECT_EQ(ftd(*r, u"V").vartype, VT_BSTR);
    EXPECT_EQ(ftd(*r, u"V").size, 40u);
    EXPECT_EQ(ftd(*r, u"C").size, 5u);
    ASSERT_FALSE(r->is_eof());
    const udb_record* row = r->get_item();
    EXPECT_EQ(field(*row, u"V").bstr(), u"Zürich \r\nΩμέγα 日本");
    EXPECT_EQ(field(*row, u"C").bstr(), u"ab   ");
    EXPECT_EQ(field(*row, u"NV").bstr(), u"Привет");
    r->next();
    ASSERT_FALSE(r->is_eof());
    row = r->get_item();
    // A shorter value leaves nothing of the longer one before it.
    EXPECT_EQ(field(*row, u"V").get_type(), VT_BSTR);
    EXPECT_EQ(field(*row, u"V").bstr(), u"");
    EXPECT_EQ(field(*row, u"C").bstr(), u"x");
    r->next();
    EXPECT_TRUE(r->is_eof());
}

TEST_F(OraTypes, NullOfEveryDefinedColumnIsAnEmptyValue) {
    open(
        "CREATE TABLE Z(V VARCHAR2(10), N NUMBER(5), D DATE, R RAW(4), C CLOB, B BLOB,"
        " L LONG, LR LONG RAW, F BFILE);"
        "INSERT INTO Z VALUES('x', 1, '2001-02-03', x'01', 'c', x'02', 'l', x'03', 'f');"
        "INSERT INTO Z(F) VALUES(NULL);");
    auto r = table(u"Z");
    ASSERT_FALSE(r->is_eof());
    const udb_record* row = r->get_item();
    for (const udb_field& f : *row) EXPECT_FALSE(f.is_empty()) << n(f.name);
    r->next();
    ASSERT_FALSE(r->is_eof());
    row = r->get_item();
    ASSERT_EQ(row->size(), 9u);
    for (const udb_field& f : *row) {
        if (f.name == u"F") {
            // An unsupported column is never NULL.
            EXPECT_EQ(f.bstr(), u"<unsupported type>");
            continue;
        }
        EXPECT_TRUE(f.is_empty()) << n(f.name);
        EXPECT_EQ(static_cast<uint32_t>(f.size), ftd(*r, f.name).size) << n(f.name);
    }
    EXPECT_EQ(field(*row, u"V").size, 10);
}

TEST_F(OraTypes, UnsupportedColumnIsAFixedText) {
    open(
        "CREATE TABLE U(ID NUMBER(3), F BFILE, BD BINARY_DOUBLE, BF BINARY_FLOAT);"
        "INSERT INTO U VALUES(1, 'a', 0.1, 0.1), (2, NULL, NULL, NULL);");
    auto r = table(u"U");
    const t_ftd& f = ftd(*r, u"F");
    EXPECT_EQ(f.vartype, VT_BSTR);
    EXPECT_EQ(f.size, 18u);
    EXPECT_TRUE(f.b_not_null);
    // The IEEE columns are numbers, kept to the bit.
    EXPECT_EQ(ftd(*r, u"BD").vartype, VT_R8);
    EXPECT_EQ(ftd(*r, u"BF").vartype, VT_R8);
    int rows = 0;
    while (!r->is_eof()) {
        const udb_record& row = *r->get_item();
        EXPECT_EQ(field(row, u"F").bstr(), u"<unsupported type>");
        if (rows == 0) {
            EXPECT_EQ(field(row, u"BD").r8(), 0.1);
            EXPECT_EQ(field(row, u"BF").r8(), static_cast<double>(0.1f));
        } else {
            EXPECT_TRUE(field(row, u"BD").is_empty());
        }
        r->next();
        ++rows;
    }
    EXPECT_EQ(rows, 2);
}

TEST_F(OraTypes, RawIsTrimmedToItsRealLength) {
    open(
        "CREATE TABLE R(R RAW(16));"
        "INSERT INTO R VALUES(x'0102030405060708090A');"
        "INSERT INTO R VALUES(x'FFEE');"
        "INSERT INTO R VALUES(x'');");
    auto r = table(u"R");
    EXPECT_EQ(ftd(*r, u"R").vartype, VT_BLOB);
    EXPECT_EQ(ftd(*r, u"R").size, 16u);
    std::vector<std::vector<uint8_t>> got;
    while (!r->is_eof()) {
        const udb_record& row = *r->get_item();
        if (!row[0].is_empty())
            got.push_back(bytes_of(row[0]));
        r->next();
    }
    ASSERT_GE(got.size(), 2u);
    EXPECT_EQ(got[0], (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
    // Nothing of the longer value before it is handed on.
    EXPECT_EQ(got[1], (std::vector<uint8_t>{0xFF, 0xEE}));
    if (got.size() > 2) {
        EXPECT_TRUE(got[2].empty());
    }
}

TEST_F(OraTypes, LongRawArrivesAsHexAndIsHandedOnAsBytes) {
    open(
        "CREATE TABLE L(LR LONG RAW, LT LONG);"
        "INSERT INTO L VALUES(x'01AB', 'long text');");
    auto r = table(u"L");
    EXPECT_EQ(ftd(*r, u"LR").vartype, VT_BLOB);
    EXPECT_EQ(ftd(*r, u"LR").size, 1000000u);
    EXPECT_EQ(ftd(*r, u"LT").vartype, VT_BSTR);
    EXPECT_EQ(ftd(*r, u"LT").size, 1000000u);
    ASSERT_FALSE(r->is_eof());
    const udb_record& row = *r->get_item();
    EXPECT_EQ(bytes_of(field(row, u"LR")), (std::vector<uint8_t>{0x01, 0xAB}));
    EXPECT_EQ(field(row, u"LT").bstr(), u"long text");
}

TEST_F(OraTypes, ALongRawLongerThanTheBufferIsRefusedNotCut) {
    // 600,000 bytes are 1,200,000 hex digits: the define takes 999,999 of
    // them, and the client says so with the indicator.
    open(
        "CREATE TABLE L(ID NUMBER(2), LR LONG RAW);"
        "INSERT INTO L VALUES(1, zeroblob(600000)), (2, x'01AB');");
    auto r = table(u"L");
    ASSERT_FALSE(r->is_eof());
    try {
        r->get_item();
        FAIL() << "a cut LONG RAW was handed on";
    } catch (const tk_exception& e) {
        EXPECT_NE(std::string(e.what()).find("LR"), std::string::npos) << e.what();
    }
    // The next row is read as usual.
    r->next();
    ASSERT_FALSE(r->is_eof());
    EXPECT_EQ(bytes_of(field(*r->get_item(), u"LR")), (std::vector<uint8_t>{0x01, 0xAB}));
}

TEST_F(OraTypes, LobsAreReadWholeAcrossPieces) {
    // 40,000 Cyrillic letters are 80,000 bytes of UTF-8: three pieces, the
    // letters split across piece borders.
    std::string cyrillic;
    std::u16string expected;
    for (int i = 0; i < 40000; ++i) {
        cyrillic += "Ж";
        expected += u'Ж';
    }
    std::vector<uint8_t> blob(100000);
    std::mt19937 rng(7);
    for (uint8_t& b : blob) b = static_cast<uint8_t>(rng());
    build_db(path("lob.db"),
             "CREATE TABLE B(ID NUMBER(2), C CLOB, NC NCLOB, BL BLOB);"
             "INSERT INTO B VALUES(1, '" +
                 cyrillic +
                 "', 'Grüße', NULL);"
                 "INSERT INTO B VALUES(2, '', 'a' || char(10) || 'b', zeroblob(0));");
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(path("lob.db").c_str(), &db), SQLITE_OK);
        sqlite3_stmt* st = nullptr;
        ASSERT_EQ(sqlite3_prepare_v2(db, "UPDATE B SET BL = ?1 WHERE ID = 1", -1, &st, nullptr),
                  SQLITE_OK);
        sqlite3_bind_blob(st, 1, blob.data(), static_cast<int>(blob.size()), SQLITE_STATIC);
        EXPECT_EQ(sqlite3_step(st), SQLITE_DONE);
        sqlite3_finalize(st);
        sqlite3_close(db);
    }
    db_.reset(engine_->open_db(source("lob.db"), u"SCOTT", u"tiger"));
    auto r = table(u"B");
    EXPECT_EQ(ftd(*r, u"C").vartype, VT_BSTR);
    EXPECT_EQ(ftd(*r, u"NC").vartype, VT_BSTR);
    EXPECT_EQ(ftd(*r, u"BL").vartype, VT_BLOB);
    EXPECT_EQ(ftd(*r, u"C").size, 0u);

    ASSERT_FALSE(r->is_eof());
    const udb_record* row = r->get_item();
    EXPECT_EQ(field(*row, u"C").bstr().size(), expected.size());
    EXPECT_TRUE(field(*row, u"C").bstr() == expected);
    EXPECT_EQ(field(*row, u"NC").bstr(), u"Grüße");
    EXPECT_TRUE(bytes_of(field(*row, u"BL")) == blob);
    r->next();

    ASSERT_FALSE(r->is_eof());
    row = r->get_item();
    // Empty LOBs: an empty text and a byte array of no bytes.
    EXPECT_EQ(field(*row, u"C").get_type(), VT_BSTR);
    EXPECT_EQ(field(*row, u"C").bstr(), u"");
    EXPECT_EQ(field(*row, u"NC").bstr(), u"a\nb");
    EXPECT_EQ(field(*row, u"BL").get_type(), VT_BYTE_ARRAY);
    EXPECT_TRUE(field(*row, u"BL").bytes().empty());
    r->next();
    EXPECT_TRUE(r->is_eof());
}

TEST_F(OraTypes, ExpressionColumnsDescribeByTheirValues) {
    open(
        "CREATE TABLE E(A NUMBER(3), B VARCHAR2(5));"
        "INSERT INTO E VALUES(2, 'x'), (3, 'y');");
    auto r = query(u"SELECT A * 2 AS TWICE, B || '!' AS LOUD FROM E ORDER BY A");
    EXPECT_EQ(ftd(*r, u"TWICE").vartype, VT_R8);
    EXPECT_EQ(ftd(*r, u"LOUD").vartype, VT_BSTR);
    ASSERT_FALSE(r->is_eof());
    const udb_record& row = *r->get_item();
    EXPECT_DOUBLE_EQ(field(row, u"TWICE").r8(), 4.0);
    EXPECT_EQ(field(row, u"LOUD").bstr(), u"x!");
}
