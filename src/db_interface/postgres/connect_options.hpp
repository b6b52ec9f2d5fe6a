// connect_options.hpp - what a logon takes from the connection string and the
// service besides the account: how long to wait for the server, and the
// session options (the statement timeout) every request of the session runs
// under, even after a reset for reuse.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace kestrel::db::pg {

inline constexpr std::chrono::seconds default_connect_timeout{10};

// connect_timeout of the libpq connection string (key=value or URI form);
// the default when absent or unreadable; none (wait for ever) for 0, as
// libpq reads it.
std::optional<std::chrono::seconds> connect_timeout(const std::string& conninfo);

// True for a PostgreSQL duration: digits, optionally one unit (ms, s, min,
// h, d). Nothing else may reach the server's startup options.
bool is_duration(std::string_view text);

// The libpq "options" value: those of the connection string, then the
// statement timeout when one is given. Empty when there are none.
std::string session_options(const std::string& conninfo, std::string_view statement_timeout);

}  // namespace kestrel::db::pg
