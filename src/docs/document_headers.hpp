// document_headers.hpp - the HTTP side of a document download: validators
// (ETag, Last-Modified), the browser's conditional headers, the file name a
// download is saved under, and the header block itself.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "docs/byte_range.hpp"

namespace kestrel {

// What the header block says about one document.
struct document_head {
    std::string type;
    std::uint64_t size = 0;                     // uncompressed bytes
    std::optional<std::int64_t> modified_usec;  // last_updated; none: no validators
    bool gzip = false;                          // compressed on the fly
    std::string file_name;                      // non-empty: an attachment
    std::string cache_control;                  // empty: none sent
};

// The entity tag: size and modification time; weak for the gzip road, whose
// bytes are only equivalent from one compression to the next.
std::string entity_tag(const document_head& head);

// An IMF-fixdate ("Sun, 06 Nov 1994 08:49:37 GMT"), and back (none when the
// text is no such date).
std::string http_date(std::time_t when);
std::optional<std::time_t> parse_http_date(std::string_view text);

// True when the browser's copy is current: If-None-Match (when present)
// names the tag or is "*"; else If-Modified-Since is not older than the
// modification time. Without validators nothing matches.
bool is_not_modified(const document_head& head, const char* if_none_match,
                     const char* if_modified_since);

// True when If-Range is absent or still names this version (its tag or its
// exact modification date): only then does a Range apply.
bool if_range_holds(const document_head& head, const char* if_range);

// attachment; filename="..." with an ASCII fallback, plus filename*= in
// UTF-8 when the name needs it. No CR, LF, quote or backslash survives.
std::string content_disposition(std::string_view file_name);

// The header block (with its blank line) for a 200 (range whole), 206 or
// 416 answer, or a 304 when not_modified.
std::string document_header(const document_head& head, const byte_range& range, bool not_modified);

}  // namespace kestrel
