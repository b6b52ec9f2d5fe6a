// error_page.hpp - the answer to a failed request: the status line, the page
// in the service's error style (debug: the message and the request report;
// production: status, time and an incident id only) or the service's own
// error page, and the error log entry. die and the recovery points use it.
#pragma once

#include <string>
#include <string_view>

#include "frame/request_ctx.hpp"

namespace kestrel {

enum class error_style { debug, production };

// "<service>_error_style", else "error_style" of [DBAUTH]; debug unless one
// of them says production.
error_style error_style_for(request_ctx& ctx);

// "Status: 404 Not Found\n", with "Retry-After" for 503.
std::string status_header(int status);

// The reason phrase of the statuses the gateway answers with.
std::string_view status_reason(int status);

// Logs the failure (date, message, request report) and answers the client
// with status and page, unless a byte of the response has gone out already:
// then the response is cut instead. Throws only what writing may throw.
void answer_failure(request_ctx& ctx, int status, std::string_view message);

}  // namespace kestrel
