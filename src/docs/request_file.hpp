// request_file.hpp - turns a request name into a file path that stays inside
// the directories of [DirMaps], and opens files for the document roads.
// Every path built from a request goes through request_file_path.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "base/text_file.hpp"
#include "frame/request_ctx.hpp"

namespace kestrel {

// True when the path has a ".." segment or a NUL byte.
bool is_escaping_path(std::string_view path);

// True when some directory map covers the URL path, by the same rule that
// path_translated applies (the whole path, then each prefix ending in "/").
bool has_dir_map(const request_ctx& ctx, std::string_view url_path);

// The file for "/" + procedure_name through the directory maps; none when no
// map covers it or it has a ".." segment, so the caller answers 404.
std::optional<std::string> request_file_path(request_ctx& ctx);

// Opens a regular file for reading ("rb"); none for anything else (missing,
// unreadable, a directory, a device or a pipe). Never blocks on a pipe.
file_handle open_regular_file(const std::string& path);

// The file's size in bytes, or none when it cannot be taken.
std::optional<std::size_t> file_size(std::FILE* f);

}  // namespace kestrel
