// diagnostics.hpp - trace log, error log, client printf and fatal errors.
// Every other module reports through these. die and xdie throw fatal_error,
// which only the callbacks' recovery points (host/cartridge.cpp) catch.
#pragma once

#include <exception>
#include <string>
#include <string_view>

#include "frame/request_ctx.hpp"

namespace kestrel {

// Thrown by die and xdie after they have written the logs and the page;
// status is the HTTP status the page was sent with.
struct fatal_error : std::exception {
    explicit fatal_error(int http_status = 500) : status(http_status) {}
    const char* what() const noexcept override { return "fatal request error"; }
    int status;
};

// The module name of a source file: its base name without extension.
constexpr std::string_view module_name(std::string_view path) {
    const auto slash = path.find_last_of('/');
    if (slash != std::string_view::npos) {
        path.remove_prefix(slash + 1);
    }
    return path.substr(0, path.find('.'));
}

// Writes one trace line "(module,line) text" when the selector names the
// module of ctx.debug_file or is "all". Call it through KESTREL_TRACE only.
void _debugf(request_ctx& ctx, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Appends one line to the trace log (debugPath), else to the fallback log.
void logMessage(request_ctx& ctx, std::string_view text, int level);

// Appends one formatted line to the service's error log, else to the trace log.
void Message(request_ctx& ctx, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Formats a text and sends it to the client.
void wrbprintf(request_ctx& ctx, const char* format, ...) __attribute__((format(printf, 2, 3)));

// A CGI variable, or null; traced when the trace is on.
const char* wrbgetenv(request_ctx& ctx, const char* name);

// Fatal request error: error log, error page (or the configured page) and the
// request report, then throws fatal_error. The page answers 500.
[[noreturn]] void die(request_ctx& ctx, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

// die answering with the given HTTP status (400, 404, 413, 503, ...).
[[noreturn]] void die_status(request_ctx& ctx, int status, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

// Fatal error outside the service context: trace log and report only.
[[noreturn]] void xdie(request_ctx& ctx, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

// In-place case conversion; returns its argument.
char* lower_string(char* text);
char* upper_string(char* text);
std::string& lower_string(std::string& text);
std::string& upper_string(std::string& text);

// printf into a std::string, cut at max_len characters (messages: 8191).
std::string format_text(std::size_t max_len, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

}  // namespace kestrel

// The trace-site guard: with the trace off, the arguments are never evaluated.
#define KESTREL_TRACE(ctx, ...)                                  \
    do {                                                         \
        if ((ctx).config.debug) {                                \
            (ctx).debug_file = ::kestrel::module_name(__FILE__); \
            (ctx).debug_line = __LINE__;                         \
            ::kestrel::_debugf((ctx), __VA_ARGS__);              \
        }                                                        \
    } while (false)
