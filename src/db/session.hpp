// session.hpp - logon and logoff of the request's one database session,
// with the connection-reuse check.
#pragma once

#include "db_interface/client.hpp"
#include "frame/request_ctx.hpp"

namespace kestrel {

// Opens (or reuses) the session and its cursor. user and password are both
// null for the service's own account, else the browser's credentials.
// Returns true when a session is ready; otherwise ctx.lda.rc tells why.
bool Logon(request_ctx& ctx, const char* user, const char* password);

// Commits (rollback false) or rolls back, then closes the session unless it
// is kept for reuse. A failed commit ends the request through die with the
// database's message (the caller's recovery rolls back); other errors are
// ignored.
void Logoff(request_ctx& ctx, bool rollback);

// Fills who with the account to log on with and exports ORACLE_HOME and
// ORACLE_SID of the service. Returns 1 when a logon is needed, 0 when the
// open session serves this account. Used by Logon.
int get_userid(request_ctx& ctx, const char* user, const char* password, db::logon_request& who);

// 1 when the open session belongs to user and password; otherwise closes
// whatever session there was and returns 0. Used by get_userid.
int reUseConnect(request_ctx& ctx, const std::string& user, const std::string& password);

// Closes the cursor and the session, even a kept one, and forgets whose it was.
void close_session(request_ctx& ctx);

// The session's client, created with db::make_client() on first use.
db::client& session_client(request_ctx& ctx);

}  // namespace kestrel
