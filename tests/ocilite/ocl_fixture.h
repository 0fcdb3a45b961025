// Test fixture: a scratch SQLite database built with SQLite directly, and an
// OCI session logged on to it through the provider's functions, in a UTF-16
// environment as the Oracle source uses them.
#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "oci/tsl_oci.h"
#include "ocilite/ocl_text.h"

class ocl_fixture : public ::testing::Test {
  protected:
    void SetUp() override {
        static int serial = 0;
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        path_ = ::testing::TempDir() + "ocl_" + std::to_string(getpid()) + "_" +
                std::to_string(++serial) + "_" + info->name() + ".db";
        std::remove(path_.c_str());
        ASSERT_EQ(OCIEnvCreate(&env_, utf16_ ? OCI_UTF16 : OCI_DEFAULT, nullptr, nullptr, nullptr,
                               nullptr, 0, nullptr),
                  OCI_SUCCESS);
        ASSERT_EQ(
            OCIHandleAlloc(env_, reinterpret_cast<void**>(&err_), OCI_HTYPE_ERROR, 0, nullptr),
            OCI_SUCCESS);
    }

    void TearDown() override {
        if (env_ != nullptr) {
            OCIHandleFree(env_, OCI_HTYPE_ENV);  // frees every handle of the environment
        }
        std::remove(path_.c_str());
    }

    // Builds the database file with `sql` (several statements allowed).
    void make_db(const std::string& sql) {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(path_.c_str(), &db), SQLITE_OK);
        char* msg = nullptr;
        int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &msg);
        std::string text = msg != nullptr ? msg : "";
        sqlite3_free(msg);
        sqlite3_close(db);
        ASSERT_EQ(rc, SQLITE_OK) << text;
    }

    // Text in the environment's encoding; its length in bytes in `len`.
    std::string enc(const std::string& utf8) const {
        if (!utf16_) {
            return utf8;
        }
        std::u16string w = ocl_utf8_to_utf16(utf8);
        return std::string(reinterpret_cast<const char*>(w.data()), w.size() * 2);
    }

    // Text from a buffer in the environment's encoding, `bytes` long.
    std::string dec(const void* p, size_t bytes) const {
        if (!utf16_) {
            return std::string(static_cast<const char*>(p), bytes);
        }
        return ocl_utf16_to_utf8(static_cast<const unsigned char*>(p), bytes / 2);
    }

    // Terminated text from a buffer in the environment's encoding.
    std::string dec_z(const void* p) const {
        if (!utf16_) {
            return std::string(static_cast<const char*>(p));
        }
        const auto* u = static_cast<const char16_t*>(p);
        size_t n = 0;
        while (u[n] != 0) {
            ++n;
        }
        return dec(p, n * 2);
    }

    sword logon(const std::string& user = "scott", const std::string& password = "tiger",
                std::optional<std::string> source = std::nullopt) {
        std::string u = enc(user);
        std::string p = enc(password);
        std::string s = enc(source ? *source : "file:" + path_);
        return OCILogon(env_, err_, &svc_, reinterpret_cast<const OraText*>(u.data()),
                        static_cast<ub4>(u.size()), reinterpret_cast<const OraText*>(p.data()),
                        static_cast<ub4>(p.size()), reinterpret_cast<const OraText*>(s.data()),
                        static_cast<ub4>(s.size()));
    }

    OCIStmt* new_stmt() {
        OCIStmt* st = nullptr;
        EXPECT_EQ(OCIHandleAlloc(env_, reinterpret_cast<void**>(&st), OCI_HTYPE_STMT, 0, nullptr),
                  OCI_SUCCESS);
        return st;
    }

    sword prepare(OCIStmt* st, const std::string& sql) {
        std::string t = enc(sql);
        return OCIStmtPrepare(st, err_, reinterpret_cast<const OraText*>(t.data()),
                              static_cast<ub4>(t.size()), OCI_NTV_SYNTAX, OCI_DEFAULT);
    }

    // Prepares and executes `sql` on a new statement, which it returns
    // (freed with the environment).
    OCIStmt* run(const std::string& sql, ub4 iters = 0, ub4 mode = OCI_DEFAULT,
                 sword* status = nullptr) {
        OCIStmt* st = new_stmt();
        EXPECT_EQ(prepare(st, sql), OCI_SUCCESS);
        sword rc = OCIStmtExecute(svc_, st, err_, iters, 0, nullptr, nullptr, mode);
        if (status != nullptr) {
            *status = rc;
        } else {
            EXPECT_EQ(rc, OCI_SUCCESS) << sql << ": " << error_text();
        }
        return st;
    }

    sb4 error_code() {
        sb4 code = 0;
        char16_t buf[300];
        if (OCIErrorGet(err_, 1, nullptr, &code, reinterpret_cast<OraText*>(buf), sizeof buf,
                        OCI_HTYPE_ERROR) != OCI_SUCCESS) {
            return 0;
        }
        return code;
    }

    std::string error_text() {
        sb4 code = 0;
        alignas(char16_t) unsigned char buf[1024];
        if (OCIErrorGet(err_, 1, nullptr, &code, buf, sizeof buf, OCI_HTYPE_ERROR) != OCI_SUCCESS) {
            return "";
        }
        return dec_z(buf);
    }

    // Every row of a query, every column fetched as text (NULL as nullopt).
    std::vector<std::vector<std::optional<std::string>>> rows(const std::string& sql) {
        std::vector<std::vector<std::optional<std::string>>> out;
        OCIStmt* st = run(sql);
        ub4 count = 0;
        EXPECT_EQ(OCIAttrGet(st, OCI_HTYPE_STMT, &count, nullptr, OCI_ATTR_PARAM_COUNT, err_),
                  OCI_SUCCESS);
        std::vector<std::vector<char16_t>> bufs(count, std::vector<char16_t>(8192));
        std::vector<sb2> inds(count);
        for (ub4 i = 0; i < count; ++i) {
            OCIDefine* d = nullptr;
            EXPECT_EQ(OCIDefineByPos(st, &d, err_, i + 1, bufs[i].data(),
                                     static_cast<sb4>(bufs[i].size() * 2), SQLT_STR, &inds[i],
                                     nullptr, nullptr, OCI_DEFAULT),
                      OCI_SUCCESS);
        }
        sword rc;
        while ((rc = OCIStmtFetch(st, err_, 1, OCI_FETCH_NEXT, OCI_DEFAULT)) == OCI_SUCCESS ||
               rc == OCI_SUCCESS_WITH_INFO) {
            std::vector<std::optional<std::string>> row;
            for (ub4 i = 0; i < count; ++i) {
                if (inds[i] == -1) {
                    row.push_back(std::nullopt);
                } else {
                    row.push_back(dec_z(bufs[i].data()));
                }
            }
            out.push_back(std::move(row));
        }
        EXPECT_EQ(rc, OCI_NO_DATA) << error_text();
        OCIHandleFree(st, OCI_HTYPE_STMT);
        return out;
    }

    // The describe of column `pos` (1-based) of an executed statement.
    OCIParam* param(OCIStmt* st, ub4 pos) {
        OCIParam* p = nullptr;
        EXPECT_EQ(OCIParamGet(st, OCI_HTYPE_STMT, err_, reinterpret_cast<void**>(&p), pos),
                  OCI_SUCCESS);
        return p;
    }

    template <class T>
    T attr(OCIParam* p, ub4 which) {
        T value{};
        EXPECT_EQ(OCIAttrGet(p, OCI_DTYPE_PARAM, &value, nullptr, which, err_), OCI_SUCCESS);
        return value;
    }

    std::string name_of(OCIParam* p) {
        void* text = nullptr;
        ub4 len = 0;
        EXPECT_EQ(OCIAttrGet(p, OCI_DTYPE_PARAM, &text, &len, OCI_ATTR_NAME, err_), OCI_SUCCESS);
        return dec(text, len);
    }

    bool utf16_ = true;
    std::string path_;
    OCIEnv* env_ = nullptr;
    OCIError* err_ = nullptr;
    OCISvcCtx* svc_ = nullptr;
};
