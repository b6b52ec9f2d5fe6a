// dispatch.cpp - runs the request by its type: stored documents for
// "/owai/" and "/owaigz/", otherwise the procedure and its page (or the
// download it asked for), with the stored document of that name as the
// fallback; then the post-action.
#include "host/dispatch.hpp"

#include <string>

#include "db/errors.hpp"
#include "db/session.hpp"
#include "docs/download.hpp"
#include "docs/procedure_download.hpp"
#include "exec/call_block.hpp"
#include "exec/page.hpp"
#include "frame/diagnostics.hpp"
#include "frame/wrb.hpp"

namespace kestrel {

void do_block(request_ctx& ctx) {
    if (ctx.service_type == "/owai/" || ctx.service_type == "/owaigz/") {
        return_image(ctx);
        return;
    }
    if (oci_do_block(ctx) == 0) {
        return_image(ctx);
        return;
    }
    if (dump_page_unless_download(ctx)) {
        send_procedure_download(ctx);
    }
}

void do_post_action(request_ctx& ctx) {
    const std::string key = "post_" + ctx.service_name;
    const char* post_action = WRBGetConfigVal(ctx.wrb_handle, key);
    if (post_action == nullptr) {
        return;
    }
    const std::string block = std::string("begin ") + post_action + "; end;";
    // A document or file is the whole response: a page after it would
    // corrupt it (and contradict its Content-Length).
    const bool page_wanted = !is_streaming();
    if (session_client(ctx).oparse(ctx.cda, {.kind = db::statement_kind::written,
                                             .text = block,
                                             .page_follows = page_wanted}) != 0 ||
        session_client(ctx).oexec(ctx.cda) != 0) {
        die_with_cursor_error(ctx);
    }
    if (page_wanted) {
        dump_page(ctx);
    }
}

}  // namespace kestrel
