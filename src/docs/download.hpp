// download.hpp - serves a stored document, plain or gzip-compressed, and
// hands names that are no document to the include processor.
#pragma once

#include <string>

#include "frame/request_ctx.hpp"

namespace kestrel {

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
