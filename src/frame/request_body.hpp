// request_body.hpp - the request body and its limits: how long the request
// says it is, reading it whole into the request pool, and how many fields and
// file parts one request may bring. Used by the form and multipart roads of
// build_arglist before any field is taken.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "frame/request_ctx.hpp"

namespace kestrel {

// CONTENT_LENGTH when it is one or more decimal digits and nothing else
// (no sign, blank, prefix or suffix); none otherwise. Saturates, never wraps.
std::optional<std::uint64_t> parse_content_length(std::string_view text);

// [DBAUTH] max_body_size: any body (default 256 MiB).
std::uint64_t max_body_size(request_ctx& ctx);
// [DBAUTH] max_form_body_size: a url-encoded body (default 12 MiB, never
// more than max_body_size).
std::uint64_t max_form_body_size(request_ctx& ctx);
// [DBAUTH] max_form_fields: fields or parts of one request (default 10000).
std::uint64_t max_form_fields(request_ctx& ctx);
// [DBAUTH] max_file_parts: file parts of one multipart body (default 100).
std::uint64_t max_file_parts(request_ctx& ctx);

// The whole body in the request pool, NUL-terminated after its length; empty
// when the request announces none. With CONTENT_LENGTH, exactly that many
// bytes; without it but with HTTP_TRANSFER_ENCODING (a chunked body the web
// server passes on as it comes), everything up to the end of the input.
// Dies before reading when CONTENT_LENGTH is malformed or over limit, while
// reading when an unannounced body grows over limit, and when the input ends
// before CONTENT_LENGTH bytes.
std::span<char> read_request_body(request_ctx& ctx, std::uint64_t limit);

}  // namespace kestrel
