// cgi_host.cpp - the CGI host: one process, one request. It keeps the
// environment, names the application file and its directories in wrb_state
// and calls init, the request's callbacks and shutdown once each. The exit
// status tells the web server whether the response went out whole.
#include "host/cgi_host.hpp"

#include "frame/wrb_state.hpp"

namespace kestrel {

int run_cgi_host(char** envp) {
    void* const handle = nullptr;
    wrb_state& s = wrb();
    s.begin_request(envp, nullptr);
    if (!name_application_file()) {
        send_help_page();
        s.io->flush();
        return 0;
    }
    callback_table table;
    tessel_entry(table);
    table.init(handle, &s.clientcxp);
    serve_request(table, handle);
    table.shutdown(handle, s.clientcxp);
    s.io->flush();
    return was_answered(s.answer) ? 0 : 1;
}

}  // namespace kestrel
