// include_tags.hpp - finds the ORACLE tags that frame database blocks in an
// include file. Used by the include processor (include.cpp) to cut the text.
#pragma once

#include <cstddef>
#include <string_view>

namespace kestrel {

inline constexpr std::size_t no_tag = std::string_view::npos;

// Position of the "<" of the first opening tag (closing false) or closing tag
// (closing true) in text, or no_tag. A tag is "<", any blanks, tabs or line
// feeds, the word ORACLE (closing: /ORACLE) in any case, then a blank, tab,
// line feed, ">" or the end of the text.
std::size_t findOracleTag(std::string_view text, bool closing);

}  // namespace kestrel
