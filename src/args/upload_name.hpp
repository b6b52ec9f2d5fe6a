// upload_name.hpp - the names an upload is known by: the generated document
// name (U, the sequence value, the file's extension) and the browser's file
// name without the client's path. Computed here, never by the database.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrel {

// The longest extension kept, its dot included.
constexpr std::size_t upload_extension_max = 16;

// The file name without a client path: what follows the last '/' or '\'.
std::string_view client_file_name(std::string_view file_name);

// The extension of the file name (from the last '.' of its last path
// component), keeping only [A-Za-z0-9._-] and at most upload_extension_max
// characters; "" when nothing but the dot is left.
std::string upload_extension(std::string_view file_name);

// "U", the sequence value in at least seven digits, the extension.
std::string upload_name(std::uint64_t sequence, std::string_view file_name);

}  // namespace kestrel
