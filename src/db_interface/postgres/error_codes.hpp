// error_codes.hpp - the return codes the gateway judges, derived from
// PostgreSQL's SQLSTATEs, and the texts that go with them. The codes the
// backend raises itself (no row, too many rows, a missing routine) have
// fixed texts; server errors keep PostgreSQL's own words.
#pragma once

#include <libpq-fe.h>

#include <string>
#include <string_view>

namespace kestrel::db::pg {

// Codes of the backend's own making (the gateway's shared ones are in client.hpp).
inline constexpr int no_statement = 1003;     // a cursor call before any parse
inline constexpr int not_all_bound = 1008;    // a placeholder without a bind
inline constexpr int not_logged_on = 1012;    // a cursor call without a session
inline constexpr int too_many_rows = 1422;    // an exact fetch found several rows
inline constexpr int connection_lost = 3113;  // the server went away
inline constexpr int cannot_connect = 12541;  // logon failed for another reason
inline constexpr int invalid_text = 29275;    // a value that is not valid text

// 28P01, 28000: 1017; 42P01: 942; 42883, 42725, 42601: 6550 (the call or
// block does not compile); connection failures: 3113; any other SQLSTATE a
// stable code between 30000 and 32699.
int code_for_sqlstate(std::string_view sqlstate);

// The code of an error with its CONTEXT: a state that means "the call does
// not compile" raised inside a routine (a context is present) is a failure
// of the routine, not of the call, and gets the state's folded code.
int code_for_error(std::string_view sqlstate, std::string_view context);

// "ERROR:  message (SQLSTATE xxxxx)" with DETAIL, HINT, QUERY and POSITION
// (or the statement's POSITION) and CONTEXT lines when present.
std::string error_text(const PGresult* r);

// One field of an error result, empty when absent.
std::string field(const PGresult* r, int code);

// The fixed text of a code the backend raises itself.
std::string standard_message(int code);

}  // namespace kestrel::db::pg
