// arglist.cpp - the request's argument list: built once after logon from the
// query string, the posted form or a multipart body (read whole into one
// request-pool buffer and cut into parts by multipart.cpp), then read by the
// call block, the include blocks and the error reports.
#include "args/arglist.hpp"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <unordered_set>

#include "args/generic_args.hpp"
#include "args/multipart.hpp"
#include "frame/diagnostics.hpp"
#include "frame/pool.hpp"
#include "frame/wrb.hpp"
#include "timing/timing.hpp"

namespace kestrel {

namespace {

constexpr std::size_t default_chunk_size = 10240;
constexpr std::uint64_t default_max_body_size = 256ull * 1024 * 1024;
// A body must fit a pool block (32-bit size) and a document length (signed
// 32-bit), whatever the configuration asks for.
constexpr std::uint64_t hard_max_body_size = std::numeric_limits<std::int32_t>::max() - 1;

// The leading decimal digits of a text (blanks in front skipped), saturating
// instead of overflowing; whole is set when nothing else follows them.
struct decimal_reading {
    std::optional<std::uint64_t> value;
    bool whole = false;
};

decimal_reading read_decimal(const char* text) {
    if (text == nullptr) {
        return {};
    }
    while (*text == ' ' || *text == '\t') {
        ++text;
    }
    const char* const end = text + std::strlen(text);
    std::uint64_t value = 0;
    const auto [stop, error] = std::from_chars(text, end, value);
    if (stop == text) {
        return {};
    }
    if (error == std::errc::result_out_of_range) {
        value = std::numeric_limits<std::uint64_t>::max();
    }
    return {value, stop == end};
}

std::size_t chunk_size(request_ctx& ctx) {
    const auto reading = read_decimal(WRBGetConfigVal(ctx.wrb_handle, "read_chunk_size"));
    if (!reading.value || *reading.value == 0) {
        return default_chunk_size;
    }
    return static_cast<std::size_t>(std::min<std::uint64_t>(*reading.value, 1u << 30));
}

std::uint64_t max_body_size(request_ctx& ctx) {
    const auto reading = read_decimal(WRBGetConfigVal(ctx.wrb_handle, "max_body_size"));
    if (!reading.value || *reading.value == 0) {
        return std::min(default_max_body_size, hard_max_body_size);
    }
    return std::min(*reading.value, hard_max_body_size);
}

bool contains(const char* text, const char* what) {
    return text != nullptr && std::strstr(text, what) != nullptr;
}

bool is_multipart(const char* content_type) {
    return contains(content_type, "multipart/form-data") && contains(content_type, "boundary=");
}

// Refuses a body over the limit before a byte of it is read. The length is
// read leniently (leading digits) so that no reading of CONTENT_LENGTH can
// slip a larger body past this check.
void check_body_size(request_ctx& ctx) {
    const auto reading = read_decimal(wrbgetenv(ctx, "CONTENT_LENGTH"));
    const std::uint64_t limit = max_body_size(ctx);
    if (reading.value && *reading.value > limit) {
        die_status(ctx, 413, "Request body of %llu bytes exceeds the limit of %llu bytes",
                   static_cast<unsigned long long>(*reading.value),
                   static_cast<unsigned long long>(limit));
    }
}

bool reads_form_body(request_ctx& ctx) {
    const char* method = wrbgetenv(ctx, "REQUEST_METHOD");
    return method != nullptr && method[0] != 'G';
}

// Reads the whole body into one request-pool buffer, NUL-terminated after
// its length. A missing or malformed CONTENT_LENGTH gives an empty body.
std::span<char> read_body(request_ctx& ctx) {
    const auto reading = read_decimal(wrbgetenv(ctx, "CONTENT_LENGTH"));
    if (!reading.value || !reading.whole || *reading.value == 0) {
        return {};
    }
    const auto length = static_cast<std::size_t>(*reading.value);
    const std::size_t chunk = chunk_size(ctx);
    auto* body = static_cast<char*>(_xheap_alloc(ctx, length + 1));
    std::size_t got = 0;
    while (got < length) {
        const std::size_t want = std::min(chunk, length - got);
        const std::size_t n = WRBClientRead(ctx.wrb_handle, body + got, want);
        if (n == 0) {
            die_status(ctx, 400, "Error Reading from Client!");
        }
        got += std::min(n, want);
    }
    body[length] = '\0';
    KESTREL_TRACE(ctx, "read %zu bytes of multipart body", length);
    return {body, length};
}

void read_multipart(request_ctx& ctx) {
    const std::string_view boundary = parse_content_type(ctx);
    check_body_size(ctx);
    // Every part is read before the first file is stored, so that a body
    // cut short or a malformed part leaves nothing behind.
    for (const form_part& part : read_parts(ctx, read_body(ctx), boundary)) {
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

std::string folded(std::string_view name) {
    std::string key(name);
    for (char& c : key) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return key;
}

// Indexes of the pairs whose name no earlier pair has (ignoring case). A set
// keeps this linear: a hostile form may hold millions of fields.
std::vector<std::size_t> first_occurrences(const request_ctx& ctx) {
    std::vector<std::size_t> firsts;
    std::unordered_set<std::string> seen;
    for (std::size_t i = 0; i < ctx.args.size(); ++i) {
        if (seen.insert(folded(ctx.args[i].name)).second) {
            firsts.push_back(i);
        }
    }
    return firsts;
}

}  // namespace

bool same_name(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

void build_arglist(request_ctx& ctx) {
    const char* content_type = wrbgetenv(ctx, "HTTP_CONTENT_TYPE");
    if (content_type == nullptr) {
        content_type = wrbgetenv(ctx, "CONTENT_TYPE");
    }
    const std::uint32_t start = get_hsecs(ctx);

    if (is_multipart(content_type)) {
        read_multipart(ctx);
    } else {
        if (reads_form_body(ctx)) {
            check_body_size(ctx);
        }
        WRBGetParsedContent(ctx.wrb_handle, ctx, ctx.args);
    }
    cut_image_button_suffixes(ctx);
    ctx.arg_unique_count = static_cast<int>(first_occurrences(ctx).size());
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

std::vector<std::string_view> get_unique_names(request_ctx& ctx) {
    std::vector<std::string_view> names;
    for (const std::size_t i : first_occurrences(ctx)) {
        names.push_back(ctx.args[i].name);
    }
    return names;
}

void get_maxlen_occurrences(request_ctx& ctx, std::string_view name, std::size_t& width,
                            std::size_t& count) {
    std::size_t longest = 0;
    count = 0;
    for (const arg_pair& pair : ctx.args) {
        if (same_name(pair.name, name)) {
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
        if (same_name(pair.name, name)) {
            std::memcpy(block + slot * width, pair.value.data(), pair.value.size());
            ++slot;
        }
    }
    return block;
}

std::vector<std::string_view> get_array_of_values(request_ctx& ctx, std::string_view name) {
    std::vector<std::string_view> values;
    for (const arg_pair& pair : ctx.args) {
        if (same_name(pair.name, name)) {
            values.push_back(pair.value);
        }
    }
    return values;
}

}  // namespace kestrel
