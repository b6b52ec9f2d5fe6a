// body_fuzz.cpp - the request body reader: any CONTENT_LENGTH text, with or
// without a transfer coding, any body, any limit. The body read is exactly
// what the request announced, or the request ends for a stated reason.
//
// Input: one byte of switches, one byte of limit, then the CONTENT_LENGTH
// text up to the first newline, then the body.
//   bit 0: CONTENT_LENGTH is set (else absent)
//   bit 1: HTTP_TRANSFER_ENCODING is set
#include <cstring>
#include <string>

#include "frame/request_body.hpp"
#include "fuzz_support.hpp"

namespace {

using kestrel::fuzz::check;

// Whether reading must end the request, from the inputs alone.
bool must_refuse(bool has_length, std::string_view length_text, bool chunked, std::string_view body,
                 std::uint64_t limit) {
    if (!has_length || length_text.empty()) {
        return chunked && body.size() > limit;
    }
    const auto length = kestrel::parse_content_length(length_text);
    return !length || *length > limit || *length > body.size();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    const bool has_length = (data[0] & 1) != 0;
    const bool chunked = (data[0] & 2) != 0;
    const std::uint64_t limit = data[1] + 1;
    const auto [length_line, body] =
        kestrel::fuzz::split_at(kestrel::fuzz::as_text(data + 2, size - 2), '\n');
    // An environment value ends at its first NUL.
    const std::string length_text(length_line.substr(0, length_line.find('\0')));

    std::vector<std::string> env{"REQUEST_METHOD=POST"};
    if (has_length) {
        env.push_back("CONTENT_LENGTH=" + length_text);
    }
    if (chunked) {
        env.push_back("HTTP_TRANSFER_ENCODING=chunked");
    }
    kestrel::fuzz::fuzz_request request(env, std::string(body), 7);
    request.set_config("read_chunk_size", "5");
    std::string got;
    bool terminated = true;
    const bool read = request.run([&] {
        const std::span<char> bytes = kestrel::read_request_body(request.ctx, limit);
        got.assign(bytes.data(), bytes.size());
        terminated = bytes.empty() || bytes.data()[bytes.size()] == '\0';
    });
    check(read != must_refuse(has_length, length_text, chunked, body, limit),
          "refused exactly when the length is malformed, too large or not delivered");
    if (!read) {
        return 0;
    }
    check(got.size() <= limit, "never more than the limit");
    check(terminated, "terminated after its length");
    check(got == body.substr(0, got.size()), "the bytes as sent");
    if (has_length && !length_text.empty()) {
        check(got.size() == *kestrel::parse_content_length(length_text), "exactly the length");
    } else {
        check(got.size() == (chunked ? body.size() : 0), "to the end, or nothing");
    }
    return 0;
}
