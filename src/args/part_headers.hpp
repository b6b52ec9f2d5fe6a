// part_headers.hpp - the header lines of one multipart part, read as RFC 7578
// describes them: the form-data disposition with its name and file name, and
// the part's Content-Type. Called for every part before anything is stored.
#pragma once

#include <string_view>

#include "frame/request_ctx.hpp"

namespace kestrel {

struct part_headers {
    bool is_form_data = false;  // a Content-Disposition of type form-data came
    // Decoded in place and NUL-terminated in the body (or ""), so that
    // they pass on as C texts.
    std::string_view name = "";
    std::string_view file_name = "";  // "" for a plain field
    std::string_view mime_type = "";  // "" when the part sent none
    // The blank line that ends the headers; null when the part ran out first.
    char* blank_line = nullptr;
};

// Reads the header lines from first on (through getl; the part must be
// NUL-terminated after its last byte). Parameter values are decoded in place;
// unknown headers and parameters are skipped. Never throws.
part_headers read_part_headers(request_ctx& ctx, char* first);

}  // namespace kestrel
