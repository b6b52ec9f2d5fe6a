// multipart.hpp - multipart/form-data parsing: boundary, line reader, parts.
#pragma once

#include <cstddef>
#include <string_view>

#include "frame/request_ctx.hpp"

namespace kestrel {

// The boundary text of the request's content type; dies when not multipart.
std::string_view parse_content_type(request_ctx& ctx);
// Next CR-ended line, terminated in place; null when the text is used up.
char* getl(request_ctx& ctx, char* text);
// Turns body[first..last] (inclusive) into one pair; stores file parts.
void process_chunk(request_ctx& ctx, char* body, std::ptrdiff_t first, std::ptrdiff_t last);

}  // namespace kestrel
