#include "UDB/udb_db.h"

#include <gtest/gtest.h>

#include "udb_test_util.h"

namespace {

// The smallest engines: they only fill what the base reads.
class test_database : public udb_database {
  public:
    test_database(bool case_sensitive, std::vector<std::u16string> tables)
        : udb_database(u"test", 1, case_sensitive) {
        table_names_ = std::move(tables);
    }
    udb_recordset* create_table(const std::u16string&, const udb_schema&,
                                const udb_indexes&) override {
        return nullptr;
    }
    udb_recordset* get_table(const std::u16string&, int32_t) override { return nullptr; }
    udb_recordset* get_table(const std::u16string&, const std::u16string&, int32_t) override {
        return nullptr;
    }
    bool test_query(const std::u16string&) override { return true; }
};

class test_recordset : public udb_recordset {
  public:
    explicit test_recordset(const std::u16string& text = u"") : udb_recordset(u"T", text, true) {}
    void append_record(udb_record& record) override { convert_record(record); }
};

TEST(udb_database, table_names_ignore_case_unless_the_engine_is_case_sensitive) {
    test_database loose(false, {u"Orders", u"Ärger", u"Σοφία"});
    EXPECT_TRUE(loose.is_table_exist(u"ORDERS"));
    EXPECT_TRUE(loose.is_table_exist(u"ärger"));
    EXPECT_TRUE(loose.is_table_exist(u"ΣΟΦΊΑ"));
    EXPECT_FALSE(loose.is_table_exist(u"Order"));

    test_database strict(true, {u"Orders", u"Ärger"});
    EXPECT_TRUE(strict.is_table_exist(u"Orders"));
    EXPECT_FALSE(strict.is_table_exist(u"ORDERS"));
    EXPECT_FALSE(strict.is_table_exist(u"ärger"));
}

TEST(udb_database, is_table_exist_traces_each_comparison) {
    test_database db(false, {u"A", u"B", u"C"});
    udb_test::trace_capture log;
    EXPECT_TRUE(db.is_table_exist(u"b"));
    EXPECT_TRUE(log.has_line("udb_database::is_table_exist(b)"));
    EXPECT_TRUE(log.has_line("Compare with A"));
    EXPECT_TRUE(log.has_line("table exists"));
    EXPECT_FALSE(log.has_line("Compare with C"));
    EXPECT_FALSE(db.is_table_exist(u"d"));
    EXPECT_TRUE(log.has_line("table not found"));
}

TEST(udb_database, delete_tab_removes_only_the_first_equal_name) {
    test_database loose(false, {u"Orders", u"x", u"ORDERS", u"y"});
    EXPECT_TRUE(loose.delete_tab(u"orders"));
    EXPECT_EQ(loose.table_names(), (std::vector<std::u16string>{u"x", u"ORDERS", u"y"}));
    EXPECT_TRUE(loose.delete_tab(u"orders"));
    EXPECT_EQ(loose.table_names(), (std::vector<std::u16string>{u"x", u"y"}));

    test_database strict(true, {u"Orders", u"x", u"ORDERS"});
    EXPECT_TRUE(strict.delete_tab(u"ORDERS"));
    EXPECT_EQ(strict.table_names(), (std::vector<std::u16string>{u"Orders", u"x"}));
    EXPECT_UDB_ASSERTION(strict.delete_tab(u"orders"), "udb_db", 44);
}

TEST(udb_database, base_behaviour_of_the_optional_operations) {
    test_database db(false, {});
    EXPECT_UDB_ASSERTION(db.query(u"delete from t"), "udb_db", 70);
    db.hook(3);
    udb_relationships rels;
    db.create_relationships(rels);
    EXPECT_EQ(db.name(), u"test");
    EXPECT_EQ(db.mode(), 1);
    EXPECT_FALSE(db.case_sensitive());
    EXPECT_EQ(db.get_query(u"q", u"select 1", 0), nullptr);
}

TEST(udb_recordset, base_reading_side_is_an_empty_result) {
    test_recordset table;
    test_recordset query(u"select * from t");
    EXPECT_FALSE(table.is_query());
    EXPECT_TRUE(query.is_query());
    EXPECT_EQ(table.get_item(), nullptr);
    EXPECT_TRUE(table.is_eof());
    table.move_first();
    table.next();
    table.move_last();
    EXPECT_TRUE(table.is_eof());
    EXPECT_EQ(table.records_count(), 0u);
    EXPECT_EQ(table.key_index(), -1);
    EXPECT_EQ(table.name(), u"T");
    EXPECT_TRUE(table.schema().owns());
    udb_record rec;
    udb_test::trace_capture log;
    table.update(rec);
    EXPECT_TRUE(log.has_line("udb_recordset::update"));
}

TEST(udb_recordset, add_index_keeps_the_first_key_and_refuses_taken_names) {
    test_recordset rs;
    rs.add_index(udb_index(u"IX_NAME", false, false, {u"NAME"}));
    EXPECT_EQ(rs.key_index(), -1);
    rs.add_index(udb_index(u"PK_T", true, true, {u"ID"}));
    EXPECT_EQ(rs.key_index(), 1);
    rs.add_index(udb_index(u"PK_T2", true, true, {u"ID2"}));
    EXPECT_EQ(rs.key_index(), 1);
    rs.add_index(udb_index(u"UQ_T", true, false, {u"CODE"}));
    EXPECT_EQ(rs.key_index(), 1);
    // Taken in another case: not added at all.
    rs.add_index(udb_index(u"pk_t", false, false, {u"OTHER"}));
    EXPECT_EQ(rs.indexes().size(), 4u);
    EXPECT_EQ(rs.indexes().get_index(u"PK_T").fields, udb_field_names{u"ID"});
}

TEST(udb_recordset, first_unique_index_becomes_the_key) {
    test_recordset rs;
    rs.add_index(udb_index(u"A", false, false, {u"X"}));
    rs.add_index(udb_index(u"B", false, false, {u"Y"}));
    rs.add_index(udb_index(u"UQ", true, false, {u"Z"}));
    EXPECT_EQ(rs.key_index(), 2);
    udb_test::trace_capture log;
    rs.add_index(udb_index(u"PK", true, true, {u"ID"}));
    EXPECT_EQ(rs.key_index(), 2);
    EXPECT_FALSE(log.has_line("Store primary/unique key"));
}

void add_column(udb_recordset& rs, const std::u16string& name, uint16_t vt) {
    rs.schema().add(new t_ftd(10, name, vt, false, false, ole_variant(), 0));
}

TEST(udb_recordset, convert_record_converts_each_value_to_its_column_kind) {
    test_recordset rs;
    add_column(rs, u"ID", VT_I4);
    add_column(rs, u"NAME", VT_BSTR);
    add_column(rs, u"WHEN", VT_DATE);
    add_column(rs, u"NOTE", VT_R8);
    udb_record rec;
    rec.emplace_back(u"id", 4, ole_variant(u"42"));
    rec.emplace_back(u"name", 10, ole_variant(7));
    rec.emplace_back(u"when", 19, ole_variant::null());
    rec.emplace_back(u"note", 8, ole_variant());
    udb_test::trace_capture log;
    rs.append_record(rec);
    EXPECT_EQ(rec[0].get_type(), VT_I4);
    EXPECT_EQ(rec[0].i4(), 42);
    EXPECT_EQ(rec[1].get_type(), VT_BSTR);
    EXPECT_EQ(rec[1].bstr(), u"7");
    EXPECT_EQ(rec[2].get_type(), VT_NULL);
    EXPECT_EQ(rec[3].get_type(), VT_EMPTY);
    EXPECT_TRUE(log.has_line("from=id, to=ID"));
    EXPECT_TRUE(log.has_line("from=note, to=NOTE"));
}

TEST(udb_recordset, null_stays_null_whatever_the_column_kind) {
    const uint16_t kinds[] = {VT_I2,   VT_I4,   VT_R8,      VT_CY, VT_DATE,
                              VT_BSTR, VT_BOOL, VT_DECIMAL, VT_I8, VT_BYTE_ARRAY};
    for (uint16_t vt : kinds) {
        test_recordset rs;
        add_column(rs, u"C", vt);
        udb_record rec;
        rec.emplace_back(u"C", 1, ole_variant::null());
        rs.convert_record(rec);
        EXPECT_EQ(rec[0].get_type(), VT_NULL) << "column kind " << vt;
    }
}

TEST(udb_recordset, failed_conversion_stops_and_keeps_earlier_values_converted) {
    test_recordset rs;
    add_column(rs, u"A", VT_BSTR);
    add_column(rs, u"B", VT_DATE);
    add_column(rs, u"C", VT_BSTR);
    udb_record rec;
    rec.emplace_back(u"A", 4, ole_variant(1));
    rec.emplace_back(u"B", 4, ole_variant(u"not a date"));
    rec.emplace_back(u"C", 4, ole_variant(3));
    EXPECT_THROW(rs.convert_record(rec), ole_cast_exception);
    EXPECT_EQ(rec[0].get_type(), VT_BSTR);
    EXPECT_EQ(rec[1].get_type(), VT_BSTR);
    EXPECT_EQ(rec[1].bstr(), u"not a date");
    EXPECT_EQ(rec[2].get_type(), VT_I4);
}

TEST(udb_recordset, more_values_than_columns_is_an_internal_assertion) {
    test_recordset rs;
    add_column(rs, u"A", VT_I4);
    udb_record rec;
    rec.emplace_back(u"A", 4, ole_variant(1));
    rec.emplace_back(u"B", 4, ole_variant(2));
    try {
        rs.convert_record(rec);
        ADD_FAILURE() << "no internal assertion";
    } catch (const tk_mail_assertion& e) {
        const std::string prefix =
            "Internal error: \ncode=" + tk_mail_assertion::encode_position("udb_db", 0);
        // Same source stem; the line is this file's own.
        EXPECT_EQ(std::string(e.what()).rfind(prefix.substr(0, prefix.size() - 2), 0), 0u);
    }
    EXPECT_EQ(rec[0].get_type(), VT_I4);
}

}  // namespace
