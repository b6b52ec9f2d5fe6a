// text_trim.hpp - blanks around header values, configuration words and
// routine names do not count.
#pragma once

#include <string_view>

namespace kestrel {

// The text without the spaces and tabs at either end.
std::string_view trim_blanks(std::string_view text);

}  // namespace kestrel
