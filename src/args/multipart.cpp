// multipart.cpp - multipart/form-data parsing: the boundary of the content
// type, a line reader over the body, the cut of the body into parts and the
// turning of each part into an argument pair. build_arglist reads the body;
// every part is read before the first file part goes to ldimage.
#include "args/multipart.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>

#include "args/document_store.hpp"
#include "frame/diagnostics.hpp"
#include "frame/pool.hpp"
#include "frame/request_body.hpp"

namespace kestrel {

namespace {

constexpr std::size_t args_growth = 100;

// Where one part lies in the body: its first and last byte, inclusive.
struct part_extent {
    std::ptrdiff_t first;
    std::ptrdiff_t last;
};

bool closes_at(std::span<const char> body, std::size_t i) {
    return i + 2 <= body.size() && body[i] == '-' && body[i + 1] == '-';
}

// The parts between occurrences of the boundary text, which is matched at
// every byte (content that holds it ends its part there). A part ends before
// the CR, LF and "--" in front of the next occurrence and starts after the
// CR and LF behind its own. None when the text never comes followed by "--",
// the closing boundary: the body was cut short.
std::optional<std::vector<part_extent>> cut_at_boundaries(request_ctx& ctx,
                                                          std::span<const char> body,
                                                          std::string_view boundary) {
    const std::size_t n = boundary.size();
    const std::uint64_t limit = max_form_fields(ctx);
    std::vector<part_extent> parts;
    std::optional<std::ptrdiff_t> part_start;
    for (std::size_t i = 0; n > 0 && i + n <= body.size(); i += n + 1) {
        const void* hit = memmem(body.data() + i, body.size() - i, boundary.data(), n);
        if (hit == nullptr) {
            break;
        }
        i = static_cast<std::size_t>(static_cast<const char*>(hit) - body.data());
        const auto at = static_cast<std::ptrdiff_t>(i);
        if (part_start) {
            if (parts.size() >= limit) {
                die_status(ctx, 413, "Too many form fields: more than %llu",
                           static_cast<unsigned long long>(limit));
            }
            parts.push_back({*part_start, at - 5});
        }
        if (closes_at(body, i + n)) {
            return parts;
        }
        part_start = at + static_cast<std::ptrdiff_t>(n) + 2;
    }
    return std::nullopt;
}

// Reads one part's headers and finds its content; the part is ended in place
// so that the line reader never runs into the next one.
form_part read_part(request_ctx& ctx, char* body, part_extent extent) {
    // A part too short to hold even an empty line has no disposition line.
    if (extent.first < 0 || extent.last + 1 < extent.first) {
        die_status(ctx, 400, "Not supported Content-Disposition");
    }
    body[extent.last + 1] = '\0';
    form_part part{read_part_headers(ctx, body + extent.first), {}};
    if (!part.headers.is_form_data) {
        die_status(ctx, 400, "Not supported Content-Disposition");
    }
    if (part.headers.blank_line != nullptr) {
        // The content starts after the blank line's CR and LF.
        const std::ptrdiff_t start = (part.headers.blank_line - body) + 2;
        const std::ptrdiff_t length = extent.last + 1 - start;
        if (length > 0) {
            part.content = {body + start, static_cast<std::size_t>(length)};
        }
    }
    return part;
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

std::vector<form_part> read_parts(request_ctx& ctx, std::span<char> body,
                                  std::string_view boundary) {
    const auto extents = cut_at_boundaries(ctx, body, boundary);
    if (!extents) {
        die_status(ctx, 400, "Multipart body ends before its closing boundary");
    }
    std::vector<form_part> parts;
    parts.reserve(extents->size());
    for (const part_extent& extent : *extents) {
        parts.push_back(read_part(ctx, body.data(), extent));
    }
    const auto files = static_cast<std::uint64_t>(
        std::count_if(parts.begin(), parts.end(),
                      [](const form_part& p) { return !p.headers.file_name.empty(); }));
    if (const std::uint64_t limit = max_file_parts(ctx); files > limit) {
        die_status(ctx, 413, "Too many file parts: %llu, at most %llu allowed",
                   static_cast<unsigned long long>(files), static_cast<unsigned long long>(limit));
    }
    return parts;
}

void process_chunk(request_ctx& ctx, const form_part& part) {
    const part_headers& headers = part.headers;
    std::string_view value = "";
    if (!part.content.empty() && !headers.file_name.empty()) {
        value = ldimage(ctx, part.content, headers.mime_type, headers.file_name);
    } else if (!part.content.empty()) {
        value = part.content.data();  // a text, ended where the part ends
    }
    KESTREL_TRACE(ctx, "part %.*s, file '%.*s', %zu bytes", static_cast<int>(headers.name.size()),
                  headers.name.data(), static_cast<int>(headers.file_name.size()),
                  headers.file_name.data(), value.size());
    append_pair(ctx, headers.name, value);
}

}  // namespace kestrel
