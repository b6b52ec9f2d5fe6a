// cgi_host.cpp - the CGI host: one process, one request. It keeps the
// environment, names the application file and its directories in wrb_state,
// decodes the credentials and calls init, exec and shutdown once each.
#include "frame/cgi_host.hpp"

#include "config/service_resolution.hpp"
#include "frame/cartridge.hpp"
#include "frame/diagnostics.hpp"
#include "frame/wrb.hpp"
#include "frame/wrb_state.hpp"

namespace kestrel {
namespace {

enum class authorization { not_needed, needed, unresolved };

// Only services listed in dbauth_services go through the authorize step;
// every other service keeps exec's own logon.
authorization authorization_for(request_ctx* ctx) {
    if (ctx == nullptr || ctx->dbauth_services.empty()) {
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

int run_cgi_host(char** envp) {
    void* const handle = nullptr;
    wrb_state& s = wrb();
    s.begin_request(envp, nullptr);

    const char* appfile = WRBGetEnvironmentVariable(handle, "OWS_APPFILE");
    if (appfile == nullptr) {
        appfile = WRBGetEnvironmentVariable(handle, "OWA_CGI_APPFILE");
    }
    if (appfile == nullptr) {
        const std::string_view page = help_page();
        WRBClientWrite(handle, page.data(), page.size());
        s.io->flush();
        return 0;
    }
    s.ows_appfile = appfile;
    s.oracle_home = derive_oracle_home(s.ows_appfile, s.dir_sep);
    s.ows_logfile = derive_log_dir(s.ows_appfile, s.dir_sep);
    set_user_password();

    callback_table table;
    tessel_entry(table);
    table.init(handle, &s.clientcxp);
    const authorization step = authorization_for(s.clientcxp);
    int allowed = 1;
    if (step == authorization::needed) {
        table.authorize(handle, s.clientcxp, &allowed);
    }
    if (step == authorization::unresolved || allowed == 0) {
        // A refused logon never reaches exec.
        if (allowed == 0) {
            const std::string answer = unauthorized_answer(s.realm);
            WRBClientWrite(handle, answer.data(), answer.size());
        }
        table.shutdown(handle, s.clientcxp);
        s.io->flush();
        return 1;
    }
    table.exec(handle, s.clientcxp);
    table.shutdown(handle, s.clientcxp);
    s.io->flush();
    return 1;
}

}  // namespace kestrel
