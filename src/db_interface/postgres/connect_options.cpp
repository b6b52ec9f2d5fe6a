// connect_options.cpp - the connection string read the way libpq reads it,
// so that its connect_timeout is honoured by our own wait for the server (a
// non-blocking logon has no deadline of its own), and its options are kept
// when the statement timeout is added to them.
#include "db_interface/postgres/connect_options.hpp"

#include <libpq-fe.h>

#include <algorithm>
#include <charconv>
#include <memory>

namespace kestrel::db::pg {
namespace {

struct conninfo_deleter {
    void operator()(PQconninfoOption* options) const noexcept { PQconninfoFree(options); }
};

// The value of key in the connection string; none when absent or when the
// string does not parse.
std::optional<std::string> conninfo_value(const std::string& conninfo, std::string_view key) {
    if (conninfo.find('=') == std::string::npos && conninfo.find("://") == std::string::npos) {
        return std::nullopt;  // a bare database name
    }
    char* error = nullptr;
    const std::unique_ptr<PQconninfoOption, conninfo_deleter> options(
        PQconninfoParse(conninfo.c_str(), &error));
    PQfreemem(error);
    if (!options) {
        return std::nullopt;
    }
    for (const PQconninfoOption* o = options.get(); o->keyword != nullptr; ++o) {
        if (o->keyword == key && o->val != nullptr) {
            return std::string(o->val);
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::chrono::seconds> connect_timeout(const std::string& conninfo) {
    const auto text = conninfo_value(conninfo, "connect_timeout");
    if (!text) {
        return default_connect_timeout;
    }
    int seconds = 0;
    const auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), seconds);
    if (error != std::errc() || end != text->data() + text->size()) {
        return default_connect_timeout;
    }
    if (seconds <= 0) {
        return std::nullopt;
    }
    // libpq waits at least two seconds, so do we.
    return std::chrono::seconds(std::max(seconds, 2));
}

bool is_duration(std::string_view text) {
    const std::size_t digits = std::min(text.find_first_not_of("0123456789"), text.size());
    if (digits == 0) {
        return false;
    }
    const std::string_view unit = text.substr(digits);
    return unit.empty() || unit == "ms" || unit == "s" || unit == "min" || unit == "h" ||
           unit == "d";
}

std::string session_options(const std::string& conninfo, std::string_view statement_timeout) {
    std::string options = conninfo_value(conninfo, "options").value_or("");
    if (!statement_timeout.empty() && is_duration(statement_timeout)) {
        if (!options.empty()) {
            options += ' ';
        }
        options += "-c statement_timeout=";
        options += statement_timeout;
    }
    return options;
}

}  // namespace kestrel::db::pg
