// text_case.hpp - comparing texts without regard to case (ASCII letters:
// the gateway never switches from the "C" locale). Names of form fields,
// services, procedures, headers and configuration keys all compare so.
#pragma once

#include <string>
#include <string_view>

namespace kestrel {

bool equal_ignoring_case(std::string_view a, std::string_view b);
bool starts_with_ignoring_case(std::string_view text, std::string_view prefix);
bool contains_ignoring_case(std::string_view text, std::string_view fragment);

// The text with its letters in lower case.
std::string lowered(std::string_view text);

}  // namespace kestrel
