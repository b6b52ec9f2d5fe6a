// redaction.cpp - hiding secrets in failure reports and trace lines. Field
// names are matched by fragment, so "new_password" and "api_key" are caught;
// hiding too much is the safe side.
#include "frame/redaction.hpp"

#include <algorithm>
#include <array>

#include "base/text_case.hpp"
#include "frame/form_text.hpp"
#include "frame/wrb.hpp"

namespace kestrel {
namespace {

constexpr std::array<std::string_view, 5> default_fragments = {"pass", "pwd", "secret", "token",
                                                               "key"};
constexpr std::array<std::string_view, 3> secret_variables = {
    "HTTP_AUTHORIZATION", "HTTP_PROXY_AUTHORIZATION", "HTTP_COOKIE"};

bool matches_configured_fragment(request_ctx& ctx, std::string_view name) {
    const char* list = WRBGetConfigVal(ctx.wrb_handle, "redact_fields");
    if (list == nullptr) {
        return false;
    }
    const std::string_view fragments(list);
    std::size_t at = 0;
    while ((at = fragments.find_first_not_of(", \t", at)) != std::string_view::npos) {
        const std::size_t end = std::min(fragments.find_first_of(", \t", at), fragments.size());
        if (contains_ignoring_case(name, fragments.substr(at, end - at))) {
            return true;
        }
        at = end;
    }
    return false;
}

// The decoded name of one "name=value" field of a query string.
std::string decoded_name(std::string_view field) {
    std::string name(field.substr(0, field.find('=')));
    name.resize(url_decode(name.data()));
    return name;
}

}  // namespace

bool is_secret_field(request_ctx& ctx, std::string_view name) {
    for (const std::string_view fragment : default_fragments) {
        if (contains_ignoring_case(name, fragment)) {
            return true;
        }
    }
    return matches_configured_fragment(ctx, name);
}

bool is_secret_variable(std::string_view name) {
    return std::find(secret_variables.begin(), secret_variables.end(), name) !=
           secret_variables.end();
}

std::string redact_query(request_ctx& ctx, std::string_view query) {
    std::string text;
    std::size_t at = 0;
    while (at <= query.size()) {
        const std::size_t end = std::min(query.find('&', at), query.size());
        const std::string_view field = query.substr(at, end - at);
        const std::size_t eq = field.find('=');
        if (eq != std::string_view::npos && is_secret_field(ctx, decoded_name(field))) {
            text.append(field.substr(0, eq + 1)).append(hidden_value);
        } else {
            text.append(field);
        }
        if (end == query.size()) {
            break;
        }
        text += '&';
        at = end + 1;
    }
    return text;
}

std::string redact_environment_entry(request_ctx& ctx, std::string_view entry) {
    const std::size_t eq = entry.find('=');
    if (eq == std::string_view::npos) {
        return std::string(entry);
    }
    const std::string_view name = entry.substr(0, eq);
    const std::string_view value = entry.substr(eq + 1);
    if (is_secret_variable(name)) {
        return std::string(name) + "=" + std::string(hidden_value);
    }
    if (name == "QUERY_STRING") {
        return std::string(name) + "=" + redact_query(ctx, value);
    }
    const std::size_t query = value.find('?');
    if (name == "REQUEST_URI" && query != std::string_view::npos) {
        return std::string(entry.substr(0, eq + 2 + query)) +
               redact_query(ctx, value.substr(query + 1));
    }
    return std::string(entry);
}

}  // namespace kestrel
