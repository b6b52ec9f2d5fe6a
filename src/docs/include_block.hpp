// include_block.hpp - runs one database block of an include file in the
// request's session and writes the page it produced in its place.
// Called by the include processor (include.cpp) once per tagged block.
#pragma once

#include <cstddef>
#include <string_view>

#include "frame/request_ctx.hpp"

namespace kestrel {

// Placeholder names are cut to this many characters.
inline constexpr std::size_t placeholder_name_max = 31;

// Parses, binds and executes the block; writes its page (dump_page) or one
// "<pre><b>...</b></pre>" line with the database's message. Always 0; only a
// failing page fetch ends the request (through die).
int owassi_do_block(request_ctx& ctx, std::string_view block);

// Binds every placeholder of the block last parsed: the value of the one
// request argument of that name, else the empty text. Bind results are not
// examined.
void do_binds(request_ctx& ctx, std::string_view text);

}  // namespace kestrel
