// procedure_download.hpp - a procedure that called owa.download_document or
// owa.download_bytes is answered with that content instead of its page.
#pragma once

#include "frame/request_ctx.hpp"

namespace kestrel {

// Asks the session what to send (owa.get_download) and sends it through the
// document road: a document of the service's table, or the bytes kept in
// the session's owa_download table, with Content-Disposition when the
// procedure gave a file name.
void send_procedure_download(request_ctx& ctx);

}  // namespace kestrel
