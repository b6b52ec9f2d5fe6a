// text_case.cpp - case-insensitive comparison, built on one folding of a
// character.
#include "base/text_case.hpp"

#include <algorithm>
#include <cctype>

namespace kestrel {
namespace {

char folded(char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

bool same_letter(char a, char b) {
    return folded(a) == folded(b);
}

}  // namespace

bool equal_ignoring_case(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), same_letter);
}

bool starts_with_ignoring_case(std::string_view text, std::string_view prefix) {
    return prefix.size() <= text.size() &&
           equal_ignoring_case(text.substr(0, prefix.size()), prefix);
}

bool contains_ignoring_case(std::string_view text, std::string_view fragment) {
    return !fragment.empty() && std::search(text.begin(), text.end(), fragment.begin(),
                                            fragment.end(), same_letter) != text.end();
}

std::string lowered(std::string_view text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(), folded);
    return result;
}

}  // namespace kestrel
