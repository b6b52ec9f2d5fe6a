// arglist.cpp - the request's argument list: built once after logon from the
// query string, the posted form or a multipart body (read whole into one
// request-pool buffer and cut into parts by multipart.cpp), then read by the
// call block, the include blocks and the error reports.
#include "args/arglist.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string>

#include "args/generic_args.hpp"
#include "args/multipart.hpp"
#include "base/text_case.hpp"
#include "frame/diagnostics.hpp"
#include "frame/pool.hpp"
#include "frame/request_body.hpp"
#include "frame/text_encoding.hpp"
#include "frame/wrb.hpp"
#include "timing/timing.hpp"

namespace kestrel {

namespace {

bool contains(const char* text, const char* what) {
    return text != nullptr && std::strstr(text, what) != nullptr;
}

bool is_multipart(const char* content_type) {
    return contains(content_type, "multipart/form-data") && contains(content_type, "boundary=");
}

void read_multipart(request_ctx& ctx) {
    const std::string_view boundary = parse_content_type(ctx);
    const std::span<char> body = read_request_body(ctx, max_body_size(ctx));
    // Every part is read and counted before the first file is stored, so
    // that a body cut short, a malformed part or a part too many leaves
    // nothing behind.
    const std::vector<form_part> parts = read_parts(ctx, body, boundary);
    for (const form_part& part : parts) {
        const part_headers& headers = part.headers;
        const bool is_file = !headers.file_name.empty();
        check_field_text(ctx, "Field", headers.name,
                         is_file ? headers.file_name
                                 : std::string_view(part.content.data(), part.content.size()));
    }
    for (const form_part& part : parts) {
        process_chunk(ctx, part);
    }
}

bool is_image_button_name(std::string_view name) {
    return name.size() >= 3 && name[name.size() - 2] == '.';
}

// pic.x and pic.y, the coordinates of an image button, both become pic.
void cut_image_button_suffixes(request_ctx& ctx) {
    for (arg_pair& pair : ctx.args) {
        if (is_image_button_name(pair.name)) {
            pair.name = _xheap_strdup(ctx, pair.name.substr(0, pair.name.size() - 2));
        }
    }
}

}  // namespace

void build_arglist(request_ctx& ctx) {
    const char* content_type = wrbgetenv(ctx, "HTTP_CONTENT_TYPE");
    if (content_type == nullptr) {
        content_type = wrbgetenv(ctx, "CONTENT_TYPE");
    }
    const std::uint32_t start = get_hsecs(ctx);

    if (is_multipart(content_type)) {
        read_multipart(ctx);
    } else {
        WRBGetParsedContent(ctx.wrb_handle, ctx, ctx.args);
        for (const arg_pair& pair : ctx.args) {
            check_field_text(ctx, "Field", pair.name, pair.value);
        }
    }
    cut_image_button_suffixes(ctx);
    ctx.arg_unique_count = static_cast<int>(get_unique_names(ctx).size());
    KESTREL_TRACE(ctx, "%zu arguments, %d distinct names", ctx.args.size(), ctx.arg_unique_count);

    maybe_generic(ctx);
    log_timings(ctx, start, get_hsecs(ctx), "BUILD-ARGLIST");
}

void unbuild_arglist(request_ctx& ctx) {
    std::vector<arg_pair>().swap(ctx.args);
    ctx.arg_unique_count = 0;
}

int get_unique_names_cnt(request_ctx& ctx) {
    return ctx.arg_unique_count;
}

void get_maxlen_occurrences(request_ctx& ctx, std::string_view name, std::size_t& width,
                            std::size_t& count) {
    std::size_t longest = 0;
    count = 0;
    for (const arg_pair& pair : ctx.args) {
        if (equal_ignoring_case(pair.name, name)) {
            ++count;
            longest = std::max(longest, pair.value.size());
        }
    }
    width = longest + 2;
}

char* get_values(request_ctx& ctx, std::string_view name, std::size_t& width, std::size_t& count) {
    get_maxlen_occurrences(ctx, name, width, count);
    // Zero-filled by the pool, so every slot is NUL-terminated after its value.
    auto* block = static_cast<char*>(_xheap_alloc(ctx, std::max<std::size_t>(width * count, 1)));
    std::size_t slot = 0;
    for (const arg_pair& pair : ctx.args) {
        if (equal_ignoring_case(pair.name, name)) {
            std::memcpy(block + slot * width, pair.value.data(), pair.value.size());
            ++slot;
        }
    }
    return block;
}

std::vector<std::string_view> get_array_of_values(request_ctx& ctx, std::string_view name) {
    std::vector<std::string_view> values;
    for (const arg_pair& pair : ctx.args) {
        if (equal_ignoring_case(pair.name, name)) {
            values.push_back(pair.value);
        }
    }
    return values;
}

}  // namespace kestrel
