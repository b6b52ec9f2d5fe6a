// session.hpp - logon and logoff of the request's one database session,
// with the connection-reuse check.
#pragma once

#include "frame/request_ctx.hpp"

namespace kestrel {

// Opens (or reuses) the session and its cursor. user and password are both
// null for the service's own account, else the browser's credentials.
// Returns true when a session is ready; otherwise ctx.lda.rc tells why.
bool Logon(request_ctx& ctx, const char* user, const char* password);

// Commits (rollback false) or rolls back, then closes the session unless it
// is kept for reuse. Errors are ignored.
void Logoff(request_ctx& ctx, bool rollback);

}  // namespace kestrel
