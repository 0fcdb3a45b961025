// Server attach and logon: OCIServerAttach/Detach, OCILogon/Logoff.
//
// The data source of a logon is the database: a `file:` URI as SQLite reads
// it (or a plain path), opened read-only, never created. A database holding
// a TSL_USERS table admits only its users. Only a regular file is a
// database: a FIFO, a device or a folder would hold the logon up for good.
//
// OCIBreak asks the statements running on a connection to stop, from
// another thread or a signal handler; they fail with ORA-01013, and so does
// every statement that runs on the connection until OCIReset.
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "oci/tsl_furi.h"
#include "ocilite/ocl_api.h"
#include "ocilite/ocl_dict.h"
#include "ocilite/ocl_text.h"

std::string ocl_in_text(const OCIEnv* env, const OraText* p, ub4 len_bytes) {
    if (p == nullptr || len_bytes == 0) {
        return std::string();
    }
    if (env->utf16) {
        return ocl_utf16_to_utf8(p, len_bytes / 2);
    }
    return std::string(reinterpret_cast<const char*>(p), len_bytes);
}

namespace {

// How long a logon and every statement wait for a database that another
// process holds locked.
constexpr int ocl_busy_timeout_ms = 5000;
// How often (in SQLite's virtual machine steps) a running statement looks
// whether OCIBreak asked it to stop: cheap, and well below a millisecond.
constexpr int kBreakCheckSteps = 1000;

// 0 when `user`/`password` may log on, else the Oracle error number.
int check_logon(sqlite3* db, const std::string& user, const std::string& password) {
    sqlite3_stmt* st = nullptr;
    const char* probe =
        "SELECT name FROM main.sqlite_master WHERE type IN ('table','view') "
        "AND upper(name) = 'TSL_USERS'";
    if (sqlite3_prepare_v2(db, probe, -1, &st, nullptr) != SQLITE_OK) {
        return ORA_TNS_RESOLVE;
    }
    int rc = sqlite3_step(st);
    sqlite3_finalize(st);
    if (rc == SQLITE_DONE) {
        return 0;  // no user table: every user logs on
    }
    if (rc != SQLITE_ROW) {
        return ORA_TNS_RESOLVE;
    }
    if (password.empty()) {
        return ORA_NULL_PASSWORD;
    }
    // The LOCKED column is optional.
    bool has_locked = true;
    rc = sqlite3_prepare_v2(db,
                            "SELECT CAST(PASSWORD AS TEXT), LOCKED FROM main.TSL_USERS "
                            "WHERE upper(USERNAME) = upper(?1)",
                            -1, &st, nullptr);
    if (rc != SQLITE_OK) {
        has_locked = false;
        rc = sqlite3_prepare_v2(db,
                                "SELECT CAST(PASSWORD AS TEXT) FROM main.TSL_USERS "
                                "WHERE upper(USERNAME) = upper(?1)",
                                -1, &st, nullptr);
        if (rc != SQLITE_OK) {
            return ORA_LOGON_DENIED;  // a user table without the columns admits nobody
        }
    }
    sqlite3_bind_text(st, 1, user.c_str(), static_cast<int>(user.size()), SQLITE_TRANSIENT);
    int result = ORA_LOGON_DENIED;
    while (sqlite3_step(st) == SQLITE_ROW) {
        const unsigned char* pw = sqlite3_column_text(st, 0);
        int n = sqlite3_column_bytes(st, 0);
        if (pw != nullptr && static_cast<size_t>(n) == password.size() &&
            password.compare(0, password.size(), reinterpret_cast<const char*>(pw), n) == 0) {
            result = has_locked && sqlite3_column_int(st, 1) != 0 ? ORA_ACCOUNT_LOCKED : 0;
            break;
        }
    }
    sqlite3_finalize(st);
    return result;
}

// Opens the database of `source` read-only; 0, or the Oracle error number
// with SQLite's reason in `why` for ORA_PROVIDER.
//
// The source is only read: the file is opened read-only and the connection
// is query-only, so no statement a user writes (a PRAGMA that switches the
// journal mode, an ATTACH'ed file, a write of any kind) can change it. The
// dictionary's temporary tables are filled with query_only lifted for that
// moment only (ocl_dict).
// The file a data source names, as SQLite reads it: a "file:" URI (with an
// empty or local authority, up to its query, %XX decoded) or a plain path;
// empty for an in-memory database.
std::string source_path(const std::string& source) {
    const std::string path =
        source.compare(0, 5, "file:") == 0 ? tsl_file_uri_path(source) : source;
    return path == ":memory:" ? std::string() : path;
}

// The device and inode of the file a data source names; false for an
// in-memory database or a path that names nothing.
bool file_identity(const std::string& source, uint64_t& dev, uint64_t& ino) {
    const std::string path = source_path(source);
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0) {
        return false;
    }
    dev = static_cast<uint64_t>(st.st_dev);
    ino = static_cast<uint64_t>(st.st_ino);
    return ino != 0;
}

// Whether the file a data source names is the file `dev`/`ino`.
bool names_file(const std::string& source, uint64_t dev, uint64_t ino) {
    uint64_t d = 0, i = 0;
    return ino != 0 && file_identity(source, d, i) && d == dev && i == ino;
}

// SQLite's progress handler: a statement stops once OCIBreak was called.
int break_requested(void* conn) {
    return static_cast<ocl_conn*>(conn)->broken.load() ? 1 : 0;
}

int open_database(const std::string& source, sqlite3** out, std::string* why) {
    *out = nullptr;
    if (source.empty()) {
        return ORA_TNS_RESOLVE;
    }
    const std::string path = source_path(source);
    struct stat st {};
    if (!path.empty() && ::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        *why = "cannot read the database " + source + ": " +
               (S_ISDIR(st.st_mode)    ? "it is a folder"
                : S_ISFIFO(st.st_mode) ? "it is a FIFO"
                                       : "it is a device or socket, not a file");
        return ORA_PROVIDER;
    }
    sqlite3* db = nullptr;
    // The connection belongs to one service context, and the provider's
    // handles are used by one thread at a time (they take no locks of their
    // own either), so SQLite's per-connection mutex, taken and dropped on
    // every column read, protects nothing.
    int rc = sqlite3_open_v2(source.c_str(), &db,
                             SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX, nullptr);
    auto fail = [&](int code) {
        // A missing file is a data source that does not exist; anything else
        // (no permission, not a database, damaged) is told in SQLite's words.
        const int sys = db != nullptr ? sqlite3_system_errno(db) : 0;
        if ((rc & 0xFF) == SQLITE_CANTOPEN && sys == ENOENT) {
            code = ORA_TNS_RESOLVE;
        } else {
            *why = db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
            if (sys != 0 && (rc & 0xFF) == SQLITE_CANTOPEN) {
                *why += std::string(" (") + std::strerror(sys) + ")";
            }
            *why = "cannot read the database " + source + ": " + *why;
        }
        sqlite3_close_v2(db);
        return code;
    };
    if (rc != SQLITE_OK) {
        return fail(ORA_PROVIDER);
    }
    // A database another process holds locked is waited for, a few seconds,
    // rather than failed at once.
    sqlite3_busy_timeout(db, ocl_busy_timeout_ms);
    rc = sqlite3_exec(db, "PRAGMA query_only = 1", nullptr, nullptr, nullptr);
    // A file that is not a database opens fine; reading its schema tells.
    if (rc == SQLITE_OK) {
        rc = sqlite3_exec(db, "SELECT count(*) FROM main.sqlite_master", nullptr, nullptr, nullptr);
    }
    if (rc != SQLITE_OK) {
        return fail((rc & 0xFF) == SQLITE_BUSY ? ORA_BUSY : ORA_PROVIDER);
    }
    // No memory-mapped reading (PRAGMA mmap_size): it saves SQLite's copies
    // of the pages, but every page read stays in the process's resident
    // size, which would then grow with the database instead of staying at
    // the size of the workbook being written.
    *out = db;
    return 0;
}

}  // namespace

sqlite3* ocl_second_db(ocl_conn& conn) {
    if (conn.second != nullptr || conn.second_tried) {
        return conn.second;
    }
    conn.second_tried = true;
    // The path names the logon's file before and after the open: an
    // in-memory database, or a file put in its place since (a new copy
    // renamed over it), is not read.
    if (!names_file(conn.source, conn.file_dev, conn.file_ino)) {
        return nullptr;
    }
    sqlite3* db = nullptr;
    std::string why;
    if (open_database(conn.source, &db, &why) != 0) {
        return nullptr;
    }
    if (!names_file(conn.source, conn.file_dev, conn.file_ino)) {
        sqlite3_close_v2(db);
        return nullptr;
    }
    sqlite3_progress_handler(db, kBreakCheckSteps, break_requested, &conn);
    conn.second = db;
    return db;
}

sword OCIServerAttach(OCIServer* srvhp, OCIError* errhp, const OraText* dblink, sb4 dblink_len,
                      ub4 /*mode*/) {
    OCIServer* srv = ocl_as<OCIServer>(srvhp, OCI_HTYPE_SERVER);
    OCIError* err = ocl_as<OCIError>(errhp, OCI_HTYPE_ERROR);
    if (srv == nullptr || err == nullptr) {
        return OCI_INVALID_HANDLE;
    }
    return ocl_guard(err, [&] {
        ocl_clear(err);
        srv->dblink = ocl_in_text(srv->env, dblink, dblink_len > 0 ? ub4(dblink_len) : 0);
        ocl_roundtrip(srv->env, nullptr);
        if (srv->dblink.empty() && ocl_emul_server_now()) {
            // The default host (TWO_TASK, ORACLE_SID) answers nowhere here,
            // as on a client machine without a local database.
            return ocl_fail(err, ORA_NO_LISTENER);
        }
        srv->attached = true;
        return OCI_SUCCESS;
    });
}

sword OCIServerDetach(OCIServer* srvhp, OCIError* errhp, ub4 /*mode*/) {
    OCIServer* srv = ocl_as<OCIServer>(srvhp, OCI_HTYPE_SERVER);
    OCIError* err = ocl_as<OCIError>(errhp, OCI_HTYPE_ERROR);
    if (srv == nullptr || err == nullptr) {
        return OCI_INVALID_HANDLE;
    }
    ocl_clear(err);
    srv->attached = false;
    return OCI_SUCCESS;
}

sword OCILogon(OCIEnv* envhp, OCIError* errhp, OCISvcCtx** svchp, const OraText* username,
               ub4 uname_len, const OraText* password, ub4 passwd_len, const OraText* dbname,
               ub4 dbname_len) {
    OCIEnv* env = ocl_as<OCIEnv>(envhp, OCI_HTYPE_ENV);
    OCIError* err = ocl_as<OCIError>(errhp, OCI_HTYPE_ERROR);
    if (env == nullptr || err == nullptr || svchp == nullptr) {
        return OCI_INVALID_HANDLE;
    }
    return ocl_guard(err, [&]() -> sword {
        ocl_clear(err);
        std::string user = ocl_in_text(env, username, uname_len);
        std::string pw = ocl_in_text(env, password, passwd_len);
        std::string source = ocl_in_text(env, dbname, dbname_len);

        uint64_t dev = 0, ino = 0;
        const bool identified = file_identity(source, dev, ino);
        sqlite3* db = nullptr;
        std::string why;
        int code = open_database(source, &db, &why);
        if (code != 0) {
            return ocl_fail(err, code, why);
        }
        auto conn = std::make_shared<ocl_conn>();
        conn->db = db;
        conn->open = true;
        sqlite3_progress_handler(db, kBreakCheckSteps, break_requested, conn.get());
        conn->source = source;
        // The file just opened: the one the path named before and after.
        if (identified && names_file(source, dev, ino)) {
            conn->file_dev = dev;
            conn->file_ino = ino;
        }
        conn->user = user;
        conn->owner = ocl_ascii_upper(user);
        conn->emul = ocl_emul_from_env();
        ocl_roundtrip(env, conn.get());
        code = check_logon(db, user, pw);
        if (code != 0) {
            return ocl_fail(err, code);  // `conn` closes the database
        }
        int rc = ocl_dict_install(*conn);
        if (rc == SQLITE_OK) {
            rc = ocl_dict_refresh(*conn);
        }
        if (rc != SQLITE_OK) {
            return ocl_fail_sqlite(err, db, rc, "");
        }
        // The caller's service context is used when it is one of this
        // environment's and not logged on; otherwise a new one is made.
        OCISvcCtx* svc = nullptr;
        if (ocl_env_owns(env, *svchp)) {
            OCISvcCtx* given = ocl_as<OCISvcCtx>(*svchp, OCI_HTYPE_SVCCTX);
            if (given != nullptr && given->conn == nullptr) {
                svc = given;
            }
        }
        if (svc == nullptr) {
            svc = static_cast<OCISvcCtx*>(ocl_new_handle(env, OCI_HTYPE_SVCCTX));
        }
        svc->conn = std::move(conn);
        *svchp = svc;
        return OCI_SUCCESS;
    });
}

sword OCILogoff(OCISvcCtx* svchp, OCIError* errhp) {
    OCISvcCtx* svc = ocl_as<OCISvcCtx>(svchp, OCI_HTYPE_SVCCTX);
    OCIError* err = ocl_as<OCIError>(errhp, OCI_HTYPE_ERROR);
    if (svc == nullptr || err == nullptr) {
        return OCI_INVALID_HANDLE;
    }
    ocl_clear(err);
    if (svc->conn == nullptr || !svc->conn->open) {
        return ocl_fail(err, ORA_NOT_CONNECTED);
    }
    ocl_conn& conn = *svc->conn;
    ocl_roundtrip(svc->env, &conn);
    if (!conn.emul.report.empty()) {
        if (FILE* f = std::fopen(conn.emul.report.c_str(), "a")) {
            std::fprintf(f, "%u\n", static_cast<unsigned>(conn.roundtrips));
            std::fclose(f);
        }
    }
    // Statements executed on the connection keep it; they fail with
    // ORA-03114 from now on. Its second connection serves no statement.
    if (conn.second != nullptr) {
        sqlite3_close_v2(conn.second);
        conn.second = nullptr;
    }
    svc->conn->open = false;
    svc->conn.reset();
    return OCI_SUCCESS;
}

sword OCIBreak(void* hndlp, OCIError* errhp) {
    // Called from a signal handler too: it only looks up the connection and
    // sets flags.
    OCISvcCtx* svc = ocl_as<OCISvcCtx>(hndlp, OCI_HTYPE_SVCCTX);
    if (svc == nullptr || ocl_as<OCIError>(errhp, OCI_HTYPE_ERROR) == nullptr) {
        return OCI_INVALID_HANDLE;
    }
    if (ocl_conn* conn = svc->conn.get(); conn != nullptr && conn->open && conn->db != nullptr) {
        conn->broken.store(true);
        sqlite3_interrupt(conn->db);
    }
    return OCI_SUCCESS;
}

sword OCIReset(void* hndlp, OCIError* errhp) {
    OCISvcCtx* svc = ocl_as<OCISvcCtx>(hndlp, OCI_HTYPE_SVCCTX);
    if (svc == nullptr || ocl_as<OCIError>(errhp, OCI_HTYPE_ERROR) == nullptr) {
        return OCI_INVALID_HANDLE;
    }
    if (ocl_conn* conn = svc->conn.get(); conn != nullptr) {
        conn->broken.store(false);
    }
    return OCI_SUCCESS;
}
