#include "ORA/ora_tab.h"

#include "ora_fixture.h"

using namespace ora_test;

namespace {

// Reads a reader the way the conversion driver does; returns the first
// column of every row as text.
std::vector<std::string> drain(udb_recordset& r) {
    std::vector<std::string> out;
    r.move_first();
    while (!r.is_eof()) {
        udb_record* row = r.get_item();
        if (!row) {
            ADD_FAILURE() << "is_eof said a row was there";
            break;
        }
        out.push_back((*row)[0].to_string());
        r.next();
    }
    return out;
}

// Like drain, going on past the rows the reader refuses: column `col` of
// every row as text, its kind after a '|', or "!" and the refusal's text.
std::vector<std::string> drain_all(udb_recordset& r, size_t col) {
    std::vector<std::string> out;
    auto refused = [&](const udb_record_refused& e) {
        out.push_back("!" + e.message().substr(0, 9));
    };
    r.move_first();
    for (;;) {
        try {
            if (r.is_eof())
                break;
        } catch (const udb_record_refused& e) {
            refused(e);
            continue;
        }
        try {
            const ole_variant& v = (*r.get_item())[col];
            out.push_back(v.to_string() + "|" + std::to_string(v.get_type()));
        } catch (const udb_record_refused& e) {
            refused(e);
        }
        r.next();
    }
    return out;
}

}  // namespace

// ---- default values -------------------------------------------------------

TEST(OraDefaults, QuotedTextsAndNumbersBecomeDefaults) {
    EXPECT_EQ(ora_table::get_def_value(VT_BSTR, u"'abc'").bstr(), u"abc");
    EXPECT_EQ(ora_table::get_def_value(VT_BSTR, u"  'O''Brien'  ").bstr(), u"O'Brien");
    EXPECT_EQ(ora_table::get_def_value(VT_BSTR, u"''").bstr(), u"");
    const ole_variant zero = ora_table::get_def_value(VT_R8, u"0");
    EXPECT_EQ(zero.get_type(), VT_R8);
    EXPECT_EQ(zero.r8(), 0.0);
    const ole_variant seven = ora_table::get_def_value(VT_I4, u"7 ");
    EXPECT_EQ(seven.get_type(), VT_I4);
    EXPECT_EQ(seven.i4(), 7);
}

TEST(OraDefaults, ExpressionsAndDatesGiveNone) {
    EXPECT_TRUE(ora_table::get_def_value(VT_BSTR, u"USER").is_empty());
    EXPECT_TRUE(ora_table::get_def_value(VT_BSTR, u"NULL").is_empty());
    EXPECT_TRUE(ora_table::get_def_value(VT_BSTR, u"'").is_empty());  // one apostrophe: unquoted
    EXPECT_TRUE(ora_table::get_def_value(VT_DATE, u"SYSDATE").is_empty());
    EXPECT_TRUE(ora_table::get_def_value(VT_DATE, u"'2001-01-01 00:00:00'").is_empty());
    EXPECT_TRUE(ora_table::get_def_value(VT_I4, u"   ").is_empty());
}

// ---- readers over the provider ------------------------------------------------------

using OraReader = OraTest;

TEST_F(OraReader, TableHandsOutCountedRowsInOrder) {
    open(
        "CREATE TABLE T(ID NUMBER(4), NAME VARCHAR2(10));"
        "INSERT INTO T VALUES(1,'a'),(2,'b'),(3,'c');");
    auto r = table(u"T");
    EXPECT_EQ(r->records_count(), 3u);
    EXPECT_EQ(r->column_count(), 2u);
    EXPECT_FALSE(r->is_query());
    EXPECT_EQ(r->name(), u"T");
    EXPECT_EQ(drain(*r), (std::vector<std::string>{"1", "2", "3"}));
    EXPECT_EQ(r->rows_read(), 3u);
    // After the end, get_item finds no row.
    EXPECT_EQ(r->get_item(), nullptr);
    EXPECT_TRUE(r->is_eof());
}

TEST_F(OraReader, AValueThatCannotBeReadRefusesItsRowOnly) {
    open(
        "CREATE TABLE D(ID NUMBER(3), D DATE, N NUMBER(2));"
        "INSERT INTO D VALUES(1,'1999-01-01',1),(2,'2024-02-30',2),(3,'',3),(4,'garbage',4),"
        "(5,7,5),(6,'2000-01-01 10:20:30',6),(7,'2000-01-02','12abc'),(8,'2000-01-03',300);");
    auto r = table(u"D");
    EXPECT_EQ(drain_all(*r, 1),
              (std::vector<std::string>{"1999-01-01|7", "!ORA-01847", "!ORA-01861", "!ORA-01861",
                                        "!ORA-00932", "2000-01-01 10:20:30|7", "!ORA-01722",
                                        "2000-01-03|7"}));
    EXPECT_EQ(r->rows_read(), 8u);
    // Read for text, a date column hands on what is no date as it stands.
    std::unique_ptr<udb_recordset> text(db_->get_table(u"D", 1 | udb_dates_as_text));
    EXPECT_EQ(drain_all(*text, 1),
              (std::vector<std::string>{"1999-01-01|7", "2024-02-30|8", "|8", "garbage|8", "7|8",
                                        "2000-01-01 10:20:30|7", "!ORA-01722", "2000-01-03|7"}));
    // Numbers the column's kind cannot hold keep their value as doubles.
    std::unique_ptr<udb_recordset> numbers(db_->get_table(u"D", 1 | udb_dates_as_text));
    EXPECT_EQ(drain_all(*numbers, 2)[7], "3.000000000000000e+02|5");
}

TEST_F(OraReader, RowsDeletedAfterTheCountEndTheReadEarly) {
    open(
        "CREATE TABLE T(ID NUMBER(4));"
        "INSERT INTO T VALUES(1),(2),(3),(4),(5);");
    auto r = table(u"T");
    ASSERT_EQ(r->records_count(), 5u);
    // Two rows go between the count and the read.
    exec_db(path("t.db"), "DELETE FROM T WHERE ID > 3");
    EXPECT_EQ(drain(*r), (std::vector<std::string>{"1", "2", "3"}));
    EXPECT_EQ(r->rows_read(), 3u);
    EXPECT_EQ(r->get_item(), nullptr);
}

TEST_F(OraReader, RowsAddedAfterTheCountAreNotRead) {
    open(
        "CREATE TABLE T(ID NUMBER(4));"
        "INSERT INTO T VALUES(1),(2);");
    auto r = table(u"T");
    exec_db(path("t.db"), "INSERT INTO T VALUES(3)");
    EXPECT_EQ(drain(*r), (std::vector<std::string>{"1", "2"}));
    EXPECT_EQ(r->get_item(), nullptr);
}

TEST_F(OraReader, EmptyTableIsAtItsEndAtOnce) {
    open("CREATE TABLE T(ID NUMBER(4));");
    auto r = table(u"T");
    EXPECT_EQ(r->records_count(), 0u);
    EXPECT_EQ(r->schema().count(), 1u);
    EXPECT_TRUE(r->is_eof());
    EXPECT_EQ(r->get_item(), nullptr);
}

TEST_F(OraReader, DefaultsComeFromTheCatalog) {
    open(
        "CREATE TABLE T(S VARCHAR2(10) DEFAULT 'abc', Q VARCHAR2(10) DEFAULT 'O''Brien',"
        " D DATE DEFAULT CURRENT_TIMESTAMP, N NUMBER DEFAULT 0, P NUMBER(5) DEFAULT 42,"
        " E VARCHAR2(10) DEFAULT NULL, X VARCHAR2(10));");
    auto r = table(u"T");
    const udb_schema& s = r->schema();
    EXPECT_EQ(s.find_field(u"S")->default_value.bstr(), u"abc");
    EXPECT_EQ(s.find_field(u"Q")->default_value.bstr(), u"O'Brien");
    EXPECT_TRUE(s.find_field(u"D")->default_value.is_empty());
    const ole_variant& zero = s.find_field(u"N")->default_value;
    EXPECT_EQ(zero.get_type(), VT_R8);
    EXPECT_EQ(zero.r8(), 0.0);
    const ole_variant& p = s.find_field(u"P")->default_value;
    EXPECT_EQ(p.get_type(), VT_I4);
    EXPECT_EQ(p.i4(), 42);
    EXPECT_TRUE(s.find_field(u"E")->default_value.is_empty());
    EXPECT_TRUE(s.find_field(u"X")->default_value.is_empty());
}

TEST_F(OraReader, NationalColumnsAreSizedInCharacters) {
    open(
        "CREATE TABLE T(NV NVARCHAR2(10), NC NCHAR(4), V VARCHAR2(10));"
        "INSERT INTO T VALUES('Привет мир', 'abcd', 'x');");
    auto r = table(u"T");
    EXPECT_EQ(r->schema().find_field(u"NV")->size, 10u);
    EXPECT_EQ(r->schema().find_field(u"NC")->size, 4u);
    EXPECT_EQ(r->schema().find_field(u"V")->size, 10u);
    ASSERT_FALSE(r->is_eof());
    const udb_record& row = *r->get_item();
    EXPECT_EQ(row[0].size, 10);
    EXPECT_EQ(row[1].size, 4);
    // The buffer keeps its byte size: ten characters still fit.
    EXPECT_EQ(row[0].bstr(), u"Привет мир");
}

TEST_F(OraReader, TableMissingFromTheColumnCatalogIsDescribedByTheServer) {
    // The database brings its own, empty, USER_TAB_COLUMNS.
    open(
        "CREATE TABLE USER_TAB_COLUMNS(TABLE_NAME VARCHAR2(128), COLUMN_NAME VARCHAR2(128),"
        " DATA_DEFAULT LONG, DATA_TYPE VARCHAR2(128));"
        "CREATE TABLE T(A NUMBER(3) DEFAULT 5, B VARCHAR2(4));"
        "INSERT INTO T VALUES(1, 'x');");
    auto r = table(u"T");
    ASSERT_EQ(r->schema().count(), 2u);
    EXPECT_EQ(r->column_count(), 2u);
    EXPECT_TRUE(r->schema()[0].default_value.is_empty());
    EXPECT_EQ(r->records_count(), 1u);
}

TEST_F(OraReader, QueryOfThreeHundredColumnsKeepsThemAll) {
    std::string select = "SELECT ";
    for (int i = 0; i < 300; ++i) {
        if (i)
            select += ", ";
        select += "A + " + std::to_string(i) + " AS C" + std::to_string(i);
    }
    select += " FROM T";
    open("CREATE TABLE T(A NUMBER(5)); INSERT INTO T VALUES(1);");
    auto r = query(w(select));
    EXPECT_TRUE(r->is_query());
    ASSERT_EQ(r->schema().count(), 300u);
    EXPECT_EQ(r->schema()[299].name, u"C299");
    EXPECT_EQ(r->records_count(), 1u);
    ASSERT_FALSE(r->is_eof());
    const udb_record& row = *r->get_item();
    ASSERT_EQ(row.size(), 300u);
    EXPECT_DOUBLE_EQ(row[299].r8(), 300.0);
}

TEST_F(OraReader, QueryCountsItsOwnRows) {
    open("CREATE TABLE T(ID NUMBER(4)); INSERT INTO T VALUES(1),(2),(3),(4);");
    auto r = query(u"SELECT ID FROM T WHERE ID <> 2 ORDER BY ID DESC", u"My query");
    EXPECT_EQ(r->name(), u"My query");
    EXPECT_EQ(r->records_count(), 3u);
    EXPECT_EQ(drain(*r), (std::vector<std::string>{"4", "3", "1"}));
}

TEST_F(OraReader, NoKeysOrRelationshipsAreLoadedDuringARun) {
    open(
        "CREATE TABLE P(ID NUMBER(4) PRIMARY KEY);"
        "CREATE TABLE C(ID NUMBER(4), PID NUMBER(4) REFERENCES P(ID));");
    engine_->running = true;
    auto r = table(u"C");
    EXPECT_TRUE(r->indexes().empty());
    EXPECT_EQ(r->key_index(), -1);
    EXPECT_TRUE(db_->relationships().empty());
}

TEST_F(OraReader, NamesWithQuotesDoNotBreakTheStatements) {
    open(
        "CREATE TABLE \"O'Neil\"(A NUMBER(2) DEFAULT 3); INSERT INTO \"O'Neil\" VALUES(1),(2);"
        "CREATE TABLE \"Say \"\"hi\"\"\"(B VARCHAR2(3) DEFAULT 'x'); INSERT INTO \"Say "
        "\"\"hi\"\"\" "
        "VALUES('y');");
    ASSERT_TRUE(db_->is_table_exist(u"O'NEIL"));
    auto a = table(u"O'NEIL");
    EXPECT_EQ(a->records_count(), 2u);
    EXPECT_EQ(a->schema()[0].default_value.i1(), 3);
    EXPECT_EQ(drain(*a), (std::vector<std::string>{"1", "2"}));
    ASSERT_TRUE(db_->is_table_exist(u"SAY \"HI\""));
    auto b = table(u"SAY \"HI\"");
    EXPECT_EQ(b->records_count(), 1u);
    EXPECT_EQ(b->schema()[0].default_value.bstr(), u"x");
    EXPECT_EQ(drain(*b), (std::vector<std::string>{"y"}));
}

TEST_F(OraReader, CatalogReaderFetchesOnItsOwn) {
    open("CREATE TABLE T(ID NUMBER(4)); INSERT INTO T VALUES(7),(8);");
    ora_query_results q(0, u"SELECT ID FROM T ORDER BY ID");
    EXPECT_EQ(q.column_count(), 1u);
    EXPECT_EQ(q.name(), u"");
    // get_item without is_eof fetches for itself.
    udb_record* row = q.get_item();
    ASSERT_NE(row, nullptr);
    EXPECT_EQ((*row)[0].to_string(), "7");
    EXPECT_FALSE(q.is_eof());
    row = q.get_item();
    ASSERT_NE(row, nullptr);
    EXPECT_EQ((*row)[0].to_string(), "8");
    EXPECT_TRUE(q.is_eof());
    EXPECT_EQ(q.get_item(), nullptr);
    EXPECT_TRUE(q.is_eof());  // stays at its end
}

TEST_F(OraReader, ProgrammingErrorsAreInternalErrors) {
    open("CREATE TABLE T(ID NUMBER(4));");
    ora_query_results q(1, u"SELECT ID FROM T");
    EXPECT_THROW(q.initialize(1, u"SELECT ID FROM T"), tk_mail_assertion);
    udb_record record;
    EXPECT_THROW(q.append_record(record), tk_mail_assertion);
    ora_query_results fresh(u"X", u"SELECT ID FROM T");
    EXPECT_THROW(fresh.is_eof(), tk_mail_assertion);
}

TEST_F(OraReader, FailingOpenRaisesTheServersError) {
    open("CREATE TABLE T(ID NUMBER(4));");
    try {
        query(u"SELECT NOPE FROM T");
        FAIL() << "a query with an unknown column opened";
    } catch (const ora_exception& e) {
        EXPECT_EQ(e.system_error(), 0x100000u + 904u);
    }
    try {
        query(u"SELECT * FROM ABSENT");
        FAIL() << "a query of a missing table opened";
    } catch (const ora_exception& e) {
        EXPECT_EQ(e.system_error(), 0x100000u + 942u);
    }
}
