// cursor_error.hpp - the one way procedure execution fails on a database
// error: the cursor's message (with the mismatch report after 6550) as the
// fatal error of the request.
#pragma once

#include "frame/request_ctx.hpp"

namespace kestrel {

// die with the text of oerr_cda; never returns.
[[noreturn]] void die_with_database_error(request_ctx& ctx);

}  // namespace kestrel
