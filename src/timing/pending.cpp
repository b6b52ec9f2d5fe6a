// pending.cpp - TEMPORARY definitions until the timing log lands.
#include <stdexcept>

#include "timing/timing.hpp"

namespace kestrel {
std::uint32_t get_hsecs(request_ctx&) { throw std::logic_error("pending"); }
void log_timings(request_ctx&, std::uint32_t, std::uint32_t, const char*) {
    throw std::logic_error("pending");
}
}  // namespace kestrel
