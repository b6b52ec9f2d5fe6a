// binds.hpp - bind helpers: attach program variables to the placeholders of
// the statement last parsed on the request cursor. Each returns the client's
// code unchanged (0 = bound); the caller decides what a failure means.
// Bound memory must stay valid until the cursor is parsed again.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "frame/request_ctx.hpp"

namespace kestrel {

// A signed 32-bit integer, read and written in place.
int nbind(request_ctx& ctx, std::string_view name, std::int32_t* value);
// NUL-terminated text; the buffer has room for its length + 2 bytes.
int sbind(request_ctx& ctx, std::string_view name, char* text);
// A request-pool copy of the text that sbind can take: NUL-terminated, with
// the room it expects.
char* bindable_copy(request_ctx& ctx, std::string_view text);
// Long raw: a 4-byte host-order length followed by that many bytes.
int rbind(request_ctx& ctx, std::string_view name, std::byte* varraw);
// An array of texts, bound as fixed-width elements (request pool).
int abind(request_ctx& ctx, std::string_view name, std::span<const std::string_view> values);

}  // namespace kestrel
