// mime.cpp - lookups over the MIME table of svXXXX.cfg: whether a type is
// known and which type the request URL's extension implies. Documents and
// include files choose their Content-type through these.
#include "config/mime.hpp"

#include <algorithm>

#include "base/text_case.hpp"
#include "frame/wrb.hpp"
#include "frame/wrb_state.hpp"

namespace kestrel {
namespace {

const char* default_type(const request_ctx& ctx) {
    return ctx.config.default_mime_type ? ctx.config.default_mime_type->c_str() : nullptr;
}

bool lists_extension(std::string_view extensions, std::string_view extension) {
    while (!extensions.empty()) {
        const std::size_t start = extensions.find_first_not_of(" \t");
        if (start == std::string_view::npos) {
            return false;
        }
        extensions.remove_prefix(start);
        const std::size_t end = std::min(extensions.find_first_of(" \t"), extensions.size());
        if (equal_ignoring_case(extensions.substr(0, end), extension)) {
            return true;
        }
        extensions.remove_prefix(end);
    }
    return false;
}

}  // namespace

const char* mime_type_for_extension(const request_ctx& ctx, std::string_view extension) {
    if (extension.empty()) {
        return nullptr;
    }
    for (const mime_row& row : ctx.config.mime_table) {
        if (lists_extension(row.extensions, extension)) {
            return row.type.c_str();
        }
    }
    return nullptr;
}

bool isValidMimeType(request_ctx& ctx, std::string_view type) {
    for (const mime_row& row : ctx.config.mime_table) {
        if (row.type == type) {
            return true;
        }
    }
    return false;
}

const char* ext2mimeType(request_ctx& ctx) {
    const std::string_view url = WRBGetURL(ctx.wrb_handle);
    const std::size_t dot = url.find_last_of('.');
    if (dot == std::string_view::npos) {
        return default_type(ctx);
    }
    const std::string_view extension = url.substr(dot + 1);
    for (const mime_row& row : ctx.config.mime_table) {
        if (row.extensions.find(extension) != std::string::npos) {
            return row.type.c_str();
        }
    }
    return default_type(ctx);
}

const char* MyGetReqMimeType(request_ctx& ctx) {
    const char* type = ext2mimeType(ctx);
    return type != nullptr ? type : "text/html";
}

const char* WRBGetReqMimeType(void*) {
    request_ctx* ctx = wrb().clientcxp;
    return ctx != nullptr ? ext2mimeType(*ctx) : nullptr;
}

}  // namespace kestrel
