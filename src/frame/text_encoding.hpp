// text_encoding.hpp - the database's character set as the request sees it:
// its HTTP charset name for the Content-type of pages, and whether a form
// value is text the database accepts, checked before any value reaches it.
#pragma once

#include <string>
#include <string_view>

#include "frame/request_ctx.hpp"

namespace kestrel {

// The HTTP charset name of a server encoding (UTF8 -> utf-8, LATIN1 ->
// iso-8859-1, WIN1252 -> windows-1252, ...); "" for SQL_ASCII and encodings
// without one.
std::string_view http_charset(std::string_view server_encoding);

// Whether the text is valid in the server encoding: well-formed UTF-8 for
// UTF8, any bytes for single-byte sets; no zero byte in any. Encodings that
// are not checked here (the EUC family) are left to the database.
bool is_valid_text(std::string_view server_encoding, std::string_view text);

// The session's server encoding; "" before logon.
std::string database_encoding(request_ctx& ctx);

// type, with "; charset=..." for the database's character set when it is a
// text/ type that names none and the session knows its encoding.
std::string with_charset(request_ctx& ctx, std::string_view type);

// Ends the request with 400 naming the field (kind: "Field", "CGI
// variable") when its name or value is not valid in the database encoding.
void check_field_text(request_ctx& ctx, const char* kind, std::string_view name,
                      std::string_view value);

}  // namespace kestrel
