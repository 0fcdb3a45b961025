#include "ORA/ora_engi.h"

#include <cctype>
#include <vector>

#include "ORA/ora_db.h"
#include "ORA/ora_util.h"
#include "TK/tk_log.h"
#include "TK/tk_utf.h"

namespace {

constexpr const char* kSource = "ora_engi";

constexpr const char* kMissingClient =
    "The Oracle client and networking components were not found.\n"
    "These components are supplied by the Oracle Corporation and\n"
    "are part of the Oracle Version 7.3.4 (or later) client\n"
    "software installation. You will be unable to use this program\n"
    "until these components have been installed.";

// Extra user memory asked for with the error and server handles; never used.
constexpr size_t kExtraMemory = 52;
// OCIErrorGet's text buffer: 255 UTF-16 characters and the terminator.
constexpr ub4 kErrorBuffer = 512;
// The version banner's buffer.
constexpr size_t kBannerBytes = 131072;
// Rows the client fetches ahead in one round trip, and the memory that
// bounds them: a round trip per thousand rows instead of one per row, while
// a select list of wide columns is held to a few megabytes.
constexpr ub4 kPrefetchRows = 1000;
constexpr ub4 kPrefetchMemory = 4 * 1024 * 1024;

// One "%d" of sscanf: optional blanks and sign, then at least one digit.
bool read_int(const char*& p, int& out) {
    while (std::isspace(static_cast<unsigned char>(*p))) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-')
        negative = *p++ == '-';
    if (!std::isdigit(static_cast<unsigned char>(*p)))
        return false;
    long long v = 0;
    while (std::isdigit(static_cast<unsigned char>(*p))) {
        if (v < 1000000000LL)
            v = v * 10 + (*p - '0');
        ++p;
    }
    out = static_cast<int>(negative ? -v : v);
    return true;
}

// "%d.%d.%d" at the start of `piece`.
bool read_version(const std::string& piece, int& major, int& minor, int& release) {
    const char* p = piece.c_str();
    return read_int(p, major) && *p++ == '.' && read_int(p, minor) && *p++ == '.' &&
           read_int(p, release);
}

}  // namespace

// ---- ora_exception ---------------------------------------------------------

ora_exception::ora_exception(int32_t number, const std::string& text)
    : tk_exception(text, 0, ora_error_base + (static_cast<uint32_t>(number) & 0xFFFFu)),
      number_(number) {}

bool ora_is_value_error(int32_t number) {
    switch (number) {
        case 932:
        case 1426:
        case 1455:
        case 1722:
            return true;
        default:
            return number >= 1800 && number <= 1899;
    }
}

// ---- the message map ---------------------------------------------------------

const tk_error_entry ora_error_map[] = {
    {ora_error_base + 1,
     "Duplicate field values being used for an unique index were found.\n"
     "See 'Troubleshooting' article of the product documentation\n"
     "for solution."},
    {ora_error_base + 1017, "Invalid user name or password."},
    {ora_error_base + 1658,
     "Not enough free contiguous space in the tablespace to create the object.\n"
     "Use ALTER TABLESPACE ADD DATAFILE to add additional space to the tablespace."},
    {ora_error_base + 1950, "User does not have the necessary privileges to create tables."},
    {ora_error_base + 2298,
     "There are orphaned records that prevent from creating foreign key. For more\n"
     "information see Troubleshooting article of the product documentation."},
    {ora_error_base + 12154,
     "Oracle data source does not exist. Check to verify the correct name was given."},
    {ora_error_base + 12500,
     "ORA-12500: the listener could not start a server process. For more information\n"
     "see Troubleshooting article of the product documentation."},
    {ora_error_base + 12505,
     "ORA-12505: the program could not resolve service name. For more information\n"
     "see Troubleshooting article of the product documentation."},
    {ora_error_base + 12514,
     "Cannot resolve Oracle service name. Check to verify the correct name was given.\n"},
    {ora_error_base + 12541,
     "ORA-12541: no listener. For more information see Troubleshooting\n"
     "article of the product documentation."},
    {ora_error_base + 12545,
     "ORA-12545: connect failed because target host or object does not exist.\n"
     "For more information see Troubleshooting article of the product documentation."},
    {ora_error_base + 28000,
     "Wrong password was entered the maximum number of times or\n"
     "the DBA has locked the account."},
};
const size_t ora_error_map_size = sizeof(ora_error_map) / sizeof(ora_error_map[0]);

// ---- ora_engine --------------------------------------------------------------

ora_engine::ora_engine() {
    tk_trace(2, "ora_engine::ctor");
}

ora_engine::~ora_engine() {
    tk_trace(2, "ora_engine::dtor");
    if (initialized_) {
        try {
            logoff();
        } catch (const tk_exception& e) {
            tk_trace(2, "ora_engine::dtor: logoff failed: %s", e.what());
        }
        release_handles();
    }
    source_.clear();
    user_.clear();
    password_.clear();
}

void ora_engine::initialize(const std::u16string& source) {
    tk_trace(2, "ora_engine::initialize");
    const ora_provider kind = ora_provider_for(source);
    if (initialized_) {
        if (oci_->kind == kind)
            return;
        // The other provider is needed: this one's connection and handles
        // go; its environment stays with it for a later return.
        tk_trace(2, "ora_engine::initialize: switching OCI provider");
        logoff();
        release_handles();
        initialized_ = false;
    }

    tk_trace(1, "Step #1");
    ora_oci* oci = ora_load_provider(kind);
    if (!oci)
        throw tk_exception(kMissingClient, 1);

    tk_trace(1, "Step #2");
    if (!oci->env) {
        OCIEnv* env = nullptr;
        sword status =
            oci->OCIEnvCreate(&env, OCI_UTF16, nullptr, nullptr, nullptr, nullptr, 0, nullptr);
        if (status != OCI_SUCCESS || !env) {
            // The library loaded but cannot run (no message files, no
            // character sets): the client is as good as missing.
            tk_trace(2, "OCIEnvCreate of %s failed (%d)", oci->path.c_str(), status);
            throw tk_exception(kMissingClient, 1);
        }
        oci->env = env;
    }
    oci_ = oci;

    tk_trace(1, "Step #3");
    void* extra = nullptr;
    OCIError* err = nullptr;
    check_status(oci->OCIHandleAlloc(oci->env, reinterpret_cast<void**>(&err), OCI_HTYPE_ERROR,
                                     kExtraMemory, &extra));
    err_ = err;
    OCIError* break_err = nullptr;
    check_status(oci->OCIHandleAlloc(oci->env, reinterpret_cast<void**>(&break_err),
                                     OCI_HTYPE_ERROR, kExtraMemory, &extra));
    break_err_ = break_err;
    OCIServer* srv = nullptr;
    check_status(oci->OCIHandleAlloc(oci->env, reinterpret_cast<void**>(&srv), OCI_HTYPE_SERVER,
                                     kExtraMemory, &extra));
    srv_ = srv;

    // No server attach here: OCILogon attaches to the data source it is
    // given. An attach to the default host ("", from TWO_TASK or ORACLE_SID)
    // was never used and, with a dead default host, stalled on a network
    // timeout before the logon.
    tk_trace(1, "Step #4");
    initialized_ = true;
}

ora_database* ora_engine::open_db(const std::u16string& service, const std::u16string& user,
                                  const std::u16string& password) {
    // The password never reaches the log: a log file outlives the run.
    tk_wtrace(2, u"ora_engine::open_db( %s, %s, *** )", service.c_str(), user.c_str());
    tk_wtrace(2, u"Connecting to Oracle data source '%s'", service.c_str());
    if (!initialized_ || oci_->kind != ora_provider_for(service))
        initialize(service);
    logoff();

    OCISvcCtx* fresh = nullptr;
    oci_->OCIHandleAlloc(oci_->env, reinterpret_cast<void**>(&fresh), OCI_HTYPE_SVCCTX, 0, nullptr);
    if (fresh)
        oci_->OCIAttrSet(fresh, OCI_HTYPE_SVCCTX, srv_, 0, OCI_ATTR_SERVER, err_);
    tk_trace(1, "Step #1");
    tk_trace(1, "Step #2");

    // OCILogon may hand back a service context of its own (the Oracle
    // client always does); the one allocated above is then released.
    OCISvcCtx* svc = fresh;
    sword status =
        oci_->OCILogon(oci_->env, err_, &svc, ora_text(user), ora_bytes(user), ora_text(password),
                       ora_bytes(password), ora_text(service), ora_bytes(service));
    if (status == OCI_ERROR) {
        if (fresh)
            oci_->OCIHandleFree(fresh, OCI_HTYPE_SVCCTX);
        throw_error();
    }
    if (fresh && svc != fresh)
        oci_->OCIHandleFree(fresh, OCI_HTYPE_SVCCTX);
    svc_ = svc;
    breakable_.store(svc);
    tk_trace(2, "The connection has been established");
    set_date_formats();

    source_ = service;
    user_ = user;
    password_ = password;
    return new ora_database(service, 1);
}

void ora_engine::set_date_formats() {
    // Dates read as text (for a workbook that writes them as text, and every
    // timestamp, for its fraction of a second) come in the session's
    // formats; the server's defaults would drop the century and the time. The embedded provider
    // hands over the stored text as it is and has no session settings. A server that refuses the
    // statement keeps its formats: the dates are then written as it shows them.
    if (oci_->kind != ora_provider::client)
        return;
    try {
        ora_stmt stmt;
        stmt.prepare(
            u"ALTER SESSION SET NLS_DATE_FORMAT = 'YYYY-MM-DD HH24:MI:SS' "
            u"NLS_TIMESTAMP_FORMAT = 'YYYY-MM-DD HH24:MI:SS.FF' "
            u"NLS_TIMESTAMP_TZ_FORMAT = 'YYYY-MM-DD HH24:MI:SS.FF'");
        stmt.execute(1);
    } catch (const tk_exception& e) {
        tk_trace(2, "Session date formats not set: %s", e.what());
    }
}

ora_database* ora_engine::open_db(const std::u16string& host, const std::u16string& user,
                                  const std::u16string& password, const std::u16string& port) {
    tk_wtrace(2, u"ora_engine::open_db (%s,%s,***,%s)", host.c_str(), user.c_str(), port.c_str());
    // The descriptor begins with "(DESCRIPTION", so it always goes to the
    // Oracle client, whatever the host text holds.
    return open_db(make_descriptor(host, port), user, password);
}

std::u16string ora_engine::make_descriptor(const std::u16string& host, const std::u16string& port) {
    return u"(DESCRIPTION=(CONNECT_DATA=(SERVICE_NAME=))(ADDRESS=(PROTOCOL=TCP)(HOST=" + host +
           u")(PORT=" + (port.empty() ? std::u16string(u"1521") : port) + u")))";
}

uint32_t ora_engine::get_version() {
    tk_trace(2, "ora_engine::get_version");
    require_connection(kSource, __LINE__);
    ora_stmt stmt;
    std::vector<char16_t> banner(kBannerBytes / 2, u'\0');
    try {
        stmt.prepare(u"select * from v$version");
        sb2 indicator = 0;
        OCIDefine* define = nullptr;
        check_status(oci_->OCIDefineByPos(stmt.handle(), &define, err_, 1, banner.data(),
                                          static_cast<sb4>(kBannerBytes), SQLT_STR, &indicator,
                                          nullptr, nullptr, OCI_DEFAULT));
        if (stmt.execute(1) == OCI_NO_DATA)
            throw tk_mail_assertion(kSource, __LINE__);
    } catch (const ora_exception& e) {
        // A user without access to v$version (ORA-00942) reads a server of
        // today: the newest form of the catalog queries is the one to use.
        tk_trace(2, "The Oracle version cannot be read; the newest catalog queries are used: %s",
                 e.what());
        return kVersionUnknown;
    }
    std::u16string_view text(banner.data(), ora_text_length(banner.data(), banner.size()));
    if (TK_LOG_ACTIVE()) {
        tk_trace(1, "Got versioned string:\n%s", tk::utf16_to_utf8(text).c_str());
    }
    return parse_version(text);
}

uint32_t ora_engine::parse_version(std::u16string_view banner) {
    size_t start = 0;
    while (start <= banner.size()) {
        size_t end = banner.find(u' ', start);
        if (end == std::u16string_view::npos)
            end = banner.size();
        std::u16string_view piece = banner.substr(start, end - start);
        start = end + 1;
        if (piece.empty() || piece[0] < u'0' || piece[0] > u'9')
            continue;
        int major = 0, minor = 0, release = 0;
        if (read_version(tk::utf16_to_utf8(piece), major, minor, release)) {
            tk_trace(2, "Got Oracle version: %d,%d,%d", major, minor, release);
            return (static_cast<uint32_t>(major) << 16) | (static_cast<uint32_t>(minor) << 8) |
                   static_cast<uint32_t>(release);
        }
    }
    return 0;
}

int32_t ora_engine::get_records_cnt(const std::u16string& text, bool is_query) {
    tk_wtrace(2, u"ora_engine::get_records_cnt(%s)", text.c_str());
    require_connection(kSource, __LINE__);
    const std::u16string sql = is_query ? u"SELECT COUNT(*) FROM (" + text + u")"
                                        : u"SELECT COUNT(*) FROM " + ora_sql_ident(text);
    return ora_select_int(sql, kSource, __LINE__);
}

OCISvcCtx* ora_engine::require_connection(const char* stem, int line) const {
    if (!svc_)
        throw tk_mail_assertion(stem, line);
    return svc_;
}

void ora_engine::throw_error() const {
    char16_t text[kErrorBuffer / 2] = {};
    sb4 number = 0;
    if (err_) {
        oci_->OCIErrorGet(err_, 1, nullptr, &number, reinterpret_cast<OraText*>(text), kErrorBuffer,
                          OCI_HTYPE_ERROR);
    }
    text[kErrorBuffer / 2 - 1] = u'\0';
    std::u16string_view view(text, ora_text_length(text, kErrorBuffer / 2));
    throw ora_exception(number, tk::utf16_to_utf8(view));
}

void ora_engine::logoff() {
    if (!svc_)
        return;
    if (oci_->kind == ora_provider::embedded && TK_LOG_ACTIVE()) {
        // The provider counts the round trips a real client would have made.
        ub4 trips = 0;
        if (oci_->OCIAttrGet(svc_, OCI_HTYPE_SVCCTX, &trips, nullptr, TSL_OCI_ATTR_ROUNDTRIPS,
                             err_) == OCI_SUCCESS) {
            tk_trace(2, "OCI round trips of this connection: %u", static_cast<unsigned>(trips));
        }
    }
    // The Oracle client releases the service context of an OCILogon itself.
    OCISvcCtx* svc = svc_;
    svc_ = nullptr;
    breakable_.store(nullptr);
    check_status(oci_->OCILogoff(svc, err_));
}

void ora_engine::interrupt() noexcept {
    if (OCISvcCtx* svc = breakable_.load(); svc && oci_ && break_err_)
        oci_->OCIBreak(svc, break_err_);
}

void ora_engine::end_interrupt() {
    if (svc_ && break_err_)
        oci_->OCIReset(svc_, break_err_);
}

void ora_engine::release_handles() {
    if (err_)
        oci_->OCIHandleFree(err_, OCI_HTYPE_ERROR);
    if (break_err_)
        oci_->OCIHandleFree(break_err_, OCI_HTYPE_ERROR);
    break_err_ = nullptr;
    if (srv_)
        oci_->OCIHandleFree(srv_, OCI_HTYPE_SERVER);
    err_ = nullptr;
    srv_ = nullptr;
}

// ---- ora_stmt ------------------------------------------------------------------

ora_stmt::ora_stmt() {
    ora_engine& engine = ora_engine::instance();
    if (!engine.oci())
        throw tk_mail_assertion(kSource, __LINE__);
    void* handle = nullptr;
    engine.check_status(
        engine.oci()->OCIHandleAlloc(engine.env(), &handle, OCI_HTYPE_STMT, 0, nullptr));
    stmt_ = static_cast<OCIStmt*>(handle);
}

ora_stmt::~ora_stmt() {
    if (!stmt_)
        return;
    if (ora_engine* engine = ora_engine::instance_ptr(); engine && engine->oci()) {
        engine->oci()->OCIHandleFree(stmt_, OCI_HTYPE_STMT);
    }
}

void ora_stmt::prepare(const std::u16string& text) {
    ora_engine& engine = ora_engine::instance();
    const ora_oci& oci = *engine.oci();
    engine.check_status(oci.OCIStmtPrepare(stmt_, engine.err(), ora_text(text), ora_bytes(text),
                                           OCI_NTV_SYNTAX, OCI_DEFAULT));
    // The client's default prefetch is a single row: a round trip for every
    // row or two, which a remote server makes the dominant cost of a read.
    ub4 rows = kPrefetchRows;
    ub4 memory = kPrefetchMemory;
    engine.check_status(oci.OCIAttrSet(stmt_, OCI_HTYPE_STMT, &rows, sizeof rows,
                                       OCI_ATTR_PREFETCH_ROWS, engine.err()));
    engine.check_status(oci.OCIAttrSet(stmt_, OCI_HTYPE_STMT, &memory, sizeof memory,
                                       OCI_ATTR_PREFETCH_MEMORY, engine.err()));
}

sword ora_stmt::execute(ub4 iterations, ub4 mode) {
    ora_engine& engine = ora_engine::instance();
    return engine.check_status(engine.oci()->OCIStmtExecute(engine.svc(), stmt_, engine.err(),
                                                            iterations, 0, nullptr, nullptr, mode));
}

sword ora_stmt::fetch() {
    ora_engine& engine = ora_engine::instance();
    return engine.check_status(
        engine.oci()->OCIStmtFetch(stmt_, engine.err(), 1, OCI_FETCH_NEXT, OCI_DEFAULT));
}
