// multipart.cpp - multipart/form-data parsing: the boundary of the content
// type, a line reader over the body and the turning of one part into an
// argument pair. build_arglist cuts the body; file parts go to ldimage.
#include "args/multipart.hpp"

#include <strings.h>

#include <cstring>

#include "args/document_store.hpp"
#include "frame/diagnostics.hpp"
#include "frame/pool.hpp"

namespace kestrel {

namespace {

constexpr std::size_t args_growth = 100;

// The text between the double quote that ends marker and the next double
// quote, which is overwritten so the rest of the line is no longer seen.
const char* quoted_attribute(char* line, const char* marker) {
    char* found = std::strstr(line, marker);
    if (found == nullptr) {
        return "";
    }
    char* const value = found + std::strlen(marker);
    char* const close = std::strchr(value, '"');
    if (close != nullptr) {
        *close = '\0';
    }
    return value;
}

void append_pair(request_ctx& ctx, std::string_view name, std::string_view value) {
    if (ctx.args.size() == ctx.args.capacity()) {
        ctx.args.reserve(ctx.args.capacity() + args_growth);
    }
    ctx.args.push_back({name, value});
}

}  // namespace

std::string_view parse_content_type(request_ctx& ctx) {
    const char* value = wrbgetenv(ctx, "HTTP_CONTENT_TYPE");
    if (value == nullptr) {
        value = wrbgetenv(ctx, "CONTENT_TYPE");
    }
    if (value == nullptr || std::strstr(value, "multipart/form-data") == nullptr ||
        std::strstr(value, "boundary=") == nullptr) {
        die_status(ctx, 400, "Content Type must be multipart/form-data, not %s",
                   value != nullptr ? value : "*Null*");
    }
    char* const copy = _xheap_strdup(ctx, value);
    char* const boundary = std::strstr(copy, "boundary=") + std::strlen("boundary=");
    boundary[std::strcspn(boundary, ";\n")] = '\0';
    return boundary;
}

char* getl(request_ctx& ctx, char* text) {
    if (text != nullptr) {
        ctx.line_pos = text;
    }
    char* const line = ctx.line_pos;
    if (line == nullptr) {
        return nullptr;
    }
    char* const cr = std::strchr(line, '\r');
    if (cr == nullptr) {
        ctx.line_pos = nullptr;
        return line;
    }
    *cr = '\0';
    ctx.line_pos = cr[1] == '\n' ? cr + 2 : cr + 1;
    return line;
}

void process_chunk(request_ctx& ctx, char* body, std::ptrdiff_t first, std::ptrdiff_t last) {
    // A part too short to hold even an empty line has no disposition line.
    // Otherwise it is ended in place, so the line reader never runs into the
    // next part and a plain value is terminated where the part ends.
    if (first < 0 || last + 1 < first) {
        die_status(ctx, 400, "Not supported Content-Disposition");
    }
    body[last + 1] = '\0';

    static constexpr char disposition[] = "Content-Disposition: form-data;";
    char* const line = getl(ctx, body + first);
    if (std::strncmp(line, disposition, sizeof disposition - 1) != 0) {
        die_status(ctx, 400, "Not supported Content-Disposition");
    }
    // Browsers send the name first; a filename in front of it hides the name,
    // because the file name's closing quote ends the line.
    const std::string_view file_name = quoted_attribute(line, " filename=\"");
    const std::string_view name = quoted_attribute(line, " name=\"");

    std::string_view mime_type = "application/octet-stream";
    char* header = nullptr;
    while ((header = getl(ctx, nullptr)) != nullptr && *header != '\0') {
        if (strncasecmp(header, "Content-type: ", 14) == 0) {
            mime_type = header + 14;
        }
    }

    std::string_view value = "";
    if (header != nullptr) {
        const std::ptrdiff_t start = (header - body) + 2;
        const std::ptrdiff_t length = last + 1 - start;
        if (length > 0 && !file_name.empty()) {
            value = ldimage(ctx, {body + start, static_cast<std::size_t>(length)}, mime_type,
                            file_name);
        } else if (length > 0) {
            value = body + start;
        }
    }
    KESTREL_TRACE(ctx, "part %.*s, file '%.*s', %zu bytes", static_cast<int>(name.size()),
                  name.data(), static_cast<int>(file_name.size()), file_name.data(), value.size());
    append_pair(ctx, name, value);
}

}  // namespace kestrel
