// generic_args.hpp - generic-argument mode: every field goes to the
// database package cgi_args instead of being named in the call.
#pragma once

#include "frame/request_ctx.hpp"

namespace kestrel {

// Hands every pair to cgi_args and empties the list when the service is in
// generic mode (<service>_argv_only).
void maybe_generic(request_ctx& ctx);

}  // namespace kestrel
