// settings.cpp - the gateway's own settings in the [DBAUTH] section
// (trace, timing, database authentication, realm, connection reuse), read
// once by tessel_init before the configuration files.
#include <optional>
#include <string>

#include "frame/diagnostics.hpp"
#include "frame/wrb.hpp"
#include "host/cartridge.hpp"

namespace kestrel {
namespace {

// A set, non-empty value; an empty one switches the setting off.
std::optional<std::string> setting(request_ctx& ctx, const char* key) {
    const char* value = WRBGetConfigVal(ctx.wrb_handle, key);
    if (value == nullptr || *value == '\0') {
        return std::nullopt;
    }
    return std::string(value);
}

std::vector<std::string> split_names(const std::string& list) {
    std::vector<std::string> names;
    std::size_t at = 0;
    while ((at = list.find_first_not_of(", \t", at)) != std::string::npos) {
        const std::size_t end = list.find_first_of(", \t", at);
        names.push_back(list.substr(at, end - at));
        at = end;
    }
    return names;
}

bool is_yes(std::string value) {
    lower_string(value);
    return value == "1" || value == "yes" || value == "true" || value == "on";
}

}  // namespace

void read_settings(request_ctx& ctx, gateway_config& config) {
    config.debug = setting(ctx, "debug");
    config.timing_table = setting(ctx, "timing_table");
    config.timed_services = setting(ctx, "timed_services");
    config.default_web_authent_prefix = setting(ctx, "web_authent_prefix");
    config.realm = setting(ctx, "realm");
    config.dbauth_role = setting(ctx, "dbauth_role");
    if (const auto list = setting(ctx, "dbauth_services")) {
        config.dbauth_services = split_names(*list);
    }
    if (const auto reuse = setting(ctx, "reuse_connection")) {
        config.reuse_connection = is_yes(*reuse);
    }
}

}  // namespace kestrel
