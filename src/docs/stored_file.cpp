// stored_file.cpp - a row of the document table may name a file. The row is
// data that anyone allowed to insert documents can write, so its path is
// trusted no further than the directory uploads go to: resolved with every
// symlink followed, it must stay inside <service>_filedir.
#include "docs/stored_file.hpp"

#include <cstdlib>
#include <memory>

#include "frame/diagnostics.hpp"
#include "frame/wrb.hpp"

namespace kestrel {
namespace {

struct free_deleter {
    void operator()(char* p) const noexcept { std::free(p); }
};

std::optional<std::string> resolved(std::string_view path) {
    const std::string text(path);
    if (text.empty() || text.find('\0') != std::string::npos) {
        return std::nullopt;
    }
    const std::unique_ptr<char, free_deleter> real(realpath(text.c_str(), nullptr));
    if (!real) {
        return std::nullopt;
    }
    return std::string(real.get());
}

}  // namespace

std::optional<std::string> path_inside(std::string_view dir, std::string_view path) {
    const auto real_dir = resolved(dir);
    auto real_path = resolved(path);
    if (!real_dir || !real_path) {
        return std::nullopt;
    }
    const std::string prefix = real_dir->ends_with('/') ? *real_dir : *real_dir + "/";
    if (real_path->size() <= prefix.size() || !real_path->starts_with(prefix)) {
        return std::nullopt;
    }
    return real_path;
}

std::string confined_stored_path(request_ctx& ctx, const std::string& path) {
    const std::string key = ctx.service_name + "_filedir";
    const char* dir = WRBGetConfigVal(ctx.wrb_handle, key);
    if (dir == nullptr || *dir == '\0') {
        die(ctx, "No directory set in %s", key.c_str());
    }
    const auto inside = path_inside(dir, path);
    if (!inside) {
        die_status(ctx, 403, "Stored file %s is not inside %s", path.c_str(), key.c_str());
    }
    return *inside;
}

}  // namespace kestrel
