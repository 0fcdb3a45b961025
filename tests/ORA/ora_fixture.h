// Test bed of the Oracle source: small SQLite databases built by the test
// itself (with the SQLite C API, in the test only), read back through the
// embedded provider, which the engine loads with dlopen exactly as it would
// load the Oracle client.
#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "ORA/ora_db.h"
#include "ORA/ora_engi.h"
#include "ORA/ora_tab.h"
#include "TK/tk_utf.h"

namespace ora_test {

// Runs `sql` (any number of statements) on a new database file `path`.
inline void build_db(const std::string& path, const std::string& sql) {
    std::remove(path.c_str());
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    char* message = nullptr;
    const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message);
    const std::string why = message ? message : "";
    sqlite3_free(message);
    sqlite3_close(db);
    ASSERT_EQ(rc, SQLITE_OK) << why;
}

// Runs `sql` on an existing database file behind the provider's back.
inline void exec_db(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    char* message = nullptr;
    const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message);
    const std::string why = message ? message : "";
    sqlite3_free(message);
    sqlite3_close(db);
    ASSERT_EQ(rc, SQLITE_OK) << why;
}

inline std::u16string w(const std::string& s) {
    return tk::utf8_to_utf16(s);
}
inline std::string n(const std::u16string& s) {
    return tk::utf16_to_utf8(s);
}

// One engine per test, and a folder of its own for the database files.
class OraTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "ora_test_XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        engine_ = std::make_unique<ora_engine>();
    }
    void TearDown() override {
        db_.reset();
        engine_.reset();
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

    std::string path(const std::string& file) const { return dir_ + "/" + file; }
    std::u16string source(const std::string& file) const { return w("file:" + path(file)); }

    // Builds `file` from `sql` and logs on to it.
    ora_database& open(const std::string& sql, const std::string& file = "t.db",
                       const std::u16string& user = u"SCOTT") {
        build_db(path(file), sql);
        db_.reset(engine_->open_db(source(file), user, u"tiger"));
        return *db_;
    }

    // A reader over a table or a query of the open database.
    std::unique_ptr<ora_table> table(const std::u16string& name) {
        return std::unique_ptr<ora_table>(static_cast<ora_table*>(db_->get_table(name, 1)));
    }
    std::unique_ptr<ora_table> query(const std::u16string& sql, const std::u16string& name = u"Q") {
        return std::unique_ptr<ora_table>(static_cast<ora_table*>(db_->get_table(name, sql, 1)));
    }

    std::string dir_;
    std::unique_ptr<ora_engine> engine_;
    std::unique_ptr<ora_database> db_;
};

}  // namespace ora_test
