// page.hpp - fetches the page buffer in batches of 27 lines and writes every
// line to the client unchanged.
#pragma once

#include "frame/request_ctx.hpp"

namespace kestrel {

void dump_page(request_ctx& ctx);

}  // namespace kestrel
