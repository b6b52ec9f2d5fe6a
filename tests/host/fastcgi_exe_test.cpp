// fastcgi_exe_test.cpp - the built FastCGI program as a web server runs it:
// a listening socket as standard input, requests spoken in the FastCGI
// protocol, a stop signal at the end.
#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <thread>

#include "support/request_fixture.hpp"
#include "support/run_program.hpp"

namespace kestrel::test {
namespace {

enum record_type : std::uint8_t {
    begin_request = 1,
    end_request = 3,
    params = 4,
    stdin_data = 5,
    stdout_data = 6,
    stderr_data = 7,
};

void put_record(std::string& out, record_type type, std::string_view content) {
    const auto size = static_cast<std::uint16_t>(content.size());
    const char header[8] = {1,
                            static_cast<char>(type),
                            0,
                            1,
                            static_cast<char>(size >> 8),
                            static_cast<char>(size & 0xff),
                            0,
                            0};
    out.append(header, sizeof header);
    out.append(content);
}

void put_length(std::string& out, std::size_t n) {
    if (n < 128) {
        out += static_cast<char>(n);
        return;
    }
    for (const int shift : {24, 16, 8, 0}) {
        out += static_cast<char>(((n >> shift) & 0xff) | (shift == 24 ? 0x80 : 0));
    }
}

// One responder request: its parameters and body in, its output back (its
// error stream into errors, when given).
std::string fastcgi_request(const std::string& socket_path,
                            const std::vector<std::pair<std::string, std::string>>& env,
                            const std::string& body = "", std::string* errors = nullptr) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    socket_path.copy(address.sun_path, sizeof address.sun_path - 1);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return "<no connection>";
    }
    std::string out;
    put_record(out, begin_request, std::string_view("\0\1\0\0\0\0\0\0", 8));
    std::string pairs;
    for (const auto& [name, value] : env) {
        put_length(pairs, name.size());
        put_length(pairs, value.size());
        pairs += name + value;
    }
    put_record(out, params, pairs);
    put_record(out, params, "");
    if (!body.empty()) {
        put_record(out, stdin_data, body);
    }
    put_record(out, stdin_data, "");
    EXPECT_EQ(::write(fd, out.data(), out.size()), static_cast<ssize_t>(out.size()));

    std::string in;
    char buffer[4096];
    ssize_t n = 0;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0) {
        in.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    std::string response;
    for (std::size_t at = 0; at + 8 <= in.size();) {
        const auto type = static_cast<std::uint8_t>(in[at + 1]);
        const std::size_t size =
            (static_cast<std::uint8_t>(in[at + 4]) << 8) | static_cast<std::uint8_t>(in[at + 5]);
        const std::size_t padding = static_cast<std::uint8_t>(in[at + 6]);
        if (type == stdout_data) {
            response += in.substr(at + 8, size);
        }
        if (type == stderr_data && errors != nullptr) {
            *errors += in.substr(at + 8, size);
        }
        if (type == end_request) {
            break;
        }
        at += 8 + size + padding;
    }
    return response;
}

class fastcgi_exe_test : public request_test {
  protected:
    pid_t pid = -1;
    std::string socket_path;

    void TearDown() override {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        if (!socket_path.empty()) {
            std::filesystem::remove(socket_path);
        }
        request_test::TearDown();
    }

    // Starts the program on a listening socket, with env as its environment.
    void start(const std::vector<std::string>& env) {
        // Short: a socket's path holds at most 107 characters.
        socket_path = (std::filesystem::temp_directory_path() /
                       ("kestrel-fcgi-" + std::to_string(::getpid()) + ".sock"))
                          .string();
        ASSERT_LT(socket_path.size(), sizeof(sockaddr_un::sun_path));
        std::filesystem::remove(socket_path);
        const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        socket_path.copy(address.sun_path, sizeof address.sun_path - 1);
        ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ASSERT_EQ(::listen(listener, 8), 0);
        pid = ::fork();
        if (pid == 0) {
            ::dup2(listener, 0);
            const int null_fd = ::open("/dev/null", O_RDWR);
            ::dup2(null_fd, 1);
            ::dup2(null_fd, 2);
            exec_with_env(KESTREL_FCGI_BINARY, env);
        }
        ::close(listener);
    }

    // Sends sig and waits up to five seconds for the exit status.
    int stop(int sig) {
        ::kill(pid, sig);
        for (int i = 0; i < 500; ++i) {
            int status = 0;
            if (::waitpid(pid, &status, WNOHANG) == pid) {
                pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return -1;
    }

    std::string app_file() {
        std::filesystem::create_directories(dir / "logs");
        return write_file("fcgi.app",
                          "[DBAUTH]\nreuse_connection = yes\n[Services]\n(\n"
                          "owa_service=shop\nowa_user=web\nowa_connect_string=host=" +
                              path("nosocket") + " port=1\nowa_log_dir=" + path("logs") + "\n)\n");
    }
};

TEST_F(fastcgi_exe_test, ServesRequestAfterRequestAndStopsOnEachStopSignal) {
    for (const int sig : {SIGTERM, SIGUSR1, SIGINT}) {
        start({});
        for (int i = 0; i < 3; ++i) {
            const std::string page = fastcgi_request(socket_path, {{"REQUEST_METHOD", "GET"}});
            EXPECT_TRUE(
                page.starts_with("Content-type: text/html\n\nEnvironment variable "
                                 "OWS_APPFILE or OWA_CGI_APPFILE not set"))
                << page;
        }
        EXPECT_EQ(stop(sig), 0) << "signal " << sig;
    }
}

TEST_F(fastcgi_exe_test, LogsOneLineForARequestWithoutItsVariables) {
    const std::vector<std::pair<std::string, std::string>> complete = {
        {"SCRIPT_NAME", "/shop"}, {"PATH_INFO", "/owa/p"}, {"REQUEST_METHOD", "GET"}};
    const struct {
        bool appfile;
        std::vector<std::pair<std::string, std::string>> env;
        std::string line;
    } cases[] = {
        {false, complete, "no OWS_APPFILE (or OWA_CGI_APPFILE) in the process environment"},
        {true, {{"REQUEST_METHOD", "GET"}}, "request without SCRIPT_NAME or PATH_INFO"},
        {true, {{"SCRIPT_NAME", "/shop"}, {"REQUEST_METHOD", "GET"}}, "without SCRIPT_NAME"},
        {true, complete, ""},
    };
    for (const auto& c : cases) {
        start(c.appfile ? std::vector<std::string>{"OWS_APPFILE=" + app_file()}
                        : std::vector<std::string>{});
        std::string errors;
        fastcgi_request(socket_path, c.env, "", &errors);
        if (c.line.empty()) {
            EXPECT_EQ(errors, "");
        } else {
            EXPECT_NE(errors.find(c.line), std::string::npos) << errors;
            EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
        }
        EXPECT_EQ(stop(SIGTERM), 0);
    }
}

TEST_F(fastcgi_exe_test, WithoutAListeningSocketItIsACgiProgram) {
    const std::string page = run_program(KESTREL_FCGI_BINARY, {}).out;
    EXPECT_TRUE(page.starts_with("Content-type: text/html\n\nEnvironment variable")) << page;
}

}  // namespace
}  // namespace kestrel::test
