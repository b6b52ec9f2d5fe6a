// placeholders.hpp - the ":name" placeholders of blocks and other statements
// sent as written, and their replacement by quoted literals. The scan is the
// one the include processor binds with, so exactly the placeholders it bound
// are replaced.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrel::db::pg {

struct placeholder {
    std::size_t position = 0;  // of the ':'
    std::size_t length = 0;    // ':' and the name
    std::string_view name;
};

// ':' outside single quotes followed by up to 31 ASCII letters, digits or
// '_' (a longer run is cut); the character after a name is not examined.
std::vector<placeholder> find_placeholders(std::string_view text);

// Replaces each placeholder for which literal_for gives a value (an SQL
// literal) with that value; others stay as written.
std::string splice_literals(
    std::string_view text,
    const std::function<std::optional<std::string>(std::string_view name)>& literal_for);

// "DO $tag$ body $tag$" with a tag that does not occur in body.
std::string do_block(std::string_view body);

}  // namespace kestrel::db::pg
