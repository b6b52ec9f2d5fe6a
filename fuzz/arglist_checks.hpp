// arglist_checks.hpp - what must hold for any argument list, whatever the
// request sent: the form and multipart targets check it after build_arglist.
#pragma once

#include <cstring>
#include <string_view>

#include "args/arglist.hpp"
#include "fuzz_support.hpp"

namespace kestrel::fuzz {

// Every name and value is NUL-terminated where its view ends (they are bound
// as C texts); the getters agree with each other and with the list.
inline void check_arglist(request_ctx& ctx) {
    for (const arg_pair& pair : ctx.args) {
        check(pair.name.data() != nullptr && pair.name.data()[pair.name.size()] == '\0',
              "argument name NUL-terminated at its end");
        check(pair.value.data() != nullptr && pair.value.data()[pair.value.size()] == '\0',
              "argument value NUL-terminated at its end");
    }
    const auto names = get_unique_names(ctx);
    check(static_cast<int>(names.size()) == get_unique_names_cnt(ctx),
          "distinct names counted as listed");
    std::size_t pairs = 0;
    for (const std::string_view name : names) {
        std::size_t width = 0;
        std::size_t count = 0;
        const char* block = get_values(ctx, name, width, count);
        const auto values = get_array_of_values(ctx, name);
        check(count >= 1 && count == values.size(), "each distinct name has its values");
        for (std::size_t i = 0; i < count; ++i) {
            const char* slot = block + i * width;
            const std::size_t len = strnlen(slot, width);
            check(len < width, "packed value terminated inside its slot");
            // A value with a decoded %00 reads, as a C text, up to that byte.
            const std::string_view value = values[i].substr(0, values[i].find('\0'));
            check(std::string_view(slot, len) == value, "packed value equals the value");
        }
        pairs += count;
    }
    check(pairs == ctx.args.size(), "every pair belongs to one distinct name");
}

}  // namespace kestrel::fuzz
