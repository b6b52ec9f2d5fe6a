// stored_file.hpp - the file a document row names (a negative size): the
// download road serves it only from inside the service's <service>_filedir,
// where the upload road wrote it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "frame/request_ctx.hpp"

namespace kestrel {

// The resolved path when path, with every symlink followed, names an
// existing file strictly inside the resolved directory dir; none otherwise.
std::optional<std::string> path_inside(std::string_view dir, std::string_view path);

// The stored path confined to the service's <service>_filedir. Dies when the
// setting is absent or empty, or when the path leads elsewhere.
std::string confined_stored_path(request_ctx& ctx, const std::string& path);

}  // namespace kestrel
