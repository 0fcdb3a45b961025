#include "core/ora_conv.h"

#include <algorithm>

#include "ORA/ora_db.h"
#include "TK/tk_log.h"
#include "TK/tk_utf.h"
#include "UDB/udb_prof.h"
#include "core/cnv_base.h"
#include "oci/tsl_furi.h"

oracle_converter_impl::oracle_converter_impl() = default;

oracle_converter_impl::~oracle_converter_impl() {
    database_.reset();
}

void oracle_converter_impl::store_oracle_settings(const std::u16string& service_name,
                                                  const std::u16string& user_name,
                                                  const std::u16string& pswd) {
    // The password is traced as *** (a log file outlives the run).
    tk_wtrace(2, u"oracle_converter_impl::store_oracle_settings(%s,%s,***)", service_name.c_str(),
              user_name.c_str());
    service = service_name;
    user = user_name;
    password = pswd;
}

void oracle_converter_impl::store_oracle_settings(const std::u16string& host_name,
                                                  const std::u16string& user_name,
                                                  const std::u16string& pswd,
                                                  const std::u16string& port_text) {
    tk_wtrace(2, u"oracle_converter_impl::store_oracle_settings(%s,%s,***,%s)", host_name.c_str(),
              user_name.c_str(), port_text.c_str());
    host = host_name;
    password = pswd;
    port = port_text;
    user = user_name;
}

std::string oracle_converter_impl::source_file() const {
    const std::string s = tk::utf16_to_utf8(use_tns ? service : host);
    if (s.compare(0, 5, "file:") != 0)
        return {};
    // "file://host/path": only an empty or local authority names a file here.
    std::string authority;
    std::string path = tsl_file_uri_path(s, &authority);
    if (!authority.empty() && authority != "localhost")
        return {};
    return path;
}

void oracle_converter_impl::connect_oracle_server() {
    tk_trace(2, "oracle_converter_impl::connect_oracle_server");
    database_.reset();
    ++connection_serial_;
    database_.reset(use_tns ? engine_.open_db(service, user, password)
                            : engine_.open_db(host, user, password, port));
}

void oracle_converter_impl::set_database(std::unique_ptr<udb_database> database) {
    database_ = std::move(database);
    ++connection_serial_;
}

bool oracle_converter_impl::test_query(const std::u16string& text) {
    try {
        if (!database_)
            connect_oracle_server();
        return database_->test_query(text);
    } catch (const std::exception& e) {
        tk_trace(2, "Query check failed: %s", e.what());
        return false;
    }
}

bool oracle_converter_impl::load_profile(const udb_profile& profile) {
    tk_trace(2, "oracle_converter_impl::load_profile");
    auto read = [&](const char16_t* key, std::u16string& value) {
        const std::u16string& v = profile.get(tsl_keys::kOracle, key);
        if (v.empty())
            return false;
        value = v;
        return true;
    };
    if (!read(u"host", host))
        read(u"IP", host);
    read(u"password", password);
    read(u"port", port);
    read(u"user", user);
    return true;
}

bool oracle_converter_impl::store_profile(udb_profile& profile) const {
    tk_trace(2, "oracle_converter_impl::store_profile");
    auto write = [&](const char16_t* key, const std::u16string& value) {
        if (!value.empty())
            profile.set(tsl_keys::kOracle, key, value);
    };
    write(u"host", host);
    write(u"password", password);
    write(u"port", port);
    write(u"user", user);
    return true;
}
