// dispatch.hpp - CGI environment and pre-action, dispatch by request type,
// post-action.
#pragma once

#include "frame/request_ctx.hpp"

namespace kestrel {

// Copies the CGI environment into the database and evaluates the pre-action:
// true to go on.
bool set_cgi_env(request_ctx& ctx);
void do_block(request_ctx& ctx);
void do_post_action(request_ctx& ctx);

}  // namespace kestrel
