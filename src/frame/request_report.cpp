// request_report.cpp - the report of a failed request (service, procedure,
// user, URL, parameters, environment), written by die and xdie to the error
// log and, unless the service's own error page was sent, to the browser.
// Credentials, cookies and secret-looking fields appear as "(hidden)".
#include "frame/request_report.hpp"

#include <algorithm>
#include <string>

#include "base/text_case.hpp"
#include "frame/arg_names.hpp"
#include "frame/diagnostics.hpp"
#include "frame/redaction.hpp"
#include "frame/wrb.hpp"

namespace kestrel {
namespace {

constexpr std::size_t value_max = 800;
constexpr std::size_t line_max = 8191;

// One report line: to the log as it is, to the browser with a newline.
void report(request_ctx& ctx, bool show, const std::string& text) {
    Message(ctx, "%s", text.c_str());
    if (show) {
        wrbprintf(ctx, "%s\n", text.c_str());
    }
}

const char* env_or_empty(request_ctx& ctx, const char* name) {
    const char* value = WRBGetEnvironmentVariable(ctx.wrb_handle, name);
    return value != nullptr ? value : "";
}

void report_parameters(request_ctx& ctx, bool show) {
    for (const std::string_view name : get_unique_names(ctx)) {
        report(ctx, show,
               format_text(line_max, "  %.*s:", static_cast<int>(name.size()), name.data()));
        const bool secret = is_secret_field(ctx, name);
        for (const arg_pair& pair : ctx.args) {
            if (!equal_ignoring_case(pair.name, name)) {
                continue;
            }
            const std::string_view value = secret ? hidden_value : pair.value;
            const auto len = static_cast<int>(std::min(value.size(), value_max));
            report(ctx, show, format_text(line_max, "   %.*s", len, value.data()));
        }
    }
}

}  // namespace

void dump_values(request_ctx& ctx, bool show) {
    report(ctx, show, format_text(line_max, "  OWA SERVICE: %s", ctx.service_name.c_str()));
    report(ctx, show, format_text(line_max, "  PROCEDURE  : %s", ctx.procedure_name.c_str()));
    if (const char* user = WRBGetUserID(ctx.wrb_handle)) {
        report(ctx, show, format_text(line_max, "  USER       : %s", user));
    }
    const char* query = WRBGetEnvironmentVariable(ctx.wrb_handle, "QUERY_STRING");
    const std::string shown_query = query != nullptr ? redact_query(ctx, query) : "";
    report(ctx, show,
           format_text(line_max, "  URL        : http://%s:%s%s%s%s%s",
                       env_or_empty(ctx, "SERVER_NAME"), env_or_empty(ctx, "SERVER_PORT"),
                       env_or_empty(ctx, "SCRIPT_NAME"), env_or_empty(ctx, "PATH_INFO"),
                       query != nullptr ? "?" : "", shown_query.c_str()));
    report(ctx, show, "  PARAMETERS :");
    report(ctx, show, "  ===========");
    report_parameters(ctx, show);
    Message(ctx, "  ");
    if (show) {
        wrbprintf(ctx, "\n");
    }
    report(ctx, show, "  ENVIRONMENT:");
    report(ctx, show, "  ============");
    for (char** e = WRBGetEnvironment(ctx.wrb_handle); e != nullptr && *e != nullptr; ++e) {
        report(ctx, show,
               format_text(line_max, "    %s", redact_environment_entry(ctx, *e).c_str()));
    }
}

}  // namespace kestrel
