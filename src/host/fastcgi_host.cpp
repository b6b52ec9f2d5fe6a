// fastcgi_host.cpp - the FastCGI host over libfcgi: per request, the
// parameters become the environment of wrb_state and the request's streams
// its client; the steps of a request are those of every host (host.cpp).
//
// Stopping: the stop signals stay blocked while a request is served, so a
// request is never cut short, and are let through only while the process
// waits for the next connection. Their handler just records the wish;
// ppoll and the accept are interrupted (no SA_RESTART), the loop ends and
// shutdown closes the kept database session.
#include "host/fastcgi_host.hpp"

#include <fcgiapp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <memory>
#include <optional>
#include <span>
#include <string_view>

#include "db_interface/client_watch.hpp"
#include "frame/wrb.hpp"
#include "frame/wrb_state.hpp"
#include "host/cgi_host.hpp"
#include "host/fastcgi_records.hpp"
#include "host/host.hpp"

namespace kestrel {
namespace {

constexpr int listen_fd = 0;  // where a FastCGI server passes the socket
// Writes from this size on bypass libfcgi's buffer (document pieces).
constexpr std::size_t direct_write_bytes = 16384;

volatile sig_atomic_t stop_requested = 0;

extern "C" void request_stop(int) {
    stop_requested = 1;
}

// libfcgi counts in int.
int chunk(std::size_t length) {
    return static_cast<int>(std::min<std::size_t>(length, INT_MAX));
}

// The streams of the request being served.
class fcgx_client_io final : public client_io {
  public:
    explicit fcgx_client_io(FCGX_Request& request) : request_(request) {}

    std::size_t read(void* buffer, std::size_t length) override {
        std::size_t got = 0;
        while (got < length) {
            const int n =
                FCGX_GetStr(static_cast<char*>(buffer) + got, chunk(length - got), request_.in);
            if (n <= 0) {
                break;
            }
            got += static_cast<std::size_t>(n);
        }
        return got;
    }

    std::size_t write(const void* buffer, std::size_t length) override {
        if (length >= direct_write_bytes) {
            return write_direct({static_cast<const char*>(buffer), length});
        }
        std::size_t put = 0;
        while (put < length) {
            const int n = FCGX_PutStr(static_cast<const char*>(buffer) + put, chunk(length - put),
                                      request_.out);
            if (n <= 0) {
                break;  // the web server has gone
            }
            put += static_cast<std::size_t>(n);
        }
        return put;
    }

    void flush() override { FCGX_FFlush(request_.out); }

  private:
    // What libfcgi holds goes first, then the records of data.
    std::size_t write_direct(std::span<const char> data) {
        if (FCGX_FFlush(request_.out) != 0 ||
            !write_stdout_records(request_.ipcFd, request_.requestId, data)) {
            return 0;  // the web server has gone
        }
        return data.size();
    }

    FCGX_Request& request_;
};

// Between requests (init, shutdown) there is no client: nothing is read,
// nothing written.
class no_client_io final : public client_io {
  public:
    std::size_t read(void*, std::size_t) override { return 0; }
    std::size_t write(const void*, std::size_t) override { return 0; }
    void flush() override {}
};

bool is_listening_socket(int fd) {
    int listening = 0;
    socklen_t size = sizeof listening;
    return getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &listening, &size) == 0 && listening != 0;
}

sigset_t stop_signals() {
    sigset_t set;
    sigemptyset(&set);
    for (const int signal : {SIGTERM, SIGUSR1, SIGINT}) {
        sigaddset(&set, signal);
    }
    return set;
}

// Installs the stop handlers (before libfcgi, which would otherwise put in
// its own) and blocks the stop signals. Returns the mask to wait with.
sigset_t prepare_signals() {
    struct sigaction stop {};
    stop.sa_handler = request_stop;
    sigemptyset(&stop.sa_mask);
    stop.sa_flags = 0;  // no SA_RESTART: a wait must end
    for (const int signal : {SIGTERM, SIGUSR1, SIGINT}) {
        sigaction(signal, &stop, nullptr);
    }
    // A web server that hangs up must not kill the process mid-write.
    std::signal(SIGPIPE, SIG_IGN);
    const sigset_t blocked = stop_signals();
    sigset_t waiting;
    sigprocmask(SIG_BLOCK, &blocked, &waiting);
    sigdelset(&waiting, SIGTERM);
    sigdelset(&waiting, SIGUSR1);
    sigdelset(&waiting, SIGINT);
    return waiting;
}

// Waits for the next request with the stop signals let through. False when
// one arrived or the socket failed. A request accepted while a stop signal
// came is still served; the next wait ends the loop.
bool accept_next(FCGX_Request& request, const sigset_t& waiting) {
    pollfd socket{.fd = listen_fd, .events = POLLIN, .revents = 0};
    while (stop_requested == 0) {
        const int ready = ppoll(&socket, 1, nullptr, &waiting);
        if (ready > 0) {
            break;
        }
        if (ready < 0 && errno != EINTR) {
            return false;
        }
    }
    if (stop_requested != 0) {
        return false;
    }
    // The accept itself may block when another process took the connection
    // from a shared socket: a stop signal must end it too.
    sigset_t serving;
    sigprocmask(SIG_SETMASK, &waiting, &serving);
    const int rc = FCGX_Accept_r(&request);
    sigprocmask(SIG_SETMASK, &serving, nullptr);
    return rc >= 0;
}

// The one log line for a request that cannot be served as configured; it
// goes to the web server's error log through the FastCGI error stream.
std::optional<std::string_view> missing_variables(const FCGX_Request& request, bool named) {
    if (!named) {
        return "kestrel-fcgi: request refused: no OWS_APPFILE (or OWA_CGI_APPFILE) in the "
               "process environment; set it where the FastCGI process is started\n";
    }
    if (FCGX_GetParam("SCRIPT_NAME", request.envp) == nullptr ||
        FCGX_GetParam("PATH_INFO", request.envp) == nullptr) {
        return "kestrel-fcgi: request without SCRIPT_NAME or PATH_INFO; the web server must "
               "pass the CGI variables as FastCGI parameters\n";
    }
    return std::nullopt;
}

// One accepted request. An exception here (the client's streams could not be
// set up) never ends the process: the request ends and the next is served.
void serve_accepted(FCGX_Request& request, const callback_table& table, void* handle, bool named) {
    wrb_state& s = wrb();
    try {
        s.begin_request(request.envp, std::make_unique<fcgx_client_io>(request));
        if (const auto line = missing_variables(request, named)) {
            FCGX_PutStr(line->data(), chunk(line->size()), request.err);
        }
        if (named) {
            // A web server that hangs up on a request has lost its client.
            db::watch_client(request.ipcFd);
            serve_request(table, handle);
        } else {
            send_help_page();
        }
    } catch (...) {
        WRBLogMessage(nullptr, "Unexpected failure while starting a request", 1);
    }
    // A cut response ends as a failed request: the web server drops the
    // connection rather than pass a short body off as whole.
    if (!was_answered(s.answer)) {
        FCGX_SetExitStatus(1, request.out);
    }
    db::watch_client(-1);
    // The parameters die with the request: back to the process's own.
    s.begin_request(nullptr, std::make_unique<no_client_io>());
    FCGX_Finish_r(&request);
}

}  // namespace

int run_fastcgi_host(char** envp) {
    if (!is_listening_socket(listen_fd)) {
        return run_cgi_host(envp);
    }
    const sigset_t waiting = prepare_signals();
    if (FCGX_Init() != 0) {
        return 1;
    }
    void* const handle = nullptr;
    wrb_state& s = wrb();
    s.begin_request(envp, std::make_unique<no_client_io>());
    const bool named = name_application_file();
    callback_table table;
    tessel_entry(table);
    if (named) {
        table.init(handle, &s.clientcxp);
    }
    FCGX_Request request;
    FCGX_InitRequest(&request, listen_fd, FCGI_FAIL_ACCEPT_ON_INTR);
    while (accept_next(request, waiting)) {
        serve_accepted(request, table, handle, named);
    }
    FCGX_Free(&request, 1);
    if (named) {
        table.shutdown(handle, s.clientcxp);
    }
    return 0;
}

}  // namespace kestrel
