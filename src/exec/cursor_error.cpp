// cursor_error.cpp - database failures of the description, the call block,
// the environment block, the post-action and the page fetch end here.
#include "exec/cursor_error.hpp"

#include <string>

#include "db/errors.hpp"
#include "frame/diagnostics.hpp"

namespace kestrel {

void die_with_database_error(request_ctx& ctx) {
    // The message is finished text: it must not be read as a format.
    const std::string text = oerr_cda(ctx);
    die(ctx, "%s", text.c_str());
}

}  // namespace kestrel
