// byte_range.cpp - Range header parsing; see byte_range.hpp.
#include "docs/byte_range.hpp"

#include <algorithm>
#include <charconv>
#include <optional>

#include "base/text_case.hpp"
#include "base/text_trim.hpp"

namespace kestrel {
namespace {

// Digits only, no sign; none when empty, not a number or out of range.
std::optional<std::uint64_t> number(std::string_view text) {
    std::uint64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc{} || stop != end) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

byte_range parse_byte_range(const char* header, std::uint64_t size) {
    const byte_range whole{};
    if (header == nullptr) {
        return whole;
    }
    constexpr std::string_view unit = "bytes=";
    std::string_view value = trim_blanks(header);
    if (!starts_with_ignoring_case(value, unit)) {
        return whole;
    }
    value = trim_blanks(value.substr(unit.size()));
    const std::size_t dash = value.find('-');
    if (dash == std::string_view::npos || value.find(',') != std::string_view::npos) {
        return whole;
    }
    const std::string_view first_text = trim_blanks(value.substr(0, dash));
    const std::string_view last_text = trim_blanks(value.substr(dash + 1));
    const byte_range unsatisfiable{byte_range::kind::unsatisfiable};
    if (first_text.empty()) {
        const auto suffix = number(last_text);
        if (!suffix) {
            return whole;
        }
        if (*suffix == 0 || size == 0) {
            return unsatisfiable;
        }
        const std::uint64_t count = std::min(*suffix, size);
        return {byte_range::kind::slice, size - count, count};
    }
    const auto first = number(first_text);
    const auto last =
        last_text.empty() ? std::optional<std::uint64_t>(UINT64_MAX) : number(last_text);
    if (!first || !last || *last < *first) {
        return whole;
    }
    if (*first >= size) {
        return unsatisfiable;
    }
    const std::uint64_t end = std::min(*last, size - 1);
    return {byte_range::kind::slice, *first, end - *first + 1};
}

}  // namespace kestrel
