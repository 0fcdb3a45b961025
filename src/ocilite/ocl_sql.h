// Statement text handling: the few Oracle spellings SQLite does not know,
// the statement's kind, and what may follow a statement.
#pragma once

#include <string>
#include <string_view>

#include "oci/tsl_oci.h"

// Rewrites, outside literals, quoted names and comments:
//   SYS.name      -> name          (the dictionary views live in the session)
//   SYSDATE       -> the local date and time as 'YYYY-MM-DD HH:MM:SS'
//   SYSTIMESTAMP  -> the same with milliseconds
// Returns the text unchanged when it holds none of them.
std::string ocl_sql_rewrite(std::string_view sql);

// The first word, after blanks, comments and opening parentheses.
std::string_view ocl_sql_first_word(std::string_view sql);

// OCI_STMT_* of the statement by its first word; 0 when not one of them.
ub2 ocl_sql_type(std::string_view sql);

// True when `tail` holds nothing but blanks and comments.
bool ocl_sql_blank(std::string_view tail);
