// generic_args.cpp - generic-argument mode: for a service with an
// <service>_argv_only entry every pair is handed, in list order, to the
// database package cgi_args, and the procedure is then called without
// arguments. Runs inside build_arglist, after the list is complete.
#include "args/generic_args.hpp"

#include <string>

#include "args/arglist.hpp"
#include "db/binds.hpp"
#include "db/errors.hpp"
#include "db/session.hpp"
#include "frame/diagnostics.hpp"
#include "frame/pool.hpp"
#include "frame/wrb.hpp"

namespace kestrel {

namespace {

constexpr std::string_view cgi_args_block =
    "begin \tcgi_args.argC := cgi_args.argC+1; \tcgi_args.argNam(cgi_args.argC) := :name; "
    "\tcgi_args.argVal(cgi_args.argC) := :val; end;";

}  // namespace

void maybe_generic(request_ctx& ctx) {
    if (WRBGetConfigVal(ctx.wrb_handle, ctx.service_name + "_argv_only") == nullptr) {
        return;
    }
    KESTREL_TRACE(ctx, "generic mode: %zu arguments to cgi_args", ctx.args.size());
    if (session_client(ctx).oparse(ctx.cda, db::statement_kind::generic_arg, cgi_args_block) != 0) {
        die_with_cursor_error(ctx);
    }
    for (const arg_pair& pair : ctx.args) {
        if (sbind(ctx, ":name", bindable_copy(ctx, pair.name)) != 0 ||
            sbind(ctx, ":val", bindable_copy(ctx, pair.value)) != 0 ||
            session_client(ctx).oexec(ctx.cda) != 0) {
            die_with_cursor_error(ctx);
        }
    }
    unbuild_arglist(ctx);
}

}  // namespace kestrel
