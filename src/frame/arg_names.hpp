// arg_names.hpp - the names of the request's argument list, compared without
// regard to case: what the request report and the database error texts need
// of the list that the argument layer builds.
#pragma once

#include <string_view>
#include <vector>

#include "frame/request_ctx.hpp"

namespace kestrel {

// Each distinct name once, in order of first occurrence, first spelling.
std::vector<std::string_view> get_unique_names(const request_ctx& ctx);

}  // namespace kestrel
