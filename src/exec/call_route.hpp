// call_route.hpp - which routine a procedure request runs and how its
// fields travel: by name (the usual way), as two arrays (a name given with
// a leading '!'), or through the service's path alias. Used by the call
// block (call_block.cpp) before the routine is resolved.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "frame/request_ctx.hpp"

namespace kestrel {

struct call_route {
    std::string routine;              // not yet validated: the call block checks it
    bool flexible = false;            // fields as name_array and value_array
    std::optional<std::string> path;  // the rest of an aliased path, for p_path
};

// The route of procedure_name under the service's owa_path_alias and
// owa_path_alias_procedure: "<alias>" or "<alias>/rest" runs the alias
// procedure with p_path => "rest" ('' for the alias alone); a leading '!'
// (also on the alias procedure) asks for flexible arguments.
call_route route_of(const request_ctx& ctx);

}  // namespace kestrel
