// timing.hpp - request phases measured with the database clock and stored
// as rows of the timing table, when timing is switched on.
#pragma once

#include <cstdint>
#include <string_view>

#include "frame/request_ctx.hpp"

namespace kestrel {

// The database clock in hundredths of a second; 0 when timing is off (no
// query is sent) or the query fails.
std::uint32_t get_hsecs(request_ctx& ctx);

// Inserts one timing row when timing is on and the tag is timed. Failures go
// to the trace only.
void log_timings(request_ctx& ctx, std::uint32_t start, std::uint32_t stop, const char* tag);

}  // namespace kestrel
