// dispatch.hpp - dispatch by request type and the post-action.
#pragma once

#include "frame/request_ctx.hpp"

namespace kestrel {

void do_block(request_ctx& ctx);
void do_post_action(request_ctx& ctx);

}  // namespace kestrel
