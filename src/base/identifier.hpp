// identifier.hpp - the one rule for a name that may stand in a statement
// unquoted: a letter or '_', then letters, digits, '_' or '$', at most
// identifier_max characters (longer ones the database would cut).
#pragma once

#include <cstddef>
#include <string_view>

namespace kestrel {

inline constexpr std::size_t identifier_max = 63;

bool is_identifier(std::string_view name);

}  // namespace kestrel
