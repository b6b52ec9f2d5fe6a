// query.cpp - single-row queries and immediate execution on the request
// cursor: the start date, the clock, the reuse check, the upload sequence and the
// package reset. Neither stops the request; the caller judges the code.
#include "db/query.hpp"

#include "db/session.hpp"

namespace kestrel {

int select_into(request_ctx& ctx, const db::statement& query, std::span<char> result) {
    db::client& db = session_client(ctx);
    if (const int rc = db.oparse(ctx.cda, query); rc != 0) {
        return rc;
    }
    if (const int rc = db.odefin(ctx.cda, {.position = 1,
                                           .buffer = std::as_writable_bytes(result),
                                           .type = db::data_type::string});
        rc != 0) {
        return rc;
    }
    return db.oexfet(ctx.cda);
}

int execute_immediate(request_ctx& ctx, const db::statement& statement) {
    db::client& db = session_client(ctx);
    if (const int rc = db.oparse(ctx.cda, statement); rc != 0) {
        return rc;
    }
    return db.oexec(ctx.cda);
}

}  // namespace kestrel
