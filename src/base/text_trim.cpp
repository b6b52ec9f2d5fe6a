// text_trim.cpp - see text_trim.hpp.
#include "base/text_trim.hpp"

namespace kestrel {

std::string_view trim_blanks(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

}  // namespace kestrel
