// document_table.hpp - where stored documents live: the owner and table name
// shared by the download (download.cpp) and the include text lookup
// (include.cpp), and the codes that mean "no such document".
#pragma once

#include <string>
#include <string_view>

#include "frame/request_ctx.hpp"

namespace kestrel {

// "<owa_user>.<table>", the table being the [DBAUTH] value of
// <service>_image_tname, else default_table. Fails through die when the
// service names no owa_user.
std::string document_table(request_ctx& ctx, std::string_view default_table);

// 942 (no table) and 1403 (no row) mean the document is absent, whichever
// step reports them.
bool is_document_absent(int rc);

}  // namespace kestrel
