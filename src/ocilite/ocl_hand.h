// Handles and descriptors of the embedded provider.
//
// Every object handed out through the OCI functions begins with an
// `ocl_head` whose magic and type are checked on entry, so a wrong or freed
// handle gives OCI_INVALID_HANDLE instead of a crash where that can be told.
// Ownership follows OCI: the environment owns the handles allocated from it
// (freeing it frees them); a statement owns its define handles and its
// select-list parameters; LOB locators belong to the caller.
#pragma once

#include <sqlite3.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "oci/tsl_oci.h"
#include "ocilite/ocl_emul.h"
#include "ocilite/ocl_type.h"

constexpr ub4 ocl_magic = 0x4C43534Fu;  // "OSCL"

struct ocl_head {
    ub4 magic = ocl_magic;
    ub4 htype = 0;             // OCI_HTYPE_* or OCI_DTYPE_*
    OCIEnv* env = nullptr;     // owning environment (null for the environment itself)
    ocl_head* prev = nullptr;  // the environment's list of handles
    ocl_head* next = nullptr;
    std::vector<unsigned char> user_mem;  // extra memory asked for at allocation
};

struct OCIEnv : ocl_head {
    bool utf16 = false;  // OCI_UTF16: texts are UTF-16, lengths in bytes
    ocl_head* first = nullptr;
    ub4 roundtrips = 0;  // round trips of all logons (see ocl_emul.h)
};

// The last error (or warning) of the calls that were given this handle.
struct OCIError : ocl_head {
    sb4 code = 0;      // Oracle error number, 0 when none
    std::string text;  // full text, "ORA-nnnnn: ...", UTF-8
};

struct OCIServer : ocl_head {
    std::string dblink;
    bool attached = false;
};

struct OCISession : ocl_head {};

// One open SQLite database. Shared by the service context that logged on and
// by every statement executed on it, so a statement outliving the logoff
// fails cleanly with ORA-03114 instead of touching a closed database.
struct ocl_conn {
    sqlite3* db = nullptr;
    bool open = false;
    std::string user;       // as given at logon
    std::string owner;      // the user in upper case, as the dictionary shows it
    int main_version = -1;  // schema versions the dictionary was built for
    int temp_version = -1;
    unsigned dict_mask = 0;  // which dictionary tables the session created
    ocl_emul emul;           // the environment's knobs at logon
    ub4 roundtrips = 0;      // round trips of this logon
    // Emulation: the locator of a streamed LOB read that has not reached its
    // last piece; the server takes no other call until it has.
    const OCILobLocator* active_lob = nullptr;
    // Set by OCIBreak, cleared by OCIReset: every statement running on the
    // connection meanwhile stops (SQLite's progress handler reads it).
    std::atomic<bool> broken{false};
    // The rows of the table whose text columns a describe of
    // `SELECT * FROM <name>` sized (plain source), counted in the same pass
    // over the table: the `SELECT COUNT(*) FROM <name>` that follows is
    // answered from it, once, while the database's data version is
    // unchanged, instead of reading the table once more.
    struct counted_rows {
        std::string name;            // <name> as both statements spell it
        std::string table;           // the table it names, unquoted
        sqlite3_int64 rows = -1;     // -1: nothing counted
        sqlite3_int64 version = -1;  // PRAGMA data_version before counting
    } counted;
    // The data source of the logon, and a second connection to its file,
    // read-only as the first, opened when a pass over a large table is run
    // in two halves side by side (ocl_second_db); closed with this one.
    std::string source;
    sqlite3* second = nullptr;
    bool second_tried = false;
    // The file the logon opened (device and inode; 0 when unknown): a second
    // connection is used only while the source's path still names it.
    uint64_t file_dev = 0, file_ino = 0;
    ~ocl_conn();
};

// Tables with at least this many rowids between their first and last row
// are sized in two halves side by side.
constexpr sqlite3_int64 ocl_split_rows = 16384;

// `conn.second`, opened on first use; nullptr if it cannot be opened or
// would not be the same file (an in-memory database).
sqlite3* ocl_second_db(ocl_conn& conn);

struct OCISvcCtx : ocl_head {
    OCIServer* server = nullptr;
    OCISession* session = nullptr;
    std::shared_ptr<ocl_conn> conn;
};

// A select-list column as described; handed out by OCIParamGet.
struct OCIParam : ocl_head {
    std::string name;       // UTF-8
    std::u16string name16;  // the same, UTF-16, for OCI_UTF16 environments
    ocl_type type;
    ub1 nullable = 1;
    bool needs_scan = false;  // type decided by the values (see ocl_type.h)
    // A text column of a table (plain source only): its size is made to hold
    // the longest value the table stores, as SQLite does not hold a value to
    // its declared size.
    bool size_by_values = false;
    std::string schema, table, column;  // where the column's values are stored
};

struct OCIDefine : ocl_head {
    OCIStmt* stmt = nullptr;
    ub4 position = 0;  // 1-based
    void* valuep = nullptr;
    sb4 value_sz = 0;
    ub2 dty = 0;
    sb2* indp = nullptr;
    ub2* rlenp = nullptr;
    ub2* rcodep = nullptr;
    ub1 form = SQLCS_IMPLICIT;  // OCI_ATTR_CHARSET_FORM asked for on the define
};

struct OCIStmt : ocl_head {
    std::string sql;  // UTF-8, as prepared
    std::shared_ptr<ocl_conn> conn;
    sqlite3_stmt* st = nullptr;
    bool executed = false;  // executed (described) since the last prepare
    bool done = false;      // the cursor met its end
    bool is_query = false;
    bool scanned = false;  // value scan for untyped columns has run
    ub2 stmt_type = 0;
    ub4 row_count = 0;     // rows fetched (query) or changed (other)
    ub4 rows_fetched = 0;  // rows of the last fetch call
    // The client's row cache: rows fetched ahead that the next fetch calls
    // take without a round trip.
    ub4 prefetch_rows = 1;    // OCI_ATTR_PREFETCH_ROWS (the client's default)
    ub4 prefetch_memory = 0;  // OCI_ATTR_PREFETCH_MEMORY (0: no bound)
    ub4 cached = 0;
    std::vector<std::unique_ptr<OCIParam>> params;
    std::vector<OCIDefine*> defines;  // by position - 1; owned
    // The compiled statement is the count answered from ocl_conn::counted,
    // not the text: a later execute compiles the text.
    bool answered = false;
    ~OCIStmt();
};

// A LOB locator. A fetch copies the column's value into it; OCILobRead then
// serves pieces from that copy. The copy's buffer is kept between rows so
// that fetching reuses it.
struct OCILobLocator : ocl_head {
    bool valid = false;   // holds a fetched value
    bool binary = false;  // BLOB (bytes) or CLOB (UTF-8 text)
    ub1 form = 0;         // SQLCS_IMPLICIT / SQLCS_NCHAR for character LOBs
    std::string data;
    // Streaming state of a read that returned OCI_NEED_DATA: the next call
    // continues where it stopped and ignores its offset, as OCI does.
    bool polling = false;
    size_t poll_pos = 0;     // byte position in `data`
    uint64_t poll_left = 0;  // units (characters or bytes) still wanted
    bool gap = false;        // emulation: the last piece of the stream was an empty one
    // Last character offset mapped to a byte position (CLOB reads).
    uint64_t cache_char = 0;
    size_t cache_byte = 0;
    void reset_read_state() {
        polling = false;
        poll_pos = 0;
        poll_left = 0;
        gap = false;
        cache_char = 0;
        cache_byte = 0;
    }
};

struct OCISnapshot : ocl_head {};

// Handle checks: the object when `p` is a live handle of type `htype`.
ocl_head* ocl_check(const void* p, ub4 htype);
template <class T>
T* ocl_as(const void* p, ub4 htype) {
    return static_cast<T*>(ocl_check(p, htype));
}

// Frees a statement's define handle (also called by OCIHandleFree).
void ocl_define_free(OCIDefine* d);
