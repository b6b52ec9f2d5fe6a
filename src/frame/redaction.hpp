// redaction.hpp - what a failure report must not repeat: the browser's
// credentials, its cookies and the values of secret-looking form fields.
// Used wherever a report or a trace line shows request values.
#pragma once

#include <string>
#include <string_view>

#include "frame/request_ctx.hpp"

namespace kestrel {

// What stands in for a hidden value.
inline constexpr std::string_view hidden_value = "(hidden)";

// True when the field name contains (ignoring case) one of pass, pwd,
// secret, token, key or a fragment listed in the [DBAUTH] key redact_fields.
bool is_secret_field(request_ctx& ctx, std::string_view name);

// True for the CGI variables whose whole value is a secret: the
// authorization headers and the cookies.
bool is_secret_variable(std::string_view name);

// A query string with the values of secret fields hidden; the rest as is.
std::string redact_query(request_ctx& ctx, std::string_view query);

// One "NAME=value" environment entry as a report may show it.
std::string redact_environment_entry(request_ctx& ctx, std::string_view entry);

}  // namespace kestrel
