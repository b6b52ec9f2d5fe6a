// identifier.cpp - the identifier rule, in ASCII whatever the locale.
#include "base/identifier.hpp"

#include <algorithm>

namespace kestrel {
namespace {

bool is_ascii_letter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool is_ascii_digit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

bool is_identifier(std::string_view name) {
    if (name.empty() || name.size() > identifier_max) {
        return false;
    }
    if (!is_ascii_letter(name.front()) && name.front() != '_') {
        return false;
    }
    return std::all_of(name.begin() + 1, name.end(), [](char c) {
        return is_ascii_letter(c) || is_ascii_digit(c) || c == '_' || c == '$';
    });
}

}  // namespace kestrel
