// generic_args.hpp - generic-argument mode and the request report.
#pragma once

#include "frame/request_ctx.hpp"

namespace kestrel {

// Hands every pair to cgi_args and empties the list when the service is in
// generic mode (<service>_argv_only).
void maybe_generic(request_ctx& ctx);

// Writes the request report to the error log, and to the client when show.
void dump_values(request_ctx& ctx, bool show);

}  // namespace kestrel
