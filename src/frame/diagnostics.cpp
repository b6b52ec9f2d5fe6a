// diagnostics.cpp - trace log, fallback log, error log, client printf and
// the fatal errors die and xdie. Every message is composed in 8192 bytes
// (longer texts are cut); every log line is one open-append-close cycle.
#include "frame/diagnostics.hpp"

#include <unistd.h>

#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <vector>

#include "frame/error_page.hpp"
#include "frame/log_file.hpp"
#include "frame/redaction.hpp"
#include "frame/request_report.hpp"
#include "frame/wrb.hpp"
#include "frame/wrb_state.hpp"

namespace kestrel {
namespace {

constexpr std::size_t message_max = 8191;   // a message buffer of 8192 bytes
constexpr std::size_t file_name_max = 255;  // a file name buffer of 256 bytes

std::string vformat_text(std::size_t max_len, const char* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    const int needed = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (needed <= 0) {
        return {};
    }
    const std::size_t len = std::min(static_cast<std::size_t>(needed), max_len);
    std::vector<char> buffer(len + 1);
    std::vsnprintf(buffer.data(), buffer.size(), format, args);
    return std::string(buffer.data(), len);
}

// "<dir>WRB_DBAUTH_<pid>.log"; empty when the name would not fit its buffer,
// so that the line falls through to the next log of the chain.
std::string log_file_name(std::string_view dir) {
    std::string name =
        format_text(file_name_max + 1, "%.*sWRB_DBAUTH_%d.log", static_cast<int>(dir.size()),
                    dir.data(), static_cast<int>(getpid()));
    return name.size() > file_name_max ? std::string() : name;
}

bool append_log(std::string_view dir, std::string_view text) {
    const std::string name = log_file_name(dir);
    return !name.empty() && append_log_line(name, text);
}

bool selector_matches(const request_ctx& ctx) {
    const std::string& selector = *ctx.config.debug;
    if (selector.find(ctx.debug_file) != std::string::npos) {
        return true;
    }
    std::string lowered = selector;
    return lower_string(lowered) == "all";
}

}  // namespace

std::string format_text(std::size_t max_len, const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = vformat_text(max_len, format, args);
    va_end(args);
    return text;
}

void _debugf(request_ctx& ctx, const char* format, ...) {
    if (!ctx.config.debug || !selector_matches(ctx)) {
        return;
    }
    std::string line =
        format_text(message_max, "(%13.*s,%3d) ", static_cast<int>(ctx.debug_file.size()),
                    ctx.debug_file.data(), ctx.debug_line);
    va_list args;
    va_start(args, format);
    line += vformat_text(message_max - std::min(line.size(), message_max), format, args);
    va_end(args);
    logMessage(ctx, line, 1);
}

void logMessage(request_ctx& ctx, std::string_view text, int level) {
    const char* debug_path = WRBGetConfigVal(ctx.wrb_handle, "debugPath");
    if (debug_path != nullptr && append_log(debug_path, text)) {
        return;
    }
    WRBLogMessage(ctx.wrb_handle, text, level);
}

void WRBLogMessage(void*, std::string_view text, int) {
    if (append_log(wrb().ows_logfile, text)) {
        return;
    }
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fputc('\n', stderr);
}

void Message(request_ctx& ctx, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const std::string text = vformat_text(message_max, format, args);
    va_end(args);
    if (!ctx.error_log_name.empty() && append_log_line(ctx.error_log_name, text)) {
        return;
    }
    logMessage(ctx, text, 1);
}

void wrbprintf(request_ctx& ctx, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const std::string text = vformat_text(message_max, format, args);
    va_end(args);
    WRBClientWrite(ctx.wrb_handle, text.data(), text.size());
}

const char* wrbgetenv(request_ctx& ctx, const char* name) {
    const char* value = WRBGetEnvironmentVariable(ctx.wrb_handle, name);
    if (value == nullptr) {
        KESTREL_TRACE(ctx, "Envvar %s is null", name);
    } else {
        KESTREL_TRACE(ctx, "Envvar %s = %s", name,
                      is_secret_variable(name) ? hidden_value.data() : value);
    }
    return value;
}

void die(request_ctx& ctx, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const std::string message = vformat_text(message_max, format, args);
    va_end(args);
    answer_failure(ctx, 500, message);
    KESTREL_TRACE(ctx, "longjumping back to the beginning");
    throw fatal_error(500);
}

void die_status(request_ctx& ctx, int status, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const std::string message = vformat_text(message_max, format, args);
    va_end(args);
    answer_failure(ctx, status, message);
    KESTREL_TRACE(ctx, "longjumping back to the beginning");
    throw fatal_error(status);
}

void xdie(request_ctx& ctx, const char* format, ...) {
    ctx.error_log_name.clear();
    va_list args;
    va_start(args, format);
    const std::string message = vformat_text(message_max, format, args);
    va_end(args);
    logMessage(ctx, message, 1);
    dump_values(ctx, false);
    throw fatal_error();
}

char* lower_string(char* text) {
    for (char* c = text; *c != '\0'; ++c) {
        *c = static_cast<char>(std::tolower(static_cast<unsigned char>(*c)));
    }
    return text;
}

char* upper_string(char* text) {
    for (char* c = text; *c != '\0'; ++c) {
        *c = static_cast<char>(std::toupper(static_cast<unsigned char>(*c)));
    }
    return text;
}

std::string& lower_string(std::string& text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

std::string& upper_string(std::string& text) {
    for (char& c : text) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return text;
}

}  // namespace kestrel
