// service_resolution.cpp - per request, before logon: which service block,
// which kind of request (URL prefix) and which procedure the URL names; the
// service's error log; database authentication. Also path translation
// through the directory maps and the timing-tag test.
#include "config/service_resolution.hpp"

#include <array>
#include <cstring>

#include "base/text_case.hpp"
#include "frame/diagnostics.hpp"
#include "frame/pool.hpp"
#include "frame/wrb.hpp"

namespace kestrel {
namespace {

constexpr std::array<std::string_view, 5> prefixes{"/owa/", "/owai/", "/owaigz/", "/owaup/",
                                                   "/webdb/"};
constexpr std::size_t work_max = 511;

std::string cut(std::string_view text) {
    return std::string(text.substr(0, field_max));
}

// The request URL in the request pool, protocol and host dropped. The web
// server has decoded SCRIPT_NAME and PATH_INFO already and they hold no
// query: decoding again, or cutting at a '?' that was %3F, would let
// /owa/h%2565llo or /owa/hello%3Fx run hello past the server's own rules.
std::string_view request_url(request_ctx& ctx) {
    char* url = _xheap_strdup(ctx, WRBGetURL(ctx.wrb_handle));
    if (char* scheme = std::strstr(url, "://")) {
        if (char* slash = std::strchr(scheme + 3, '/')) {
            url = slash;
        }
    }
    return url;
}

// Without a prefix: the procedure is the last segment of PATH_INFO, the
// service the first segment of SCRIPT_NAME.
void resolve_without_prefix(request_ctx& ctx) {
    const char* path_info = WRBGetEnvironmentVariable(ctx.wrb_handle, "PATH_INFO");
    const char* script = WRBGetEnvironmentVariable(ctx.wrb_handle, "SCRIPT_NAME");
    const std::string_view path = path_info != nullptr ? path_info : "";
    const std::size_t slash = path.size() > 1 ? path.find_last_of('/') : std::string_view::npos;
    if (slash != std::string_view::npos && slash >= 1) {
        ctx.procedure_name = cut(path.substr(slash + 1));
    } else {
        ctx.procedure_name = cut(path.size() > 1 ? path.substr(1) : std::string_view());
    }
    std::string_view name = script != nullptr && *script != '\0' ? script + 1 : "";
    for (std::size_t i = 1; i < name.size(); ++i) {
        if (name[i] == '/' && name[i - 1] != '/') {
            name = name.substr(0, i);
            break;
        }
    }
    ctx.service_name = cut(name);
}

void resolve_url(request_ctx& ctx, std::string_view work) {
    ctx.service_type.clear();
    for (const std::string_view prefix : prefixes) {
        const std::size_t at = work.find(prefix);
        if (at == std::string_view::npos) {
            continue;
        }
        ctx.service_type = std::string(prefix);
        ctx.procedure_name = cut(work.substr(at + prefix.size()));
        const std::string_view before = work.substr(0, at);
        const std::size_t slash = before.find_last_of('/');
        ctx.service_name = cut(slash == std::string_view::npos ? before : before.substr(slash + 1));
        return;
    }
    resolve_without_prefix(ctx);
}

int find_service(const request_ctx& ctx, std::string_view name) {
    for (std::size_t i = 0; i < ctx.config.services.size(); ++i) {
        const auto& service = ctx.config.services[i].owa_service;
        if (service && equal_ignoring_case(*service, name)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

// "<owa_log_dir><sep><service>.err"; a name over the field size is not cut
// (that would name another file): the service then logs to the trace log.
void set_error_log(request_ctx& ctx, const service_entry& service) {
    ctx.error_log_name.clear();
    if (!service.owa_log_dir) {
        return;
    }
    std::string name = *service.owa_log_dir + ctx.config.dir_separator + ctx.service_name + ".err";
    if (name.size() > field_max) {
        KESTREL_TRACE(ctx, "error log name over %zu characters ignored", field_max);
        return;
    }
    ctx.error_log_name = std::move(name);
}

}  // namespace

void set_session_state(request_ctx& ctx) {
    ctx.service_index = -1;
    ctx.use_database_auth = false;
    ctx.error_log_name.clear();
    ctx.url = request_url(ctx);
    resolve_url(ctx, ctx.url.substr(0, work_max));

    int index = find_service(ctx, ctx.service_name);
    if (index < 0) {
        index = find_service(ctx, "Owa_Default_Service");
    }
    if (index < 0) {
        xdie(ctx, "No OWA.CFG Configuration Found for this agent '%s'", ctx.service_name.c_str());
    }
    ctx.service_index = index;
    const service_entry& service = ctx.config.services[static_cast<std::size_t>(index)];
    ctx.service_name = cut(*service.owa_service);
    lower_string(ctx.service_name);
    set_error_log(ctx, service);
    for (const std::string& name : ctx.config.dbauth_services) {
        if (equal_ignoring_case(name, ctx.service_name)) {
            ctx.use_database_auth = true;
            break;
        }
    }
    KESTREL_TRACE(ctx, "service %s, type %s, procedure %s", ctx.service_name.c_str(),
                  ctx.service_type.c_str(), ctx.procedure_name.c_str());
}

std::string path_translated(request_ctx& ctx) {
    std::string path = "/" + ctx.procedure_name;
    std::size_t n = path.size();
    while (n != 0) {
        for (const dir_map& row : ctx.config.dir_maps) {
            if (row.virtual_path.size() == n && path.compare(0, n, row.virtual_path) == 0) {
                return row.physical + path.substr(n);
            }
        }
        do {
            --n;
        } while (n > 0 && path[n - 1] != '/');
    }
    return path;
}

bool isTimed(request_ctx& ctx, std::string_view tag) {
    if (!ctx.config.timed_services) {
        return false;
    }
    return ctx.config.timed_services->find(tag) != std::string::npos ||
           equal_ignoring_case(*ctx.config.timed_services, "all");
}

}  // namespace kestrel
