// service_resolution.hpp - maps the request URL to a service block, a request
// type and a procedure name; translates request paths through the directory
// maps; tells which timing tags are logged.
#pragma once

#include <string>
#include <string_view>

#include "frame/request_ctx.hpp"

namespace kestrel {

// Resolves the request; fails through xdie when no block serves the URL.
void set_session_state(request_ctx& ctx);

// The file path for "/" + procedure_name through the directory maps.
std::string path_translated(request_ctx& ctx);

bool isTimed(request_ctx& ctx, std::string_view tag);

}  // namespace kestrel
