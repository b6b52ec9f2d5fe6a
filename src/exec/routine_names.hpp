// routine_names.hpp - which names from a request may become part of a call
// block: identifier syntax and the exclusion list of routines that are no
// web pages. Checked before a name reaches the description or the call.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/identifier.hpp"
#include "frame/request_ctx.hpp"

namespace kestrel {

// An identifier (is_identifier), or two joined by one '.' (schema.routine
// or package.procedure).
bool is_valid_routine_name(std::string_view name);

// The prefixes of names that are never called: the built-in list of catalog
// and toolkit schemas, and after it those of the [DBAUTH] key exclusion_list
// (comma-separated).
std::vector<std::string> exclusion_prefixes(request_ctx& ctx);

// Splits a comma-separated list; blanks around entries and empty entries
// are dropped.
std::vector<std::string> parse_exclusion_list(std::string_view text);

// True when name starts with one of the prefixes, ignoring case.
bool is_excluded(std::string_view name, const std::vector<std::string>& prefixes);

// A name that may be described and called: valid and not excluded.
bool is_callable_routine(request_ctx& ctx, std::string_view name);

}  // namespace kestrel
