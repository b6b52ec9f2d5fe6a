// request_report.hpp - the report of a failed request: service, procedure,
// user, URL, parameters and environment.
#pragma once

#include "frame/request_ctx.hpp"

namespace kestrel {

// Writes the report to the error log, and to the client when show is true.
void dump_values(request_ctx& ctx, bool show);

}  // namespace kestrel
