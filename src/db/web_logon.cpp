// web_logon.cpp - the check of a browser's logon. The database would let any
// role with a valid password (or a trusted one) in; a web page must never
// run as a superuser, nor as a role the site did not mean for the web.
#include "db/web_logon.hpp"

#include <array>
#include <string>

#include "db/query.hpp"
#include "frame/diagnostics.hpp"

namespace kestrel {
namespace {

// The role name as a SQL string literal (standard conforming strings).
std::string quoted(std::string_view text) {
    std::string out = "'";
    for (const char c : text) {
        out += c;
        if (c == '\'') {
            out += c;
        }
    }
    return out + "'";
}

std::string verdict_query(const request_ctx& ctx) {
    const std::string member =
        ctx.config.dbauth_role
            ? "pg_has_role(session_user, " + quoted(*ctx.config.dbauth_role) + ", 'member')"
            : "true";
    return "select case when rolsuper then 'superuser' when " + member +
           " then 'member' else 'outsider' end from pg_roles where rolname = session_user";
}

}  // namespace

bool is_allowed_web_logon(request_ctx& ctx) {
    std::array<char, 16> verdict{};
    if (select_into(ctx, {db::statement_kind::native, verdict_query(ctx)}, verdict) != 0) {
        KESTREL_TRACE(ctx, "The logon check failed");
        return false;
    }
    KESTREL_TRACE(ctx, "Browser logon: %s", verdict.data());
    return std::string_view(verdict.data()) == "member";
}

}  // namespace kestrel
