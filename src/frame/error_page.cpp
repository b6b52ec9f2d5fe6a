// error_page.cpp - composing the answer to a failed request (see the
// header). The log always gets the whole story; what the browser sees
// depends on the error style. Held output is thrown away first: a page
// whose transaction failed is never sent.
#include "frame/error_page.hpp"

#include <unistd.h>

#include <cstdio>
#include <ctime>

#include "base/text_case.hpp"
#include "base/text_file.hpp"
#include "frame/diagnostics.hpp"
#include "frame/request_report.hpp"
#include "frame/text_encoding.hpp"
#include "frame/wrb.hpp"
#include "frame/wrb_state.hpp"

namespace kestrel {
namespace {

constexpr std::size_t line_max = 8191;
constexpr int retry_after_seconds = 30;

// The error page of the resolved service, when it has one.
const char* error_page_file(const request_ctx& ctx) {
    const service_entry* service = ctx.service();
    if (service == nullptr || !service->owa_error_page) {
        return nullptr;
    }
    return service->owa_error_page->c_str();
}

// Copies the page file to the client; false when it cannot be read.
bool send_error_page(request_ctx& ctx, int status, const char* path) {
    const file_handle f(std::fopen(path, "r"));
    if (!f) {
        return false;
    }
    wrbprintf(ctx, "%sContent-type: text/html\n\n", status_header(status).c_str());
    char line[line_max + 1];
    while (std::fgets(line, sizeof line, f.get()) != nullptr) {
        wrbprintf(ctx, "%s", line);
    }
    return true;
}

std::string local_time() {
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    localtime_r(&now, &parts);
    char text[64];
    const std::size_t n = std::strftime(text, sizeof text, "%a %b %d %H:%M:%S %Y", &parts);
    return std::string(text, n);
}

// Unique across the processes of a host (pid) and within one (count).
std::string incident_id() {
    static unsigned count = 0;
    return format_text(line_max, "%lx-%x-%x", static_cast<unsigned long>(std::time(nullptr)),
                       static_cast<unsigned>(getpid()), ++count);
}

void send_production_page(request_ctx& ctx, int status, const std::string& incident) {
    wrbprintf(ctx, "%sContent-type: text/plain\n\n%d %s\nTime: %s\nIncident: %s\n",
              status_header(status).c_str(), status, std::string(status_reason(status)).c_str(),
              local_time().c_str(), incident.c_str());
}

// The browser's part of the answer; true when the request report may follow.
bool send_answer(request_ctx& ctx, int status, std::string_view message, error_style style,
                 const std::string& incident) {
    if (const char* page = error_page_file(ctx); page != nullptr) {
        if (send_error_page(ctx, status, page)) {
            return false;
        }
    }
    if (style == error_style::production) {
        send_production_page(ctx, status, incident);
        return false;
    }
    // The message may quote the database, in its character set.
    wrbprintf(ctx, "%sContent-type: %s\n\n%s\n\n%.*s\n", status_header(status).c_str(),
              with_charset(ctx, "text/plain").c_str(), ctx.start_date.c_str(),
              static_cast<int>(message.size()), message.data());
    return true;
}

}  // namespace

error_style error_style_for(request_ctx& ctx) {
    const std::string key = ctx.service_name + "_error_style";
    const char* value = ctx.service_name.empty() ? nullptr : WRBGetConfigVal(ctx.wrb_handle, key);
    if (value == nullptr) {
        value = WRBGetConfigVal(ctx.wrb_handle, "error_style");
    }
    return value != nullptr && equal_ignoring_case(value, "production") ? error_style::production
                                                                        : error_style::debug;
}

std::string_view status_reason(int status) {
    switch (status) {
        case 400:
            return "Bad Request";
        case 401:
            return "Unauthorized";
        case 404:
            return "Not Found";
        case 411:
            return "Length Required";
        case 413:
            return "Content Too Large";
        case 503:
            return "Service Unavailable";
        default:
            return "Internal Server Error";
    }
}

std::string status_header(int status) {
    std::string header = format_text(line_max, "Status: %d %s\n", status,
                                     std::string(status_reason(status)).c_str());
    if (status == 503) {
        header += format_text(line_max, "Retry-After: %d\n", retry_after_seconds);
    }
    return header;
}

void answer_failure(request_ctx& ctx, int status, std::string_view message) {
    const error_style style = error_style_for(ctx);
    const std::string incident = style == error_style::production ? incident_id() : "";
    Message(ctx, "\n\n%s", ctx.start_date.c_str());
    if (!incident.empty()) {
        Message(ctx, "Incident %s, status %d", incident.c_str(), status);
    }
    Message(ctx, "%.*s", static_cast<int>(message.size()), message.data());
    response& answer = wrb().answer;
    if (answer.has_started()) {
        Message(ctx, "Response cut after %llu bytes",
                static_cast<unsigned long long>(answer.bytes_sent()));
        answer.cut();
        dump_values(ctx, false);
        return;
    }
    answer.discard();
    dump_values(ctx, send_answer(ctx, status, message, style, incident));
}

}  // namespace kestrel
