// copy_text.hpp - one row in COPY's text format, for the document insert:
// a large upload streams to the server in pieces straight from the
// gateway's buffer instead of being copied whole into a statement parameter.
#pragma once

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace kestrel::db::pg {

// A text field: backslash, tab, newline and carriage return escaped; none is \N.
std::string copy_text_field(const std::optional<std::string_view>& value);

// A bytea field in hex ("\\x" and two digits a byte), handed to put in
// pieces of at most piece_bytes source bytes; false when put refused one.
bool put_copy_bytea(std::span<const char> bytes, std::size_t piece_bytes,
                    const std::function<bool(std::string_view)>& put);

}  // namespace kestrel::db::pg
