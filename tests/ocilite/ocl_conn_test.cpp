// Data sources and logons.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <thread>

#include "ocilite/ocl_fixture.h"

class ocl_conn_api : public ocl_fixture {};

TEST_F(ocl_conn_api, AMissingDatabaseIsNotCreated) {
    EXPECT_EQ(logon("scott", "tiger", "file:" + path_), OCI_ERROR);
    EXPECT_EQ(error_code(), 12154);
    EXPECT_EQ(error_text(), "ORA-12154: TNS:could not resolve the connect identifier specified\n");
    struct stat info;
    EXPECT_NE(stat(path_.c_str(), &info), 0);
    // Not even when the URI asks for it: the source is opened read-only.
    EXPECT_EQ(logon("scott", "tiger", "file:" + path_ + "?mode=rwc"), OCI_ERROR);
    EXPECT_EQ(error_code(), 20000);
    EXPECT_NE(stat(path_.c_str(), &info), 0);
    EXPECT_EQ(logon("scott", "tiger", ""), OCI_ERROR);
    EXPECT_EQ(error_code(), 12154);
}

TEST_F(ocl_conn_api, AFileThatIsNoDatabaseIsRefused) {
    {
        std::ofstream f(path_);
        f << "this is not a database, but a text file long enough to be read as a header......"
             "................................................................................";
    }
    EXPECT_EQ(logon(), OCI_ERROR);
    // SQLite's own reason, not "could not resolve".
    EXPECT_EQ(error_code(), 20000);
    EXPECT_NE(error_text().find("file is not a database"), std::string::npos) << error_text();
}

TEST_F(ocl_conn_api, NothingAStatementSaysChangesTheDatabase) {
    make_db("CREATE TABLE T (A NUMBER); INSERT INTO T VALUES (1);");
    ASSERT_EQ(logon(), OCI_SUCCESS);
    for (const char* sql : {"PRAGMA journal_mode=WAL", "PRAGMA user_version=7",
                            "UPDATE T SET A = 2", "CREATE TABLE U (B NUMBER)"}) {
        sword rc;
        run(sql, 1, OCI_DEFAULT, &rc);
    }
    ASSERT_EQ(OCILogoff(svc_, err_), OCI_SUCCESS);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path_.c_str(), &db), SQLITE_OK);
    auto text = [&](const char* sql) {
        sqlite3_stmt* st = nullptr;
        std::string out;
        if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) == SQLITE_OK &&
            sqlite3_step(st) == SQLITE_ROW)
            out = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
        sqlite3_finalize(st);
        return out;
    };
    EXPECT_EQ(text("PRAGMA journal_mode"), "delete");
    EXPECT_EQ(text("PRAGMA user_version"), "0");
    EXPECT_EQ(text("SELECT group_concat(A) FROM T"), "1");
    EXPECT_EQ(text("SELECT count(*) FROM sqlite_master"), "1");
    sqlite3_close(db);
}

TEST_F(ocl_conn_api, AWalDatabaseIsRead) {
    make_db("PRAGMA journal_mode=WAL; CREATE TABLE T (A NUMBER); INSERT INTO T VALUES (5);");
    ASSERT_EQ(logon(), OCI_SUCCESS);
    EXPECT_EQ(rows("SELECT A FROM T")[0][0], "5");
}

TEST_F(ocl_conn_api, ALockedDatabaseIsWaitedFor) {
    make_db("CREATE TABLE T (A NUMBER); INSERT INTO T VALUES (1);");
    sqlite3* writer = nullptr;
    ASSERT_EQ(sqlite3_open(path_.c_str(), &writer), SQLITE_OK);
    ASSERT_EQ(
        sqlite3_exec(writer, "BEGIN EXCLUSIVE; UPDATE T SET A = 3;", nullptr, nullptr, nullptr),
        SQLITE_OK);
    std::thread release([writer] {
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        sqlite3_exec(writer, "COMMIT", nullptr, nullptr, nullptr);
    });
    const sword rc = logon();
    release.join();
    sqlite3_close(writer);
    ASSERT_EQ(rc, OCI_SUCCESS) << error_text();
    EXPECT_EQ(rows("SELECT A FROM T")[0][0], "3");
}

TEST_F(ocl_conn_api, PlainPathsAndReadOnlyUris) {
    make_db("CREATE TABLE T (A NUMBER); INSERT INTO T VALUES (1);");
    ASSERT_EQ(logon("scott", "tiger", path_), OCI_SUCCESS);
    ASSERT_EQ(OCILogoff(svc_, err_), OCI_SUCCESS);
    ASSERT_EQ(logon("scott", "tiger", "file:" + path_ + "?mode=ro"), OCI_SUCCESS);
    EXPECT_EQ(rows("SELECT A FROM T")[0][0], "1");
    sword rc;
    run("INSERT INTO T VALUES (2)", 1, OCI_DEFAULT, &rc);
    EXPECT_EQ(rc, OCI_ERROR);
    EXPECT_EQ(error_code(), 16000);
}

TEST_F(ocl_conn_api, WithoutAUserTableAnyoneLogsOn) {
    make_db("CREATE TABLE T (A NUMBER);");
    EXPECT_EQ(logon("anyone", "anything"), OCI_SUCCESS);
    ASSERT_EQ(OCILogoff(svc_, err_), OCI_SUCCESS);
    EXPECT_EQ(logon("", ""), OCI_SUCCESS);
}

TEST_F(ocl_conn_api, TheUserTableDecidesWhoLogsOn) {
    make_db(
        "CREATE TABLE tsl_users (USERNAME VARCHAR2(30), PASSWORD VARCHAR2(30), LOCKED NUMBER(1));"
        "INSERT INTO tsl_users VALUES ('SCOTT', 'tiger', 0);"
        "INSERT INTO tsl_users VALUES ('old', 'pw', 1);");
    EXPECT_EQ(logon("scott", "Tiger"), OCI_ERROR);  // passwords are case-sensitive
    EXPECT_EQ(error_code(), 1017);
    EXPECT_EQ(error_text(), "ORA-01017: invalid username/password; logon denied\n");
    EXPECT_EQ(logon("nobody", "tiger"), OCI_ERROR);
    EXPECT_EQ(error_code(), 1017);
    EXPECT_EQ(logon("scott", ""), OCI_ERROR);
    EXPECT_EQ(error_code(), 1005);
    EXPECT_EQ(logon("OLD", "pw"), OCI_ERROR);
    EXPECT_EQ(error_code(), 28000);
    EXPECT_EQ(logon("old", "wrong"), OCI_ERROR);
    EXPECT_EQ(error_code(), 1017);                    // a wrong password does not reveal the lock
    EXPECT_EQ(logon("Scott", "tiger"), OCI_SUCCESS);  // user names ignore case
    // The user table is not part of the listed schema.
    EXPECT_TRUE(rows("select TABLE_NAME from user_tables").empty());
}

TEST_F(ocl_conn_api, AUserTableWithoutTheLockColumn) {
    make_db(
        "CREATE TABLE TSL_USERS (USERNAME, PASSWORD); INSERT INTO TSL_USERS VALUES ('a', 1234);");
    EXPECT_EQ(logon("a", "1234"), OCI_SUCCESS);  // a number compares as its text
}

TEST_F(ocl_conn_api, LogonUsesTheGivenServiceContextOrMakesOne) {
    make_db("CREATE TABLE T (A NUMBER);");
    OCIServer* srv = nullptr;
    OCISvcCtx* given = nullptr;
    ASSERT_EQ(OCIHandleAlloc(env_, reinterpret_cast<void**>(&srv), OCI_HTYPE_SERVER, 52, nullptr),
              OCI_SUCCESS);
    ASSERT_EQ(OCIServerAttach(srv, err_, reinterpret_cast<const OraText*>(u""), 0, 0), OCI_SUCCESS);
    ASSERT_EQ(OCIHandleAlloc(env_, reinterpret_cast<void**>(&given), OCI_HTYPE_SVCCTX, 0, nullptr),
              OCI_SUCCESS);
    ASSERT_EQ(OCIAttrSet(given, OCI_HTYPE_SVCCTX, srv, 0, OCI_ATTR_SERVER, err_), OCI_SUCCESS);
    OCIServer* back = nullptr;
    ASSERT_EQ(OCIAttrGet(given, OCI_HTYPE_SVCCTX, &back, nullptr, OCI_ATTR_SERVER, err_),
              OCI_SUCCESS);
    EXPECT_EQ(back, srv);
    svc_ = given;
    ASSERT_EQ(logon(), OCI_SUCCESS);
    EXPECT_EQ(svc_, given);
    // Logged on already: a second logon gets a service context of its own.
    ASSERT_EQ(logon(), OCI_SUCCESS);
    EXPECT_NE(svc_, given);
    // An uninitialised pointer is never followed.
    svc_ = reinterpret_cast<OCISvcCtx*>(0x10);
    ASSERT_EQ(logon(), OCI_SUCCESS);
    EXPECT_NE(svc_, reinterpret_cast<OCISvcCtx*>(0x10));
    EXPECT_EQ(OCILogoff(given, err_), OCI_SUCCESS);
    EXPECT_EQ(OCIServerDetach(srv, err_, OCI_DEFAULT), OCI_SUCCESS);
    EXPECT_EQ(OCIHandleFree(given, OCI_HTYPE_SVCCTX), OCI_SUCCESS);
    EXPECT_EQ(OCIHandleFree(srv, OCI_HTYPE_SERVER), OCI_SUCCESS);
}

TEST_F(ocl_conn_api, HandlesCarryTheExtraMemoryAskedFor) {
    void* extra = nullptr;
    OCIServer* srv = nullptr;
    ASSERT_EQ(OCIHandleAlloc(env_, reinterpret_cast<void**>(&srv), OCI_HTYPE_SERVER, 52, &extra),
              OCI_SUCCESS);
    ASSERT_NE(extra, nullptr);
    std::memset(extra, 0xAB, 52);  // the memory is the caller's to use
    EXPECT_EQ(OCIHandleFree(srv, OCI_HTYPE_SERVER), OCI_SUCCESS);
}
