// page.hpp - fetches the page buffer in batches of 27 lines and writes every
// line to the client unchanged.
#pragma once

#include <string_view>

#include "frame/request_ctx.hpp"

namespace kestrel {

void dump_page(request_ctx& ctx);

// The line that owa.download_* leave as the whole page buffer: the page
// fetch stops there and the download is sent.
inline constexpr std::string_view download_marker = "X-Kestrel-Download:";

// The procedure road: as dump_page, unless the page is a download's marker
// (owa.download_*): then nothing is written and the result is true, so that
// the caller sends the download instead.
bool dump_page_unless_download(request_ctx& ctx);

}  // namespace kestrel
