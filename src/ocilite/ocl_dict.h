// The data dictionary a session of the provider shows: the catalog views
// the Oracle source reads (v$version, USER_TABLES, USER_TAB_COLUMNS,
// ALL_VIEWS, USER_VIEWS), DUAL, and the functions NVL and NVL2.
//
// The views are temporary tables of the session, typed with Oracle's column
// types, filled from SQLite's schema and filled again whenever the schema
// changed. A database that holds a table or view of one of these names
// itself keeps its own: the provider creates no temporary table over it (this
// is how a database supplies its own v$version banner, for instance).
#pragma once

#include <string>
#include <string_view>

#include "ocilite/ocl_hand.h"

// The table that, when present, holds the users who may log on.
constexpr const char* ocl_users_table = "TSL_USERS";

// The first row of v$version: a dotted release number the Oracle source can
// read, and the SQLite library underneath.
std::string ocl_banner();

// Creates the session's dictionary and functions. SQLITE_OK or an error.
int ocl_dict_install(ocl_conn& c);

// Refills the dictionary when the schema changed since it was last filled.
int ocl_dict_refresh(ocl_conn& c);

// The query text of a CREATE VIEW statement (what follows its AS), as
// ALL_VIEWS.TEXT shows it; the whole statement when it cannot be split.
std::string ocl_view_query(std::string_view create_sql);
