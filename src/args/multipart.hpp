// multipart.hpp - multipart/form-data parsing: boundary, line reader, the cut
// of the body into parts and the turning of each part into a pair.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>
#include <vector>

#include "args/part_headers.hpp"
#include "frame/request_ctx.hpp"

namespace kestrel {

// One part of the body, read but not yet stored.
struct form_part {
    part_headers headers;
    std::span<char> content;  // empty when the part has none
};

// The boundary text of the request's content type; dies when not multipart.
std::string_view parse_content_type(request_ctx& ctx);
// Next CR-ended line, terminated in place; null when the text is used up.
char* getl(request_ctx& ctx, char* text);
// Cuts the whole body at the boundary and reads every part's headers. Dies,
// before anything is stored, when the body ends before its closing boundary
// or a part is not form-data. Names and values point into the body.
std::vector<form_part> read_parts(request_ctx& ctx, std::span<char> body,
                                  std::string_view boundary);
// Appends the part's pair; a file part's content is stored first and the
// pair's value is the stored document's name.
void process_chunk(request_ctx& ctx, const form_part& part);

}  // namespace kestrel
