// The Oracle settings holder of the converter: the connection settings, the
// Oracle engine and the connected source database.
//
// Ownership: the holder owns the engine and the source database; a new
// connection deletes the old database first, and the database is deleted
// before the engine. Profiles keep host, user, password and port (section
// "Oracle settings"), never the TNS service name nor the "use TNS" choice.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "ORA/ora_engi.h"

class udb_database;
class udb_profile;

class oracle_converter_impl {
  public:
    oracle_converter_impl();
    ~oracle_converter_impl();
    oracle_converter_impl(const oracle_converter_impl&) = delete;
    oracle_converter_impl& operator=(const oracle_converter_impl&) = delete;

    bool use_tns = true;
    std::u16string service;  // TNS service name
    std::u16string user;
    std::u16string password;
    std::u16string host;  // address or network name (direct form)
    std::u16string port;  // digits (direct form)

    // TNS form settings.
    void store_oracle_settings(const std::u16string& service, const std::u16string& user,
                               const std::u16string& password);
    // Direct form settings.
    void store_oracle_settings(const std::u16string& host, const std::u16string& user,
                               const std::u16string& password, const std::u16string& port);

    // The file of a `file:` source (the embedded provider's database, named
    // as a SQLite URI or a plain path) as it names it; empty for any
    // other source.
    std::string source_file() const;

    // Deletes the old source database and logs on by the chosen form.
    // Throws what the engine throws (ora_exception for a refused logon).
    void connect_oracle_server();
    // The connected source database, or null.
    udb_database* database() const { return database_.get(); }
    // Counts the connections made (each connect or replacement of the source
    // database): a page that lists the source's tables reads them again when
    // it changed.
    uint64_t connection_serial() const { return connection_serial_; }
    // Replaces the source database (deleting the old one).
    void set_database(std::unique_ptr<udb_database> database);
    ora_engine& engine() { return engine_; }

    // The query check of the query dialog: connects when needed and asks the
    // server; any failure gives false.
    bool test_query(const std::u16string& text);

    // "Oracle settings": host (read from "host", or from "IP" as older
    // profiles have it), "password", "port", "user"; each only when present
    // and not empty. Storing writes the values that are not empty.
    bool load_profile(const udb_profile& profile);
    bool store_profile(udb_profile& profile) const;

  private:
    ora_engine engine_;
    std::unique_ptr<udb_database> database_;  // declared after the engine: deleted first
    uint64_t connection_serial_ = 0;
};
