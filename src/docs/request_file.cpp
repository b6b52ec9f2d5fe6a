// request_file.cpp - path confinement and file opening for the include road
// and for stored documents that point at a file.
// A path is confined before it is translated: path_translated on its own
// would hand back an unmapped path unchanged, that is any readable file.
#include "docs/request_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "config/service_resolution.hpp"

namespace kestrel {

bool is_escaping_path(std::string_view path) {
    if (path.find('\0') != std::string_view::npos) {
        return true;
    }
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string_view::npos) {
            end = path.size();
        }
        if (path.substr(start, end - start) == "..") {
            return true;
        }
        start = end + 1;
    }
    return false;
}

bool has_dir_map(const request_ctx& ctx, std::string_view url_path) {
    std::size_t n = url_path.size();
    while (n != 0) {
        const std::string_view prefix = url_path.substr(0, n);
        for (const dir_map& map : ctx.config.dir_maps) {
            if (map.virtual_path == prefix) {
                return true;
            }
        }
        do {
            --n;
        } while (n > 0 && url_path[n - 1] != '/');
    }
    return false;
}

std::optional<std::string> request_file_path(request_ctx& ctx) {
    const std::string url_path = "/" + ctx.procedure_name;
    if (is_escaping_path(url_path) || !has_dir_map(ctx, url_path)) {
        return std::nullopt;
    }
    return path_translated(ctx);
}

file_handle open_regular_file(const std::string& path) {
    // O_NONBLOCK keeps a pipe from stalling the request; it is cleared again
    // once the descriptor is known to be a regular file.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return file_handle{};
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return file_handle{};
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) {
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    }
    std::FILE* f = ::fdopen(fd, "rb");
    if (f == nullptr) {
        ::close(fd);
    }
    return file_handle{f};
}

std::optional<std::size_t> file_size(std::FILE* f) {
    struct stat st {};
    if (::fstat(::fileno(f), &st) != 0 || st.st_size < 0) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(st.st_size);
}

}  // namespace kestrel
