// describe.hpp - asks the database which arguments a routine takes, which
// have defaults and which are tables (arrays), before the call block is
// written. Runs on the request cursor and leaves it parsed with its block.
#pragma once

#include <string>
#include <vector>

#include "frame/request_ctx.hpp"

namespace kestrel {

// Most argument names a description keeps.
inline constexpr std::size_t describe_names_max = 255;

// Describes the routine name. When it exists: fills ctx.proc_arg_names,
// ctx.proc_arg_has_default and ctx.proc_described, sets table_count to the
// number of table (array) arguments and returns their names. When it does
// not exist: table_count is -1 and the result empty. Any other database
// failure, and a routine with more than describe_names_max arguments, ends
// the request through die.
std::vector<std::string> oci_describe(request_ctx& ctx, const char* name, int& table_count);

// The pieces of text between '|' separators; runs of '|' count as one and
// empty pieces are dropped.
std::vector<std::string> split_names(std::string_view text);

}  // namespace kestrel
