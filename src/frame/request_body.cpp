// request_body.cpp - reading the request body. Every body is read whole and
// checked against its announced length: a short body ends the request
// instead of running the procedure on half a form, and a body the web server
// passes on without a length (chunked) is read to its end, not dropped.
#include "frame/request_body.hpp"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <limits>
#include <vector>

#include "frame/diagnostics.hpp"
#include "frame/pool.hpp"
#include "frame/wrb.hpp"

namespace kestrel {
namespace {

constexpr std::uint64_t default_max_body_size = 256ull * 1024 * 1024;
constexpr std::uint64_t default_max_form_body_size = 12ull * 1024 * 1024;
constexpr std::uint64_t default_max_form_fields = 10000;
constexpr std::uint64_t default_max_file_parts = 100;
// A body must fit a pool block (32-bit size) and a document length (signed
// 32-bit), whatever the configuration asks for.
constexpr std::uint64_t hard_max_body_size = std::numeric_limits<std::int32_t>::max() - 1;
constexpr std::size_t default_chunk_size = 10240;

// A positive [DBAUTH] number, else the default.
std::uint64_t setting(request_ctx& ctx, const char* key, std::uint64_t fallback) {
    const char* text = WRBGetConfigVal(ctx.wrb_handle, key);
    const auto value = text != nullptr ? parse_content_length(text) : std::nullopt;
    return value && *value > 0 ? *value : fallback;
}

std::size_t chunk_size(request_ctx& ctx) {
    return static_cast<std::size_t>(
        std::min<std::uint64_t>(setting(ctx, "read_chunk_size", default_chunk_size), 1u << 30));
}

[[noreturn]] void die_over_limit(request_ctx& ctx, std::uint64_t size, std::uint64_t limit) {
    die_status(ctx, 413, "Request body of %llu bytes exceeds the limit of %llu bytes",
               static_cast<unsigned long long>(size), static_cast<unsigned long long>(limit));
}

std::span<char> read_announced(request_ctx& ctx, std::size_t length) {
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
    return {body, length};
}

std::span<char> read_to_end(request_ctx& ctx, std::uint64_t limit) {
    const std::size_t chunk = chunk_size(ctx);
    std::vector<char> bytes;
    for (;;) {
        const std::size_t at = bytes.size();
        bytes.resize(at + chunk);
        const std::size_t n = WRBClientRead(ctx.wrb_handle, bytes.data() + at, chunk);
        bytes.resize(at + std::min(n, chunk));
        if (bytes.size() > limit) {
            die_over_limit(ctx, bytes.size(), limit);
        }
        if (n == 0) {
            break;
        }
    }
    auto* body = static_cast<char*>(_xheap_alloc(ctx, bytes.size() + 1));
    std::memcpy(body, bytes.data(), bytes.size());
    body[bytes.size()] = '\0';
    return {body, bytes.size()};
}

}  // namespace

std::optional<std::uint64_t> parse_content_length(std::string_view text) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    const auto [stop, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error == std::errc::result_out_of_range) {
        return std::numeric_limits<std::uint64_t>::max();
    }
    return value;
}

std::uint64_t max_body_size(request_ctx& ctx) {
    return std::min(setting(ctx, "max_body_size", default_max_body_size), hard_max_body_size);
}

std::uint64_t max_form_body_size(request_ctx& ctx) {
    return std::min(setting(ctx, "max_form_body_size", default_max_form_body_size),
                    max_body_size(ctx));
}

std::uint64_t max_form_fields(request_ctx& ctx) {
    return setting(ctx, "max_form_fields", default_max_form_fields);
}

std::uint64_t max_file_parts(request_ctx& ctx) {
    return setting(ctx, "max_file_parts", default_max_file_parts);
}

std::span<char> read_request_body(request_ctx& ctx, std::uint64_t limit) {
    // An empty CONTENT_LENGTH is what CGI passes for "no body".
    const char* length_text = wrbgetenv(ctx, "CONTENT_LENGTH");
    if (length_text == nullptr || *length_text == '\0') {
        if (wrbgetenv(ctx, "HTTP_TRANSFER_ENCODING") == nullptr) {
            return {};
        }
        return read_to_end(ctx, limit);
    }
    const auto length = parse_content_length(length_text);
    if (!length) {
        die_status(ctx, 400, "Malformed CONTENT_LENGTH");
    }
    if (*length > limit) {
        die_over_limit(ctx, *length, limit);
    }
    if (*length == 0) {
        return {};
    }
    KESTREL_TRACE(ctx, "reading a body of %llu bytes", static_cast<unsigned long long>(*length));
    return read_announced(ctx, static_cast<std::size_t>(*length));
}

}  // namespace kestrel
