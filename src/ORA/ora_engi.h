// The Oracle engine: the one object through which the system talks to an
// Oracle server (or to the embedded provider, which answers the same calls).
//
// ora_engine   process-wide single instance (tk_singleton). Loads the OCI
//              provider, creates the environment, error and server handles,
//              logs on by service name or directly by host and port, and runs
//              the version and record-count queries every reader needs.
// ora_stmt     scope owner of one OCI statement handle.
// ora_exception every failed OCI call, turned into the toolkit's family.
//
// The Oracle message map (ora_error_map) gives the system's own texts for
// twelve Oracle errors; the error handler loads it into its converter.
//
// Threads: the engine and its handles are used by one thread at a time;
// nothing is locked (the environment is not created OCI_THREADED).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "ORA/ora_oci.h"
#include "TK/tk_errco.h"
#include "TK/tk_excep.h"
#include "TK/tk_singl.h"

class ora_database;

// The Oracle error family of the error maps: 0x100000 + the error number.
constexpr uint32_t ora_error_base = 0x100000;

// An OCI call that failed. message: the Oracle error text (UTF-8); code() 0;
// system_error() 0x100000 + (number & 0xFFFF).
class ora_exception : public tk_exception {
  public:
    ora_exception(int32_t number, const std::string& text);
    int32_t number() const { return number_; }

  private:
    int32_t number_;
};

// True for the errors of one value that could not be converted: ORA-00932
// (inconsistent datatypes), ORA-01426 (numeric overflow), ORA-01455
// (integer overflow), ORA-01722 (invalid number) and ORA-01800 to ORA-01899
// (date and time values). Such an error refuses one row; the next fetch
// goes on with the next row.
bool ora_is_value_error(int32_t number);

// The message map of the Oracle errors that are shown with the system's own
// text, keyed by 0x100000 + the Oracle number, in ascending order.
extern const tk_error_entry ora_error_map[];
extern const size_t ora_error_map_size;

class ora_engine : public tk_singleton<ora_engine> {
  public:
    // Registers the instance; touches no OCI state.
    ora_engine();
    // Logs off, detaches and frees the handles (when initialized); the
    // environment stays with its provider.
    ~ora_engine();

    // Loads the provider the data source needs and creates the handles.
    // Throws tk_exception (code 1, the missing-client text) when the
    // provider cannot be loaded. open_db runs it on first use, and again
    // when a later data source needs the other provider.
    void initialize(const std::u16string& source = std::u16string());

    // TNS form: logs on to `service` (a "file:" URI selects the embedded
    // provider). Returns a new ora_database owned by the caller, who deletes
    // it before calling open_db again. An open connection is logged off
    // first. Throws ora_exception when the logon fails.
    ora_database* open_db(const std::u16string& service, const std::u16string& user,
                          const std::u16string& password);
    // Direct form: host (address or name) and port (digits, or empty for
    // 1521) are put into a connect descriptor; always the Oracle client.
    ora_database* open_db(const std::u16string& host, const std::u16string& user,
                          const std::u16string& password, const std::u16string& port);

    // (major << 16) | (minor << 8) | release from the server's banner, 0
    // when the banner has no dotted number, kVersionUnknown (newer than any
    // release) when v$version cannot be read. Requires a connection.
    uint32_t get_version();
    static constexpr uint32_t kVersionUnknown = 0xFFFFFFu;
    // COUNT(*) of a table (name quoted as stored) or of a query's rows.
    // Requires a connection.
    int32_t get_records_cnt(const std::u16string& text, bool is_query);
    int32_t get_records_cnt(const std::u16string& table) { return get_records_cnt(table, false); }

    // Returns `status` unless it is OCI_ERROR; then throws ora_exception with
    // the error handle's first record.
    sword check_status(sword status) const {
        if (status == OCI_ERROR)
            throw_error();
        return status;
    }

    // The connect descriptor of the direct form.
    static std::u16string make_descriptor(const std::u16string& host, const std::u16string& port);
    // The version number of a banner (the first space-separated piece that
    // starts with a digit and reads as "%d.%d.%d"), or 0.
    static uint32_t parse_version(std::u16string_view banner);

    bool running = false;

    // Asks the call running on the connection, if any, to end (OCIBreak):
    // it then fails with ORA-01013. Safe from another thread and from a
    // signal handler; nothing when not connected.
    void interrupt() noexcept;
    // Lets the connection take calls again after interrupt() (OCIReset).
    void end_interrupt();

    bool initialized() const { return initialized_; }
    bool connected() const { return svc_ != nullptr; }
    const std::u16string& source() const { return source_; }
    const std::u16string& user() const { return user_; }
    const std::u16string& password() const { return password_; }

    // Process-wide handles shared by every Oracle class. oci() is null until
    // initialize has run.
    const ora_oci* oci() const { return oci_; }
    OCIEnv* env() const { return oci_ ? oci_->env : nullptr; }
    OCIError* err() const { return err_; }
    OCIServer* server() const { return srv_; }
    OCISvcCtx* svc() const { return svc_; }

    // The service context of an open connection; none is an internal error
    // reported at `stem` and `line`.
    OCISvcCtx* require_connection(const char* stem, int line) const;

  private:
    // Sets the session's date and timestamp text formats to the canonical
    // "YYYY-MM-DD HH24:MI:SS" (Oracle client only; a failure is traced).
    void set_date_formats();
    [[noreturn]] void throw_error() const;
    void logoff();
    void release_handles();

    bool initialized_ = false;
    std::u16string source_;
    std::u16string user_;
    std::u16string password_;
    const ora_oci* oci_ = nullptr;
    OCIError* err_ = nullptr;
    OCIServer* srv_ = nullptr;
    OCISvcCtx* svc_ = nullptr;
    // What interrupt() may use: the connection while it is logged on, and
    // an error handle of its own (the other one may be in use meanwhile).
    std::atomic<OCISvcCtx*> breakable_{nullptr};
    OCIError* break_err_ = nullptr;
};

// Owner of one statement handle: allocated by the constructor (guarded),
// freed by the destructor (unguarded). Requires the engine's instance.
class ora_stmt {
  public:
    ora_stmt();
    ~ora_stmt();
    ora_stmt(const ora_stmt&) = delete;
    ora_stmt& operator=(const ora_stmt&) = delete;

    OCIStmt* handle() const { return stmt_; }

    // OCIStmtPrepare with OCI_NTV_SYNTAX, OCI_DEFAULT, then the prefetch
    // (OCI_ATTR_PREFETCH_ROWS bounded by OCI_ATTR_PREFETCH_MEMORY); guarded.
    void prepare(const std::u16string& text);
    // OCIStmtExecute on the engine's connection; guarded; returns the status.
    sword execute(ub4 iterations, ub4 mode = OCI_DEFAULT);
    // OCIStmtFetch of one row, OCI_FETCH_NEXT; guarded; returns the status.
    sword fetch();

  private:
    OCIStmt* stmt_ = nullptr;
};
