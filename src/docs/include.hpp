// include.hpp - server-side include files: HTML text whose ORACLE-tagged
// blocks run in the database, and other files sent as they are.
#pragma once

#include "frame/request_ctx.hpp"

namespace kestrel {

void owassi(request_ctx& ctx);

}  // namespace kestrel
