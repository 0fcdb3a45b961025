// The Oracle readers against the embedded provider in its server emulation
// (TSL_OCILITE_EMULATE=server): where a real client and server behave in
// ways a plain SQLite source never shows.
#include <cstdlib>

#include "ORA/ora_oci.h"
#include "ORA/ora_type.h"
#include "ora_fixture.h"

using namespace ora_test;

namespace {

// Sets environment variables for one test; restores their absence after it.
class env_vars {
  public:
    void set(const char* name, const char* value) {
        setenv(name, value, 1);
        names_.push_back(name);
    }
    ~env_vars() {
        for (const char* n : names_) unsetenv(n);
    }

  private:
    std::vector<const char*> names_;
};

class OraEmul : public OraTest {
  protected:
    void SetUp() override {
        OraTest::SetUp();
        env_.set("TSL_OCILITE_EMULATE", "server");
    }

    // The round trips of all logons of the provider's environment so far.
    static ub4 env_roundtrips() {
        ora_oci* oci = ora_load_provider(ora_provider::embedded);
        if (oci == nullptr || oci->env == nullptr)
            return 0;
        ub4 n = 0;
        OCIError* err = ora_engine::instance_ptr() ? ora_engine::instance().err() : nullptr;
        if (err == nullptr)
            return 0;
        EXPECT_EQ(
            oci->OCIAttrGet(oci->env, OCI_HTYPE_ENV, &n, nullptr, TSL_OCI_ATTR_ROUNDTRIPS, err),
            OCI_SUCCESS);
        return n;
    }
    // The round trips of the open connection so far.
    ub4 roundtrips() const {
        ub4 n = 0;
        EXPECT_EQ(engine_->oci()->OCIAttrGet(engine_->svc(), OCI_HTYPE_SVCCTX, &n, nullptr,
                                             TSL_OCI_ATTR_ROUNDTRIPS, engine_->err()),
                  OCI_SUCCESS);
        return n;
    }

    std::u16string text_of(udb_record& row, size_t i) { return row[i].to_wstring(); }

    env_vars env_;
};

}  // namespace

// National columns in a single-byte database keep their text only when the
// define (and the LOB read) asks for the national character set.
TEST_F(OraEmul, NationalColumnsKeepTheirTextInASingleByteDatabase) {
    env_.set("TSL_OCILITE_DB_CHARSET", "WE8MSWIN1252");
    std::string greek;
    for (int i = 0; i < 3000; ++i) greek += "Ωμέγα ";
    open(
        "CREATE TABLE N(NV NVARCHAR2(10), NC NCHAR(5), NL NCLOB, V VARCHAR2(10));"
        "INSERT INTO N VALUES('Жук', 'Жук', '" +
        greek + "', 'Жук');");
    auto r = table(u"N");
    ASSERT_FALSE(r->is_eof());
    udb_record& row = *r->get_item();
    EXPECT_EQ(text_of(row, 0), u"Жук");
    EXPECT_EQ(text_of(row, 1), u"Жук  ");  // NCHAR values are blank-padded
    EXPECT_EQ(text_of(row, 2), w(greek));
    // The database character set itself cannot hold the letters.
    EXPECT_EQ(text_of(row, 3), u"???");
}

// Numbers converted in a session whose decimal character is a comma, and
// in the server's exponent form, keep their values.
TEST_F(OraEmul, NumbersInTheSessionsFormatKeepTheirValues) {
    env_.set("NLS_NUMERIC_CHARACTERS", ",.");
    open(
        "CREATE TABLE N(D NUMBER(10,2), F NUMBER);"
        "INSERT INTO N VALUES(1234.5, 1e100), (-0.25, -2.5e-7);");
    auto r = table(u"N");
    ASSERT_FALSE(r->is_eof());
    udb_record* row = r->get_item();
    EXPECT_EQ((*row)[0].to_double(), 1234.5);
    EXPECT_EQ((*row)[1].to_double(), 1e100);
    r->next();
    ASSERT_FALSE(r->is_eof());
    row = r->get_item();
    EXPECT_EQ((*row)[0].to_double(), -0.25);
    EXPECT_EQ((*row)[1].to_double(), -2.5e-7);
}

// An interval in the server's form is read whole; a value the client had
// to cut is refused with a report instead of handed on cut.
TEST_F(OraEmul, IntervalsAreReadWholeAndCutValuesRefused) {
    open(
        "CREATE TABLE I(ID NUMBER(2), DS \"INTERVAL DAY TO SECOND\", "
        "YM \"INTERVAL YEAR TO MONTH\", S VARCHAR2(4));"
        "INSERT INTO I VALUES(1, '1 2:3:4', '-3-2', 'abcd'),"
        "(2, '12 23:59:59.5', '1-11', 'abcdefgh'), (3, '-0 0:0:1', '0-0', 'x');");
    auto r = table(u"I");
    ASSERT_FALSE(r->is_eof());
    udb_record* row = r->get_item();
    EXPECT_EQ(text_of(*row, 1), u"+01 02:03:04.000000");
    EXPECT_EQ(text_of(*row, 2), u"-03-02");
    r->next();
    ASSERT_FALSE(r->is_eof());
    // "abcdefgh" in a column described as 4 bytes: cut by the client.
    try {
        r->get_item();
        FAIL() << "a cut value was handed on";
    } catch (const tk_exception& e) {
        EXPECT_NE(std::string(e.what()).find("column S"), std::string::npos) << e.what();
    }
    r->next();
    ASSERT_FALSE(r->is_eof());
    row = r->get_item();
    EXPECT_EQ(text_of(*row, 1), u"-00 00:00:01.000000");
    EXPECT_EQ(text_of(*row, 3), u"x");
}

// A streamed LOB read that meets an empty piece while the client still
// answers OCI_NEED_DATA goes on to the end; the connection stays usable.
TEST_F(OraEmul, LobStreamsAreFollowedToTheirEnd) {
    std::string big;
    for (int i = 0; i < 30000; ++i) big += "Жx";  // 90,000 bytes: several pieces
    std::string blob_hex;
    for (int i = 0; i < 70000; ++i) blob_hex += "A5";
    open(
        "CREATE TABLE L(ID NUMBER(2), C CLOB, B BLOB);"
        "INSERT INTO L VALUES(1, '" +
        big + "', x'" + blob_hex + "'), (2, 'tail', x'01');");
    auto r = table(u"L");
    ASSERT_FALSE(r->is_eof());
    udb_record* row = r->get_item();
    EXPECT_EQ(text_of(*row, 1), w(big));
    EXPECT_EQ((*row)[2].bytes().size(), 70000u);
    r->next();
    ASSERT_FALSE(r->is_eof());
    row = r->get_item();
    EXPECT_EQ(text_of(*row, 1), u"tail");
}

// USER_TAB_COLUMNS lists an invisible column that SELECT * leaves out; the
// table is read with the columns of its own describe, defaults included.
TEST_F(OraEmul, InvisibleDictionaryColumnsDoNotBreakTheRead) {
    open(
        "CREATE TABLE T(ID NUMBER(4), NAME VARCHAR2(10) DEFAULT 'abc');"
        "INSERT INTO T VALUES(1, 'x'), (2, 'y');");
    auto r = table(u"T");
    EXPECT_EQ(r->column_count(), 2u);
    EXPECT_EQ(r->records_count(), 2u);
    EXPECT_EQ(r->schema()[1].default_value.bstr(), u"abc");
    ASSERT_FALSE(r->is_eof());
    EXPECT_EQ(text_of(*r->get_item(), 1), u"x");
}

// A user without access to v$version still opens the database, with the
// newest catalog queries.
TEST_F(OraEmul, RefusedVersionViewStillOpens) {
    open("CREATE TABLE T(A NUMBER);");
    EXPECT_TRUE(db_->is_table_exist(u"T"));
    EXPECT_EQ(engine_->get_version(), ora_engine::kVersionUnknown);
}

// Initializing sends nothing to a server: no attach to the default host.
TEST_F(OraEmul, InitializeMakesNoRoundTrip) {
    build_db(path("t.db"), "CREATE TABLE T(A NUMBER);");
    engine_->initialize(source("t.db"));
    const ub4 before = env_roundtrips();
    // A second engine on the same provider environment.
    engine_.reset();
    engine_ = std::make_unique<ora_engine>();
    engine_->initialize(source("t.db"));
    EXPECT_EQ(env_roundtrips(), before);
}

// Rows come a thousand to a round trip, not one; the values are unchanged.
TEST_F(OraEmul, ReadingATableTakesFewRoundTrips) {
    std::string sql =
        "CREATE TABLE R(ID NUMBER(9), T VARCHAR2(20));"
        "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c "
        "WHERE x < 5000) INSERT INTO R SELECT x, 'row ' || x FROM c;";
    open(sql);
    const ub4 before = roundtrips();
    auto r = table(u"R");
    size_t count = 0;
    int64_t sum = 0;
    while (!r->is_eof()) {
        udb_record* row = r->get_item();
        ++count;
        sum += static_cast<int64_t>((*row)[0].to_double());
        r->next();
    }
    EXPECT_EQ(count, 5000u);
    EXPECT_EQ(sum, 5000 * 5001 / 2);
    // Describe, execute, 5 prefetch refills, the defaults and count queries.
    EXPECT_LE(roundtrips() - before, 15u);
}
