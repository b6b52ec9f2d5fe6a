// binds.cpp - bind helpers: attach program variables to the placeholders of
// the statement last parsed on the request cursor. Used by every statement
// with placeholders (environment block, call block, page fetch, documents,
// include blocks, timing rows).
#include "db/binds.hpp"

#include <algorithm>
#include <cstring>

#include "db/session.hpp"
#include "frame/diagnostics.hpp"
#include "frame/pool.hpp"
#include "frame/request_body.hpp"

namespace kestrel {
namespace {

// The array bind's lengths are 16-bit and count the NUL and one spare byte.
constexpr std::size_t array_element_max = 65533;

std::span<std::byte> bytes_of(void* data, std::size_t size) {
    return {static_cast<std::byte*>(data), size};
}

template <typename T>
T* pool_array(request_ctx& ctx, std::size_t count) {
    return static_cast<T*>(_xheap_alloc(ctx, std::max<std::size_t>(count, 1) * sizeof(T)));
}

}  // namespace

char* bindable_copy(request_ctx& ctx, std::string_view text) {
    // The pool fills with zeros: the NUL and the spare byte are there.
    auto* copy = static_cast<char*>(_xheap_alloc(ctx, text.size() + 2));
    text.copy(copy, text.size());  // an empty view may have no data at all
    return copy;
}

int nbind(request_ctx& ctx, std::string_view name, std::int32_t* value) {
    return session_client(ctx).obndrv(
        ctx.cda,
        {.name = name, .buffer = bytes_of(value, sizeof *value), .type = db::data_type::integer});
}

int sbind(request_ctx& ctx, std::string_view name, char* text) {
    return session_client(ctx).obndrv(ctx.cda, {.name = name,
                                                .buffer = bytes_of(text, std::strlen(text) + 2),
                                                .type = db::data_type::string});
}

int rbind(request_ctx& ctx, std::string_view name, std::byte* varraw) {
    std::uint32_t length = 0;
    std::memcpy(&length, varraw, sizeof length);
    return session_client(ctx).obndrv(ctx.cda, {.name = name,
                                                .buffer = bytes_of(varraw, sizeof length + length),
                                                .type = db::data_type::long_varraw});
}

int abind(request_ctx& ctx, std::string_view name, std::span<const std::string_view> values) {
    std::size_t longest = 0;
    for (const auto value : values) {
        longest = std::max(longest, value.size());
    }
    if (longest > array_element_max) {
        // Cutting would pass a different value than the browser sent.
        ctx.cda.rc = db::value_too_long;
        return db::value_too_long;
    }
    const std::size_t count = values.size();
    const std::size_t width = longest + 2;
    // Every value takes a slot as wide as the longest: many short values
    // beside one long one would need far more memory than the form sent.
    // Any form within max_form_body_size fits when its values are alike.
    if (count * width > max_form_body_size(ctx)) {
        die_status(ctx, 413,
                   "Form field '%.*s' has %zu values of up to %zu bytes: more than "
                   "max_form_body_size allows",
                   static_cast<int>(name.size()), name.data(), count, longest);
    }
    auto* buffer = pool_array<char>(ctx, count * width);
    auto* lengths = pool_array<std::uint16_t>(ctx, count);
    auto* indicators = pool_array<std::int16_t>(ctx, count);
    auto* return_codes = pool_array<std::uint16_t>(ctx, count);
    auto* current = pool_array<std::uint32_t>(ctx, 1);
    for (std::size_t i = 0; i < count; ++i) {
        char* slot = buffer + i * width;
        values[i].copy(slot, values[i].size());
        slot[values[i].size()] = '\0';
        lengths[i] = static_cast<std::uint16_t>(width);
        indicators[i] = 0;
    }
    *current = static_cast<std::uint32_t>(count);
    return session_client(ctx).obndra(ctx.cda, {.name = name,
                                                .buffer = {buffer, count * width},
                                                .element_size = width,
                                                .indicators = {indicators, count},
                                                .lengths = {lengths, count},
                                                .return_codes = {return_codes, count},
                                                .max_elements = static_cast<std::uint32_t>(count),
                                                .current_count = current});
}

}  // namespace kestrel
