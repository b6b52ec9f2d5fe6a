// cgi_env.hpp - the CGI environment as the database's owa package receives
// it: two parallel text arrays and a count.
#pragma once

#include <span>
#include <string_view>

#include "frame/request_ctx.hpp"

namespace kestrel {

// Slots of each environment array, terminator included.
inline constexpr std::size_t cgi_env_slots = 112;
// Process environment entries looked at, whatever their content.
inline constexpr std::size_t cgi_env_entries_max = 90;
// Longest environment entry copied; longer ones are left out, not cut.
inline constexpr std::size_t cgi_env_entry_max = 4095;

// Appends request-pool copies of name and value at position count and
// increments count; a null name or value is stored as "(null)". Nothing is
// stored when the arrays have no room left before their terminator slot.
void setval(request_ctx& ctx, std::span<std::string_view> names, std::span<std::string_view> values,
            const char* name, const char* value, int& count);

// Copies the CGI environment into the database and evaluates the pre-action:
// true to go on.
bool set_cgi_env(request_ctx& ctx);

// The block that hands the environment to owa.init_cgi_env and evaluates
// the pre-action.
std::string cgi_env_block_text(std::string_view pre_action);

}  // namespace kestrel
