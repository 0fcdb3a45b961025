/* ABI test of the embedded provider: loads libtsl_ocilite.so with dlopen,
 * resolves the OCI functions by name and drives them from plain C the way
 * the Oracle source does (UTF-16 environment, lengths in bytes).
 *
 *   abi_test <path of libtsl_ocilite.so> <scratch folder>
 *
 * Prints "N passed, N failed" and exits nonzero when a check failed. */
#include <dlfcn.h>
#include <sqlite3.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "oci/tsl_oci.h"

static int passed = 0;
static int failed = 0;

#define CHECK(cond)                                                            \
    do {                                                                       \
        if (cond) {                                                            \
            ++passed;                                                          \
        } else {                                                               \
            ++failed;                                                          \
            fprintf(stderr, "%s:%d: failed: %s\n", __FILE__, __LINE__, #cond); \
        }                                                                      \
    } while (0)

/* The function table, filled with dlsym. */
#define DECLARE_POINTER(f) static f##_fn p_##f;
TSL_OCI_FUNCTIONS(DECLARE_POINTER)

static OCIEnv* env;
static OCIError* err;
static OCIServer* srv;
static OCISvcCtx* svc;

/* ASCII text as UTF-16 in `out` (room for 512 units); returns its length in bytes. */
static ub4 w(const char* s, ub2* out) {
    size_t n = strlen(s);
    for (size_t i = 0; i < n; ++i) {
        out[i] = (unsigned char)s[i];
    }
    out[n] = 0;
    return (ub4)(n * 2);
}

/* UTF-16 text (terminated) to ASCII with '?' for the rest. */
static void narrow(const ub2* s, char* out, size_t cap) {
    size_t i = 0;
    for (; s[i] != 0 && i + 1 < cap; ++i) {
        out[i] = s[i] < 128 ? (char)s[i] : '?';
    }
    out[i] = 0;
}

static sb4 last_error(char* text, size_t cap) {
    sb4 code = 0;
    ub2 buf[256];
    buf[0] = 0;
    if (p_OCIErrorGet(err, 1, NULL, &code, (OraText*)buf, sizeof buf, OCI_HTYPE_ERROR) !=
        OCI_SUCCESS) {
        return 0;
    }
    narrow(buf, text, cap);
    return code;
}

static sword prepare(OCIStmt* st, const char* sql) {
    static ub2 text[2048];
    size_t n = strlen(sql);
    for (size_t i = 0; i < n; ++i) {
        text[i] = (unsigned char)sql[i];
    }
    return p_OCIStmtPrepare(st, err, (OraText*)text, (ub4)(n * 2), OCI_NTV_SYNTAX, OCI_DEFAULT);
}

static OCIStmt* new_stmt(void) {
    OCIStmt* st = NULL;
    p_OCIHandleAlloc(env, (void**)&st, OCI_HTYPE_STMT, 0, NULL);
    return st;
}

/* Runs a statement without result rows. */
static sword run(const char* sql) {
    OCIStmt* st = new_stmt();
    sword rc = prepare(st, sql);
    if (rc == OCI_SUCCESS) {
        rc = p_OCIStmtExecute(svc, st, err, 1, 0, NULL, NULL, OCI_DEFAULT);
    }
    p_OCIHandleFree(st, OCI_HTYPE_STMT);
    return rc;
}

static sword logon(const char* source) {
    ub2 user[512], pw[512], db[512];
    ub4 ul = w("scott", user);
    ub4 pl = w("tiger", pw);
    ub4 dl = w(source, db);
    return p_OCILogon(env, err, &svc, (OraText*)user, ul, (OraText*)pw, pl, (OraText*)db, dl);
}

static char db_path[1024];

static void test_connect(const char* dir) {
    char source[1024];
    char text[512];
    CHECK(p_OCIEnvCreate(&env, OCI_UTF16, NULL, NULL, NULL, NULL, 0, NULL) == OCI_SUCCESS);
    void* extra = NULL;
    CHECK(p_OCIHandleAlloc(env, (void**)&err, OCI_HTYPE_ERROR, 52, &extra) == OCI_SUCCESS);
    CHECK(extra != NULL);
    CHECK(p_OCIHandleAlloc(env, (void**)&srv, OCI_HTYPE_SERVER, 52, &extra) == OCI_SUCCESS);
    ub2 empty[1] = {0};
    CHECK(p_OCIServerAttach(srv, err, (OraText*)empty, 0, 0) == OCI_SUCCESS);
    CHECK(p_OCIHandleAlloc(env, (void**)&svc, OCI_HTYPE_SVCCTX, 0, NULL) == OCI_SUCCESS);
    CHECK(p_OCIAttrSet(svc, OCI_HTYPE_SVCCTX, srv, 0, OCI_ATTR_SERVER, err) == OCI_SUCCESS);

    /* A data source whose file does not exist is not created. */
    snprintf(source, sizeof source, "file:%s/missing.db", dir);
    CHECK(logon(source) == OCI_ERROR);
    CHECK(last_error(text, sizeof text) == 12154);
    CHECK(strncmp(text, "ORA-12154: ", 11) == 0);
    snprintf(source, sizeof source, "%s/missing.db", dir);
    CHECK(access(source, F_OK) != 0);

    /* An empty file is an empty database. */
    snprintf(source, sizeof source, "%s/abi.db", dir);
    FILE* f = fopen(source, "wb");
    CHECK(f != NULL);
    if (f != NULL) {
        fclose(f);
    }
    snprintf(source, sizeof source, "file:%s/abi.db", dir);
    CHECK(logon(source) == OCI_SUCCESS);
    snprintf(db_path, sizeof db_path, "%s/abi.db", dir);
}

/* The provider only reads: the schema is built behind its back, and the
   session sees it at the next statement. Writing through it fails. */
static void test_schema(void) {
    sqlite3* db = NULL;
    CHECK(sqlite3_open(db_path, &db) == SQLITE_OK);
    CHECK(sqlite3_exec(db,
                       "CREATE TABLE T (ID NUMBER(5) NOT NULL, NAME VARCHAR2(10), "
                       "NNAME NVARCHAR2(10), D DATE, R RAW(4), C CLOB, B BLOB);"
                       "INSERT INTO T VALUES (1, 'one', 'uno', '2012-03-15 13:45:30', X'01AB', "
                       "'0123456789abcdefghij', X'000102030405060708090A');"
                       "INSERT INTO T VALUES (2, NULL, NULL, NULL, NULL, NULL, NULL);"
                       "CREATE VIEW V AS SELECT ID, NAME FROM T;",
                       NULL, NULL, NULL) == SQLITE_OK);
    sqlite3_close(db);
    CHECK(run("INSERT INTO T VALUES (3, NULL, NULL, NULL, NULL, NULL, NULL)") == OCI_ERROR);
}

static void test_describe(void) {
    OCIStmt* st = new_stmt();
    CHECK(prepare(st, "SELECT * FROM \"T\"") == OCI_SUCCESS);
    CHECK(p_OCIStmtExecute(svc, st, err, 0, 0, NULL, NULL, OCI_DEFAULT) == OCI_SUCCESS);
    ub4 count = 0;
    CHECK(p_OCIAttrGet(st, OCI_HTYPE_STMT, &count, NULL, OCI_ATTR_PARAM_COUNT, err) == OCI_SUCCESS);
    CHECK(count == 7);
    static const ub2 types[7] = {SQLT_NUM, SQLT_CHR,  SQLT_CHR, SQLT_DAT,
                                 SQLT_BIN, SQLT_CLOB, SQLT_BLOB};
    for (ub4 i = 1; i <= count && i <= 7; ++i) {
        OCIParam* p = NULL;
        CHECK(p_OCIParamGet(st, OCI_HTYPE_STMT, err, (void**)&p, i) == OCI_SUCCESS);
        ub2 type = 0;
        CHECK(p_OCIAttrGet(p, OCI_DTYPE_PARAM, &type, NULL, OCI_ATTR_DATA_TYPE, err) ==
              OCI_SUCCESS);
        CHECK(type == types[i - 1]);
        if (i == 1) {
            ub2* name = NULL;
            ub4 len = 0;
            CHECK(p_OCIAttrGet(p, OCI_DTYPE_PARAM, &name, &len, OCI_ATTR_NAME, err) == OCI_SUCCESS);
            CHECK(len == 4 && name != NULL && name[0] == 'I' && name[1] == 'D');
            int precision = 0;
            sb1 scale = -1;
            ub1 nullable = 1;
            p_OCIAttrGet(p, OCI_DTYPE_PARAM, &precision, NULL, OCI_ATTR_PRECISION, err);
            p_OCIAttrGet(p, OCI_DTYPE_PARAM, &scale, NULL, OCI_ATTR_SCALE, err);
            p_OCIAttrGet(p, OCI_DTYPE_PARAM, &nullable, NULL, OCI_ATTR_IS_NULL, err);
            CHECK(precision == 5 && scale == 0 && nullable == 0);
        }
        if (i == 3) {
            ub2 size = 0;
            CHECK(p_OCIAttrGet(p, OCI_DTYPE_PARAM, &size, NULL, OCI_ATTR_DATA_SIZE, err) ==
                  OCI_SUCCESS);
            CHECK(size == 20); /* NVARCHAR2(10): two bytes per character */
        }
    }
    p_OCIHandleFree(st, OCI_HTYPE_STMT);
}

static void test_fetch(void) {
    OCIStmt* st = new_stmt();
    OCIDefine* def[7] = {0};
    int id = 0;
    ub2 name[11];
    ub1 date[7];
    ub1 raw[4];
    ub2 raw_len = 0;
    OCILobLocator* clob = NULL;
    OCILobLocator* blob = NULL;
    sb2 ind[7];
    CHECK(p_OCIDescriptorAlloc(env, (void**)&clob, OCI_DTYPE_LOB, 0, NULL) == OCI_SUCCESS);
    CHECK(p_OCIDescriptorAlloc(env, (void**)&blob, OCI_DTYPE_LOB, 0, NULL) == OCI_SUCCESS);
    CHECK(prepare(st, "SELECT ID, NAME, D, R, C, B FROM T ORDER BY ID") == OCI_SUCCESS);
    CHECK(p_OCIDefineByPos(st, &def[0], err, 1, &id, 4, SQLT_INT, &ind[0], NULL, NULL, 0) == 0);
    CHECK(p_OCIDefineByPos(st, &def[1], err, 2, name, sizeof name, SQLT_STR, &ind[1], NULL, NULL,
                           0) == 0);
    CHECK(p_OCIDefineByPos(st, &def[2], err, 3, date, 7, SQLT_DAT, &ind[2], NULL, NULL, 0) == 0);
    CHECK(p_OCIDefineByPos(st, &def[3], err, 4, raw, 4, SQLT_BIN, &ind[3], &raw_len, NULL, 0) == 0);
    CHECK(p_OCIDefineByPos(st, &def[4], err, 5, &clob, -1, SQLT_CLOB, &ind[4], NULL, NULL, 0) == 0);
    CHECK(p_OCIDefineByPos(st, &def[5], err, 6, &blob, -1, SQLT_BLOB, &ind[5], NULL, NULL, 0) == 0);
    CHECK(p_OCIStmtExecute(svc, st, err, 0, 0, NULL, NULL, OCI_DEFAULT) == OCI_SUCCESS);

    CHECK(p_OCIStmtFetch(st, err, 1, OCI_FETCH_NEXT, OCI_DEFAULT) == OCI_SUCCESS);
    CHECK(id == 1);
    char text[64];
    narrow(name, text, sizeof text);
    CHECK(ind[1] == 0 && strcmp(text, "one") == 0);
    static const ub1 expected_date[7] = {120, 112, 3, 15, 14, 46, 31};
    CHECK(memcmp(date, expected_date, 7) == 0);
    CHECK(raw_len == 2 && raw[0] == 0x01 && raw[1] == 0xAB);

    /* CLOB in pieces of 8 bytes, as AL32UTF8 */
    ub1 csfrm = 0;
    CHECK(p_OCILobCharSetForm(env, err, clob, &csfrm) == OCI_SUCCESS && csfrm == SQLCS_IMPLICIT);
    char piece[8];
    char whole[64] = "";
    ub4 amount = 0;
    sword rc =
        p_OCILobRead(svc, err, clob, &amount, 1, piece, sizeof piece, NULL, NULL, 873, csfrm);
    int pieces = 0;
    while (rc == OCI_NEED_DATA || (rc == OCI_SUCCESS && amount > 0)) {
        strncat(whole, piece, amount);
        ++pieces;
        if (rc == OCI_SUCCESS) {
            break;
        }
        amount = 0;
        rc = p_OCILobRead(svc, err, clob, &amount, 1, piece, sizeof piece, NULL, NULL, 873, csfrm);
    }
    CHECK(pieces == 3);
    CHECK(strcmp(whole, "0123456789abcdefghij") == 0);

    /* BLOB from offset 5, 4 bytes */
    ub1 bytes[16];
    amount = 4;
    CHECK(p_OCILobRead(svc, err, blob, &amount, 5, bytes, sizeof bytes, NULL, NULL, 0, 0) ==
          OCI_SUCCESS);
    CHECK(amount == 4 && bytes[0] == 4 && bytes[3] == 7);
    amount = 0;
    CHECK(p_OCILobRead(svc, err, blob, &amount, 12, bytes, sizeof bytes, NULL, NULL, 0, 0) ==
          OCI_NO_DATA);
    CHECK(amount == 0);

    /* the row of NULLs */
    CHECK(p_OCIStmtFetch(st, err, 1, OCI_FETCH_NEXT, OCI_DEFAULT) == OCI_SUCCESS);
    CHECK(id == 2);
    CHECK(ind[1] == -1 && ind[2] == -1 && ind[3] == -1 && ind[4] == -1 && ind[5] == -1);
    CHECK(p_OCIStmtFetch(st, err, 1, OCI_FETCH_NEXT, OCI_DEFAULT) == OCI_NO_DATA);
    CHECK(p_OCIStmtFetch(st, err, 1, OCI_FETCH_NEXT, OCI_DEFAULT) == OCI_NO_DATA);

    p_OCIHandleFree(def[0], OCI_HTYPE_DEFINE);
    p_OCIHandleFree(st, OCI_HTYPE_STMT);
    CHECK(p_OCIDescriptorFree(clob, OCI_DTYPE_LOB) == OCI_SUCCESS);
    CHECK(p_OCIDescriptorFree(blob, OCI_DTYPE_LOB) == OCI_SUCCESS);
}

/* One-row queries of the catalog, as the Oracle source sends them. */
static void test_catalog(void) {
    OCIStmt* st = new_stmt();
    OCIDefine* def = NULL;
    ub2 banner[1024];
    sb2 ind = 0;
    CHECK(prepare(st, "select * from v$version") == OCI_SUCCESS);
    CHECK(p_OCIDefineByPos(st, &def, err, 1, banner, sizeof banner, SQLT_STR, &ind, NULL, NULL,
                           0) == OCI_SUCCESS);
    CHECK(p_OCIStmtExecute(svc, st, err, 1, 0, NULL, NULL, OCI_DEFAULT) == OCI_SUCCESS);
    char text[1024];
    narrow(banner, text, sizeof text);
    int major = 0, minor = 0, release = 0;
    const char* piece = strstr(text, " 1");
    CHECK(piece != NULL && sscanf(piece + 1, "%d.%d.%d", &major, &minor, &release) == 3);
    CHECK(major >= 8);

    int count = -1;
    CHECK(prepare(st, "SELECT COUNT(*) FROM \"T\"") == OCI_SUCCESS);
    CHECK(p_OCIDefineByPos(st, &def, err, 1, &count, 4, SQLT_INT, &ind, NULL, NULL, 0) == 0);
    CHECK(p_OCIStmtExecute(svc, st, err, 1, 0, NULL, NULL, OCI_DEFAULT) == OCI_SUCCESS);
    CHECK(count == 2);

    ub2 table[256];
    CHECK(prepare(st,
                  "select TABLE_NAME, IOT_TYPE from user_tables where TEMPORARY='N' and "
                  "NESTED='NO' and IOT_TYPE IS NULL OR IOT_TYPE='IOT'") == OCI_SUCCESS);
    CHECK(p_OCIDefineByPos(st, &def, err, 1, table, sizeof table, SQLT_STR, &ind, NULL, NULL, 0) ==
          OCI_SUCCESS);
    CHECK(p_OCIStmtExecute(svc, st, err, 1, 0, NULL, NULL, OCI_DEFAULT) == OCI_SUCCESS);
    narrow(table, text, sizeof text);
    CHECK(strcmp(text, "T") == 0);
    CHECK(p_OCIStmtFetch(st, err, 1, OCI_FETCH_NEXT, OCI_DEFAULT) == OCI_NO_DATA);

    CHECK(prepare(st, "select VIEW_NAME, TEXT from SYS.ALL_VIEWS WHERE OWNER='SCOTT'") ==
          OCI_SUCCESS);
    CHECK(p_OCIDefineByPos(st, &def, err, 1, table, sizeof table, SQLT_STR, &ind, NULL, NULL, 0) ==
          OCI_SUCCESS);
    CHECK(p_OCIStmtExecute(svc, st, err, 1, 0, NULL, NULL, OCI_DEFAULT) == OCI_SUCCESS);
    narrow(table, text, sizeof text);
    CHECK(strcmp(text, "V") == 0);
    p_OCIHandleFree(st, OCI_HTYPE_STMT);
}

static void expect_error(const char* sql, ub4 mode, sb4 number) {
    OCIStmt* st = new_stmt();
    char text[512];
    prepare(st, sql);
    CHECK(p_OCIStmtExecute(svc, st, err, mode == OCI_PARSE_ONLY ? 1 : 0, 0, NULL, NULL, mode) ==
          OCI_ERROR);
    sb4 code = last_error(text, sizeof text);
    CHECK(code == number);
    if (code != number) {
        fprintf(stderr, "  %s -> %d %s\n", sql, code, text);
    }
    p_OCIHandleFree(st, OCI_HTYPE_STMT);
}

static void test_errors(void) {
    char text[512];
    expect_error("SELECT * FROM NO_SUCH_TABLE", OCI_DEFAULT, 942);
    last_error(text, sizeof text);
    CHECK(strcmp(text, "ORA-00942: table or view does not exist\n") == 0);
    expect_error("SELECT NO_SUCH_COLUMN FROM T", OCI_DEFAULT, 904);
    expect_error("SELECT * FROM T WHERE", OCI_PARSE_ONLY, 921);
    expect_error("SELEKT * FROM T", OCI_PARSE_ONLY, 900);
    expect_error("SELECT * FROM T T2 T3", OCI_PARSE_ONLY, 933);

    OCIStmt* st = new_stmt();
    prepare(st, "SELECT * FROM T");
    CHECK(p_OCIStmtExecute(svc, st, err, 1, 0, NULL, NULL, OCI_PARSE_ONLY) == OCI_SUCCESS);
    p_OCIHandleFree(st, OCI_HTYPE_STMT);

    CHECK(p_OCIHandleFree(NULL, OCI_HTYPE_STMT) == OCI_INVALID_HANDLE);
    CHECK(p_OCIStmtFetch((OCIStmt*)err, err, 1, OCI_FETCH_NEXT, 0) == OCI_INVALID_HANDLE);
}

static void test_disconnect(void) {
    CHECK(p_OCILogoff(svc, err) == OCI_SUCCESS);
    CHECK(p_OCIServerDetach(srv, err, OCI_DEFAULT) == OCI_SUCCESS);
    CHECK(p_OCIHandleFree(svc, OCI_HTYPE_SVCCTX) == OCI_SUCCESS);
    CHECK(p_OCIHandleFree(err, OCI_HTYPE_ERROR) == OCI_SUCCESS);
    CHECK(p_OCIHandleFree(srv, OCI_HTYPE_SERVER) == OCI_SUCCESS);
    CHECK(p_OCIHandleFree(env, OCI_HTYPE_ENV) == OCI_SUCCESS);
}

int main(int argc, char** argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: abi_test <libtsl_ocilite.so> <scratch folder>\n");
        return 2;
    }
    void* lib = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (lib == NULL) {
        fprintf(stderr, "dlopen: %s\n", dlerror());
        return 1;
    }
    int resolved = 1;
#define RESOLVE(f)                                  \
    *(void**)(&p_##f) = dlsym(lib, #f);             \
    if (p_##f == NULL) {                            \
        fprintf(stderr, "missing symbol %s\n", #f); \
        resolved = 0;                               \
    }
    TSL_OCI_FUNCTIONS(RESOLVE)
    CHECK(resolved);
    if (!resolved) {
        printf("%d passed, %d failed\n", passed, failed);
        return 1;
    }
    /* Nothing but the OCI functions is exported: not the provider's own
     * helpers (here one of them by its C++ name). */
    CHECK(dlsym(lib, "_Z9ocl_checkPKvj") == NULL);

    test_connect(argv[2]);
    test_schema();
    test_describe();
    test_fetch();
    test_catalog();
    test_errors();
    test_disconnect();

    printf("%d passed, %d failed\n", passed, failed);
    dlclose(lib);
    return failed == 0 ? 0 : 1;
}
