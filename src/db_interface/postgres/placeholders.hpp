// placeholders.hpp - the ":name" placeholders of blocks and other statements
// sent as written, and their replacement by quoted literals. The scan follows
// the include processor's bind rule, except that it also passes over
// comments, quoted identifiers and dollar quotes, where a spliced literal
// could end the construct and run as code.
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
    std::size_t length = 0;    // ':' and the whole run of name characters
    std::string_view name;
};

// ':' followed by up to 31 ASCII letters, digits or '_' (a longer run is
// cut), outside string literals (E'...' with backslash escapes), quoted
// identifiers, "--" and nested block comments and dollar-quoted strings; the
// character after a name is not examined.
std::vector<placeholder> find_placeholders(std::string_view text);

// Replaces each placeholder for which literal_for gives a value (an SQL
// literal) with that value between two blanks; others stay as written.
std::string splice_literals(
    std::string_view text,
    const std::function<std::optional<std::string>(std::string_view name)>& literal_for);

// "DO $tag$ body $tag$" with a tag that does not occur in body.
std::string do_block(std::string_view body);

}  // namespace kestrel::db::pg
