// wrb.cpp - the web request interface over CGI: environment, request body,
// response, URL, realm and error responses. The callbacks reach the client
// only through these functions; the state behind them is wrb_state.
#include "frame/wrb.hpp"

#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <span>
#include <string>

#include "frame/diagnostics.hpp"
#include "frame/form_text.hpp"
#include "frame/pool.hpp"
#include "frame/request_body.hpp"
#include "frame/wrb_state.hpp"

namespace kestrel {
namespace {

// Cuts the text at every '&' and each field at its first '='. Empty fields
// are skipped; a field without '=' is a name with an empty value. Dies past
// max_fields, before the list grows further.
void split_pairs(request_ctx& ctx, char* text, std::vector<arg_pair>& pairs,
                 std::uint64_t max_fields) {
    char* field = text;
    while (field != nullptr) {
        char* amp = std::strchr(field, '&');
        if (amp != nullptr) {
            *amp = '\0';
        }
        if (*field != '\0') {
            if (pairs.size() >= max_fields) {
                die_status(ctx, 413, "Too many form fields: more than %llu",
                           static_cast<unsigned long long>(max_fields));
            }
            char* eq = std::strchr(field, '=');
            if (eq != nullptr) {
                *eq = '\0';
            }
            const std::size_t name_len = url_decode(field);
            std::string_view value("");
            if (eq != nullptr) {
                value = std::string_view(eq + 1, url_decode(eq + 1));
            }
            pairs.push_back(arg_pair{std::string_view(field, name_len), value});
        }
        field = amp != nullptr ? amp + 1 : nullptr;
    }
}

}  // namespace

int WRBGetParsedContent(void* handle, request_ctx& ctx, std::vector<arg_pair>& pairs) {
    pairs.clear();
    const char* method = WRBGetEnvironmentVariable(handle, "REQUEST_METHOD");
    if (method == nullptr) {
        return WRB_ERROR;
    }
    char* text = nullptr;
    if (method[0] == 'G') {
        const char* query = WRBGetEnvironmentVariable(handle, "QUERY_STRING");
        if (query == nullptr) {
            return WRB_ERROR;
        }
        text = _xheap_strdup(ctx, query);
    } else {
        const std::span<char> body = read_request_body(ctx, max_form_body_size(ctx));
        if (body.empty()) {
            return 0;
        }
        // A NUL inside the body would end the text early: the form is cut there.
        text = body.data();
    }
    if (*text == '\0') {
        return 0;
    }
    split_pairs(ctx, text, pairs, max_form_fields(ctx));
    return 0;
}

std::size_t WRBClientWrite(void*, const void* buffer, std::size_t length) {
    wrb_state& s = wrb();
    return s.answer.write(*s.io, buffer, length);
}

std::size_t WRBClientRead(void*, void* buffer, std::size_t length) {
    return wrb().io->read(buffer, length);
}

const char* WRBGetEnvironmentVariable(void* handle, const char* name) {
    const std::size_t len = std::strlen(name);
    for (char** e = WRBGetEnvironment(handle); e != nullptr && *e != nullptr; ++e) {
        if (std::strncmp(*e, name, len) == 0 && (*e)[len] == '=') {
            return *e + len + 1;
        }
    }
    return nullptr;
}

char** WRBGetEnvironment(void*) {
    const wrb_state& s = wrb();
    return s.environment != nullptr ? s.environment : environ;
}

const char* WRBGetORACLE_HOME(void*) {
    return wrb().oracle_home.c_str();
}

const char* WRBGetURL(void* handle) {
    const char* script = WRBGetEnvironmentVariable(handle, "SCRIPT_NAME");
    const char* path = WRBGetEnvironmentVariable(handle, "PATH_INFO");
    std::string& url = wrb().url;
    url.assign(script != nullptr ? script : "");
    url.append(path != nullptr ? path : "");
    if (url.size() > url_max) {
        url.resize(url_max);
    }
    return url.c_str();
}

int WRBSetAuthorization(void*, int, const char* realm, int) {
    wrb_state& s = wrb();
    if (realm != nullptr) {
        s.realm = realm;
    } else {
        s.realm.reset();
    }
    return 0;
}

int WRBReturnHTTPError(void* handle, int code, const char* reason, int end_of_header) {
    std::string text = "Content-type: text/html\n";
    text += "Status: " + std::to_string(code) + " " + (reason != nullptr ? reason : "") + "\n";
    if (end_of_header != 0) {
        text += "\n";
    }
    text += "URL Not Found";
    WRBClientWrite(handle, text.data(), text.size());
    return 0;
}

void begin_streaming() {
    wrb_state& s = wrb();
    s.answer.stream(*s.io);
}

bool is_streaming() {
    return wrb().answer.is_streaming();
}

}  // namespace kestrel
