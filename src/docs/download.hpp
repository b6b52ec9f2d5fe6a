// download.hpp - serves a stored document, plain or gzip-compressed, and
// hands names that are no document to the include processor. The browser's
// If-None-Match, If-Modified-Since, Range, If-Range and HEAD are honoured.
#pragma once

#include <string>

#include "frame/request_ctx.hpp"

namespace kestrel {

// Which document to send, and how.
struct document_source {
    std::string table;            // "<owner>.<table>", or a session table
    std::string name;             // the row's name
    bool gzip = false;            // compress on the fly
    bool may_fall_back = false;   // an absent document is not fatal (include road)
    bool type_as_stored = false;  // announce the row's type as it is (a procedure chose it)
    std::string file_name;        // non-empty: sent as an attachment of that name
};

// Writes the whole response for that document. False, with nothing written,
// when it is absent and the source may fall back; other failures (and an
// absent document otherwise, as 404) end the request through die.
bool send_document(request_ctx& ctx, const document_source& source);

// Writes the whole response: the stored document named like the request, or
// (outside "/owai/" and "/owaigz/", when there is no such table or row) the
// include road's answer. Other failures end the request through die.
void return_image(request_ctx& ctx);

// The document name: the request name (at most 254 characters), without a
// trailing ".gz" on the gzip road when something precedes it.
std::string document_name(const request_ctx& ctx, bool gzip);

// The Content-type announced for a document: its stored type (or
// application/x-gzip on the gzip road) when configured, else the URL's own
// type unless that is text/html, else the default type.
const char* choose_document_mime_type(request_ctx& ctx, const char* stored, bool gzip);

}  // namespace kestrel
