// query.hpp - single-row queries and immediate execution on the request
// cursor. Neither stops the request: both return the client's code.
#pragma once

#include <span>

#include "db_interface/client.hpp"
#include "frame/request_ctx.hpp"

namespace kestrel {

// Reads the first column of the query's one row as NUL-terminated text into
// result. Non-zero when the query fails or yields no row or several rows.
int select_into(request_ctx& ctx, const db::statement& query, std::span<char> result);

// Parses and executes a statement once.
int execute_immediate(request_ctx& ctx, const db::statement& statement);

}  // namespace kestrel
