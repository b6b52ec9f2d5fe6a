// procedure_download.hpp - a procedure that called owa.download_document or
// owa.download_bytes is answered with that content instead of its page.
#pragma once

#include <string_view>

#include "frame/request_ctx.hpp"

namespace kestrel {

// The line that owa.download_* leave as the whole page buffer: the page
// fetch stops there and the download is sent.
inline constexpr std::string_view download_marker = "X-Kestrel-Download:";

// Asks the session what to send (owa.get_download) and sends it through the
// document road: a document of the service's table, or the bytes kept in
// the session's owa_download table, with Content-Disposition when the
// procedure gave a file name.
void send_procedure_download(request_ctx& ctx);

}  // namespace kestrel
