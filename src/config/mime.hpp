// mime.hpp - lookups over the MIME table of svXXXX.cfg.
#pragma once

#include <string_view>

#include "frame/request_ctx.hpp"

namespace kestrel {

bool isValidMimeType(request_ctx& ctx, std::string_view type);
// The type implied by the request URL's extension, else the default type
// (null when none is held).
const char* ext2mimeType(request_ctx& ctx);
// The type the table maps the extension (without its dot, compared ignoring
// case with each blank-separated word of a row) to; null when none does.
const char* mime_type_for_extension(const request_ctx& ctx, std::string_view extension);
// ext2mimeType, or "text/html" when no type is held.
const char* MyGetReqMimeType(request_ctx& ctx);
// ext2mimeType of the process's context (the web request interface's call).
const char* WRBGetReqMimeType(void* handle);

}  // namespace kestrel
