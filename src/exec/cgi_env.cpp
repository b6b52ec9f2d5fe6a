// cgi_env.cpp - copies the CGI environment into the database and evaluates
// the service's pre-action in the same block. First step of every request
// after the argument list (tessel_exec), before dispatch.
#include "exec/cgi_env.hpp"

#include <array>
#include <cstring>
#include <optional>
#include <string>

#include "db/binds.hpp"
#include "db/errors.hpp"
#include "db/session.hpp"
#include "frame/diagnostics.hpp"
#include "frame/text_encoding.hpp"
#include "frame/wrb.hpp"
#include "timing/timing.hpp"

namespace kestrel {
namespace {

struct env_pair {
    std::string_view name;
    std::string_view value;
};

// name=value: leading '=' are skipped, and the value starts after the first
// '=' and any '=' that directly follow it. No pair when there is no value.
std::optional<env_pair> split_entry(std::string_view entry) {
    while (!entry.empty() && entry.front() == '=') {
        entry.remove_prefix(1);
    }
    const auto equals = entry.find('=');
    if (equals == std::string_view::npos) {
        return std::nullopt;
    }
    env_pair pair{entry.substr(0, equals), entry.substr(equals)};
    while (!pair.value.empty() && pair.value.front() == '=') {
        pair.value.remove_prefix(1);
    }
    if (pair.value.empty()) {
        return std::nullopt;
    }
    return pair;
}

// The gateway's own values of these stand.
bool is_gateway_variable(std::string_view name) {
    return name == "SCRIPT_NAME" || name == "PATH_INFO";
}

void add_process_environment(request_ctx& ctx, std::span<std::string_view> names,
                             std::span<std::string_view> values, int& count) {
    char** environment = WRBGetEnvironment(ctx.wrb_handle);
    if (environment == nullptr) {
        return;
    }
    std::string name;
    std::string value;
    for (std::size_t i = 0; i < cgi_env_entries_max && environment[i] != nullptr; ++i) {
        const std::string_view entry = environment[i];
        if (entry.size() > cgi_env_entry_max) {
            KESTREL_TRACE(ctx, "environment entry %zu left out: %zu bytes", i, entry.size());
            continue;
        }
        const std::optional<env_pair> pair = split_entry(entry);
        if (!pair || is_gateway_variable(pair->name)) {
            continue;
        }
        name.assign(pair->name);
        value.assign(pair->value);
        setval(ctx, names, values, name.c_str(), value.c_str(), count);
    }
}

// The gateway's own pairs: the browser's user for database authentication,
// PATH_INFO from the procedure name, SCRIPT_NAME as the URL without it.
void add_gateway_variables(request_ctx& ctx, std::span<std::string_view> names,
                           std::span<std::string_view> values, int& count) {
    if (ctx.use_database_auth) {
        setval(ctx, names, values, "REMOTE_USER", WRBGetUserID(ctx.wrb_handle), count);
        const char* prefix = ctx.config.default_web_authent_prefix
                                 ? ctx.config.default_web_authent_prefix->c_str()
                                 : nullptr;
        setval(ctx, names, values, "WEB_AUTHENT_PREFIX", prefix, count);
    }
    const std::string path_info = "/" + ctx.procedure_name;
    setval(ctx, names, values, "PATH_INFO", path_info.c_str(), count);
    std::string_view script_name = ctx.url;
    if (script_name.size() >= path_info.size()) {
        script_name.remove_suffix(path_info.size());
    }
    const std::string script(script_name);
    setval(ctx, names, values, "SCRIPT_NAME", script.c_str(), count);
}

}  // namespace

void setval(request_ctx& ctx, std::span<std::string_view> names, std::span<std::string_view> values,
            const char* name, const char* value, int& count) {
    const auto slot = static_cast<std::size_t>(count);
    if (count < 0 || slot + 1 >= names.size() || slot + 1 >= values.size()) {
        return;
    }
    names[slot] = _xheap_strdup(ctx, name != nullptr ? name : "(null)");
    values[slot] = _xheap_strdup(ctx, value != nullptr ? value : "(null)");
    check_field_text(ctx, "CGI variable", names[slot], values[slot]);
    ++count;
}

std::string cgi_env_block_text(std::string_view pre_action) {
    std::string block = "begin    owa.init_cgi_env(:n,:nm,:v);    if (";
    block += pre_action;
    block += ") then \t  :rc := 1;    else \t  :rc := 0;    end if; end;";
    return block;
}

bool set_cgi_env(request_ctx& ctx) {
    const std::string pre_key = "pre_" + ctx.service_name;
    const char* configured = WRBGetConfigVal(ctx.wrb_handle, pre_key);
    const std::string pre_action = configured != nullptr ? configured : "TRUE";
    const std::uint32_t start = get_hsecs(ctx);

    std::array<std::string_view, cgi_env_slots> names{};
    std::array<std::string_view, cgi_env_slots> values{};
    std::int32_t count = 0;
    add_gateway_variables(ctx, names, values, count);
    add_process_environment(ctx, names, values, count);

    const std::string block = cgi_env_block_text(pre_action);
    if (session_client(ctx).oparse(
            ctx.cda,
            {.kind = db::statement_kind::cgi_env, .text = block, .pre_action = pre_action}) != 0) {
        die_with_cursor_error(ctx);
    }
    const auto used = static_cast<std::size_t>(count);
    std::int32_t result = 0;
    if (nbind(ctx, ":n", &count) != 0 ||
        abind(ctx, ":nm", std::span<const std::string_view>(names.data(), used)) != 0 ||
        abind(ctx, ":v", std::span<const std::string_view>(values.data(), used)) != 0 ||
        nbind(ctx, ":rc", &result) != 0) {
        die_with_cursor_error(ctx);
    }
    if (session_client(ctx).oexec(ctx.cda) != 0) {
        die_with_cursor_error(ctx);
    }
    log_timings(ctx, start, get_hsecs(ctx), "CGI-ENV");
    return result != 0;
}

}  // namespace kestrel
