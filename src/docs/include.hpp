// include.hpp - server-side include files: HTML text whose ORACLE-tagged
// blocks run in the database, and other files sent as they are.
#pragma once

#include "frame/request_ctx.hpp"

namespace kestrel {

// Answers the request from an include file; writes the whole response.
void owassi(request_ctx& ctx);

// The HTML text of the request (request pool, NUL-terminated): the stored
// document of its name, else the file its path maps to. Null after answering
// 404 (no document, no mapped file, or a path with ".." segments).
char* get_filedata(request_ctx& ctx);

// The stored document named like the request, gathered whole (request pool);
// null when there is no table, no row or no content. Other database errors
// end the request through die.
char* get_image(request_ctx& ctx);

// Sends the mapped file unchanged with the given type; falls back to
// compressed_filedata for a missing "name.gz"; else answers 404.
void put_filedata(request_ctx& ctx, const char* mime_type);

// Sends the mapped file without the path's last three characters ("name" for
// "name.gz") gzip-compressed with the given type, or answers 404.
void compressed_filedata(request_ctx& ctx, const char* mime_type);

}  // namespace kestrel
