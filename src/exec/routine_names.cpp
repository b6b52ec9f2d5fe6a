// routine_names.cpp - identifier syntax and the exclusion list. Every name
// taken from a URL or a form passes here before it can reach a statement.
#include "exec/routine_names.hpp"

#include <algorithm>
#include <array>

#include "base/text_case.hpp"
#include "base/text_trim.hpp"
#include "frame/diagnostics.hpp"
#include "frame/wrb.hpp"

namespace kestrel {
namespace {

// Catalog schemas and the toolkit's own packages: callable by the session's
// user, but never pages.
constexpr std::array<std::string_view, 17> default_exclusions = {
    "pg_",           "information_schema.",
    "sys.",          "dbms_",
    "utl_",          "owa.",
    "htp.",          "htf.",
    "owa_util.",     "owa_cookie.",
    "cgi_args.",     "owa_sec.",
    "owa_opt_lock.", "owa_pattern.",
    "owa_text.",     "owa_image.",
    "owa_timing.",
};

}  // namespace

bool is_valid_routine_name(std::string_view name) {
    const auto dot = name.find('.');
    if (dot == std::string_view::npos) {
        return is_identifier(name);
    }
    return is_identifier(name.substr(0, dot)) && is_identifier(name.substr(dot + 1));
}

std::vector<std::string> parse_exclusion_list(std::string_view text) {
    std::vector<std::string> prefixes;
    while (!text.empty()) {
        const auto comma = text.find(',');
        const auto entry = trim_blanks(text.substr(0, comma));
        if (!entry.empty()) {
            prefixes.emplace_back(entry);
        }
        if (comma == std::string_view::npos) {
            break;
        }
        text.remove_prefix(comma + 1);
    }
    return prefixes;
}

std::vector<std::string> exclusion_prefixes(request_ctx& ctx) {
    std::vector<std::string> prefixes(default_exclusions.begin(), default_exclusions.end());
    // A site's list only adds: replacing would reopen the toolkit and catalog.
    if (const char* configured = WRBGetConfigVal(ctx.wrb_handle, "exclusion_list")) {
        for (std::string& prefix : parse_exclusion_list(configured)) {
            prefixes.push_back(std::move(prefix));
        }
    }
    return prefixes;
}

bool is_excluded(std::string_view name, const std::vector<std::string>& prefixes) {
    return std::any_of(prefixes.begin(), prefixes.end(), [name](const std::string& prefix) {
        return starts_with_ignoring_case(name, prefix);
    });
}

bool is_callable_routine(request_ctx& ctx, std::string_view name) {
    if (!is_valid_routine_name(name)) {
        KESTREL_TRACE(ctx, "'%.*s' is no routine name", static_cast<int>(name.size()), name.data());
        return false;
    }
    if (is_excluded(name, exclusion_prefixes(ctx))) {
        KESTREL_TRACE(ctx, "'%.*s' is excluded", static_cast<int>(name.size()), name.data());
        return false;
    }
    return true;
}

}  // namespace kestrel
