// host.cpp - the steps shared by the CGI host and the FastCGI host: the
// application file and the directories derived from it, and the road of one
// request from its credentials through authorize and exec to a clean state.
#include "host/host.hpp"

#include <exception>
#include <string>

#include "config/service_resolution.hpp"
#include "frame/diagnostics.hpp"
#include "frame/wrb.hpp"
#include "frame/wrb_state.hpp"

namespace kestrel {
namespace {

enum class authorization { not_needed, needed, unresolved };

// Only services listed in dbauth_services go through the authorize step;
// every other service keeps exec's own logon.
authorization authorization_for(request_ctx* ctx) {
    if (ctx == nullptr || ctx->config.dbauth_services.empty()) {
        return authorization::not_needed;
    }
    try {
        set_session_state(*ctx);
    } catch (const fatal_error&) {
        return authorization::unresolved;  // already logged by xdie
    }
    return ctx->use_database_auth ? authorization::needed : authorization::not_needed;
}

// The realm inside its quotes: no quote, backslash or control character can
// end the header early.
std::string quotable(std::string_view realm) {
    std::string text;
    for (const char c : realm) {
        const auto u = static_cast<unsigned char>(c);
        text += (u < 0x20 || u == 0x7f || c == '"' || c == '\\') ? '_' : c;
    }
    return text;
}

// The last resort: the request's own recovery did not run. The log gets the
// reason; the client a bare 500 when nothing was sent yet.
void answer_host_failure(const char* what) noexcept {
    try {
        wrb_state& s = wrb();
        WRBLogMessage(nullptr, std::string("Unexpected failure: ") + what, 1);
        if (s.answer.has_started()) {
            s.answer.cut();
            return;
        }
        s.answer.discard();
        static constexpr std::string_view page =
            "Status: 500 Internal Server Error\nContent-type: text/plain\n\nInternal Server "
            "Error\n";
        WRBClientWrite(nullptr, page.data(), page.size());
        if (s.clientcxp != nullptr) {
            end_request(*s.clientcxp);
        }
    } catch (...) {
        // Nothing is left to report with.
    }
}

void run_request(const callback_table& table, void* handle) {
    wrb_state& s = wrb();
    set_user_password();
    request_ctx* const ctx = s.clientcxp;
    const authorization step = authorization_for(ctx);
    int allowed = 1;
    if (step == authorization::needed) {
        table.authorize(handle, ctx, &allowed);
    }
    if (step != authorization::unresolved && allowed != 0) {
        table.exec(handle, ctx);  // exec ends the request itself
        return;
    }
    // A refused logon never reaches exec. A persistent host must not carry
    // the resolution, the authorize verdict or the request pool over to the
    // next request.
    const request_scope scope(*ctx);
    if (allowed == 0) {
        const std::string answer = unauthorized_answer(s.realm);
        WRBClientWrite(handle, answer.data(), answer.size());
    }
}

}  // namespace

std::string unauthorized_answer(const std::optional<std::string>& realm) {
    std::string answer;
    if (realm) {
        answer = "Status: 401 Unauthorized\n";
        answer +=
            format_text(8191, "WWW-Authenticate: Basic realm=\"%s\"\n", quotable(*realm).c_str());
        answer += "\n";
    } else {
        answer = "Content-type: text/html\n\n";
    }
    return answer + "Database log in failed";
}

std::string derive_oracle_home(std::string_view appfile, char& dir_sep) {
    int count = 0;
    for (std::size_t i = appfile.size(); i-- > 1;) {
        const char c = appfile[i];
        if (dir_sep == 0 && (c == '/' || c == '\\')) {
            dir_sep = c;
        }
        if (dir_sep != 0 && c == dir_sep && ++count == 3) {
            return std::string(appfile.substr(0, i + 1));
        }
    }
    return std::string(appfile);
}

std::string derive_log_dir(std::string_view appfile, char dir_sep) {
    int count = 0;
    for (std::size_t i = appfile.size(); dir_sep != 0 && i-- > 1;) {
        if (appfile[i] == dir_sep && ++count == 2) {
            return std::string(appfile.substr(0, i + 1)) + "log" + dir_sep;
        }
    }
    return std::string(appfile);
}

std::string_view help_page() {
    return "Content-type: text/html\n\n"
           "Environment variable OWS_APPFILE or OWA_CGI_APPFILE "
           "not set and it must be"
           "<br>"
           "It would be C:\\ORANT\\OWS20\\ADMIN\\svWebSvr.app, etc"
           "<br>"
           "Use OWA_CGI_APPFILE with version 1.x of webserver"
           "<br>"
           "OWS_APPFILE should be set by version 2.x of webserver";
}

bool name_application_file() {
    const char* appfile = WRBGetEnvironmentVariable(nullptr, "OWS_APPFILE");
    if (appfile == nullptr) {
        appfile = WRBGetEnvironmentVariable(nullptr, "OWA_CGI_APPFILE");
    }
    if (appfile == nullptr) {
        return false;
    }
    wrb_state& s = wrb();
    s.ows_appfile = appfile;
    s.oracle_home = derive_oracle_home(s.ows_appfile, s.dir_sep);
    s.ows_logfile = derive_log_dir(s.ows_appfile, s.dir_sep);
    return true;
}

void send_help_page() {
    const std::string_view page = help_page();
    WRBClientWrite(nullptr, page.data(), page.size());
}

bool was_answered(const response& answer) {
    return answer.has_started() && !answer.is_cut();
}

void serve_request(const callback_table& table, void* handle) {
    try {
        run_request(table, handle);
    } catch (const std::exception& e) {
        answer_host_failure(e.what());
    } catch (...) {
        answer_host_failure("unknown exception");
    }
}

}  // namespace kestrel
