// document_store.hpp - stores one uploaded file under a generated name.
#pragma once

#include <span>
#include <string_view>

#include "frame/request_ctx.hpp"

namespace kestrel {

// Stores the bytes in the document table, or in <service>_filedir with a row
// pointing at the file; returns the generated name (request pool). Dies on
// any failure.
// Removes the files this request's uploads wrote (its rows are being rolled
// back); errors are ignored. Forgets them either way.
void discard_uploaded_files(request_ctx& ctx) noexcept;

// Stores the bytes in the document table, or in <service>_filedir with a row
// pointing at it, with the browser's file name (client path removed) and
// the part's MIME type, else the one of the MIME table for the extension,
// else the default. Returns the generated name (request pool). Dies on any
// failure.
const char* ldimage(request_ctx& ctx, std::span<const char> bytes, std::string_view mime_type,
                    std::string_view file_name);

}  // namespace kestrel
