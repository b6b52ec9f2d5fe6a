// kestrel_exe_test.cpp - the built CGI program run as a web server would:
// a controlled environment, the response read from its standard output.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "host/cgi_host.hpp"
#include "support/request_fixture.hpp"

namespace kestrel::test {
namespace {

struct run_result {
    std::string out;
    int status = -1;
};

// Runs the program with exactly env as its environment.
run_result run_kestrel(const std::vector<std::string>& env) {
    int out[2];
    EXPECT_EQ(::pipe(out), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], 1);
        const int null_fd = ::open("/dev/null", O_RDWR);
        ::dup2(null_fd, 0);
        ::dup2(null_fd, 2);
        ::close(out[0]);
        std::vector<char*> envp;
        for (const std::string& e : env) {
            envp.push_back(const_cast<char*>(e.c_str()));
        }
        envp.push_back(nullptr);
        char* argv[] = {const_cast<char*>(KESTREL_BINARY), nullptr};
        ::execve(KESTREL_BINARY, argv, envp.data());
        ::_exit(127);
    }
    ::close(out[1]);
    run_result r;
    char buffer[4096];
    ssize_t n = 0;
    while ((n = ::read(out[0], buffer, sizeof buffer)) > 0) {
        r.out.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(out[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

class kestrel_exe_test : public request_test {
  protected:
    std::string app;
    void SetUp() override {
        request_test::SetUp();
        std::filesystem::create_directories(dir / "trace");
        std::filesystem::create_directories(dir / "logs");
        app = write_file("app.cfg",
                         "[DBAUTH]\n"
                         "debugPath = " +
                             path("trace") +
                             "/\n"
                             "[Service]\n"
                             "(\n"
                             "owa_service=Shop\n"
                             "owa_user=web\n"
                             "owa_password=nopass\n"
                             "owa_connect_string=host=" +
                             path("nosocket") +
                             " port=1 connect_timeout=2\n"
                             "owa_log_dir=" +
                             path("logs") +
                             "\n"
                             ")\n");
    }
    std::string trace_log() const {
        std::string all;
        for (const auto& f : std::filesystem::directory_iterator(dir / "trace")) {
            all += read_file(f.path().string());
        }
        return all;
    }
};

TEST_F(kestrel_exe_test, HelpPageWithoutApplicationFile) {
    const std::string expected =
        "Content-type: text/html\n\nEnvironment variable OWS_APPFILE or OWA_CGI_APPFILE not set "
        "and it must be<br>It would be C:\\ORANT\\OWS20\\ADMIN\\svWebSvr.app, etc<br>Use "
        "OWA_CGI_APPFILE with version 1.x of webserver<br>OWS_APPFILE should be set by version "
        "2.x of webserver";
    EXPECT_EQ(run_kestrel({}).out, expected);
    EXPECT_EQ(run_kestrel({"SCRIPT_NAME=/shop", "PATH_INFO=/owa/p"}).out, expected);
    // A variable set to an empty value counts as present.
    const run_result empty = run_kestrel({"OWA_CGI_APPFILE="});
    EXPECT_EQ(empty.out, "");
    EXPECT_EQ(empty.status, 1);
}

TEST_F(kestrel_exe_test, RefusedLogonAnswersTheErrorPageAndWritesTheServiceLog) {
    const run_result r = run_kestrel({"OWS_APPFILE=" + app, "REQUEST_METHOD=GET",
                                      "QUERY_STRING=a=1", "SERVER_NAME=www", "SERVER_PORT=80",
                                      "SCRIPT_NAME=/shop", "PATH_INFO=/owa/pkg.proc"});
    EXPECT_EQ(r.status, 0);
    // The database's own reason follows the message, once, on the page and
    // in the log.
    const std::string head =
        "Status: 503 Service Unavailable\nRetry-After: 30\nContent-type: text/plain\n\n\n\n"
        "Unable to Logon For This Service\n";
    ASSERT_TRUE(r.out.starts_with(head)) << r.out;
    const std::string reason =
        r.out.substr(head.size(), r.out.find("\n  OWA SERVICE", head.size()) - head.size());
    EXPECT_NE(reason.find("socket"), std::string::npos) << reason;
    const std::string page =
        "Status: 503 Service Unavailable\nRetry-After: 30\nContent-type: text/plain\n\n\n\n"
        "Unable to Logon For This Service\n" +
        reason +
        "\n"
        "  OWA SERVICE: shop\n"
        "  PROCEDURE  : pkg.proc\n"
        "  URL        : http://www:80/shop/owa/pkg.proc?a=1\n"
        "  PARAMETERS :\n"
        "  ===========\n"
        "\n"
        "  ENVIRONMENT:\n"
        "  ============\n"
        "    OWS_APPFILE=" +
        app + "\n";
    EXPECT_TRUE(r.out.starts_with(page)) << r.out;
    const std::string log = read_file(path("logs/shop.err"));
    EXPECT_TRUE(log.starts_with("\n\n\nUnable to Logon For This Service\n" + reason +
                                "\n  OWA SERVICE: shop\n"))
        << log;
    EXPECT_NE(log.find("    PATH_INFO=/owa/pkg.proc\n"), std::string::npos);
}

TEST_F(kestrel_exe_test, UnknownServiceWritesOnlyTheTraceLog) {
    const run_result r =
        run_kestrel({"OWS_APPFILE=" + app, "SCRIPT_NAME=/nobody", "PATH_INFO=/owa/p"});
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(trace_log().find("No OWA.CFG Configuration Found for this agent 'nobody'\n"
                               "  OWA SERVICE: nobody\n"),
              std::string::npos);
    EXPECT_TRUE(std::filesystem::is_empty(dir / "logs"));
}

TEST_F(kestrel_exe_test, OwsAppfileWinsOverTheVersionOneVariable) {
    // The log directory follows the chosen file: <dir>/a/log/ for <dir>/a/b/app.cfg.
    std::filesystem::create_directories(dir / "a/b");
    std::filesystem::create_directories(dir / "a/log");
    std::filesystem::create_directories(dir / "c/log");
    std::filesystem::create_directories(dir / "c/d");
    const std::string chosen = write_file("a/b/app.cfg", "owa_service=x\n");
    const std::string other = write_file("c/d/app.cfg", "owa_service=y\n");
    run_kestrel({"OWS_APPFILE=" + chosen, "OWA_CGI_APPFILE=" + other, "SCRIPT_NAME=/z",
                 "PATH_INFO=/owa/p"});
    EXPECT_FALSE(std::filesystem::is_empty(dir / "a/log"));
    EXPECT_TRUE(std::filesystem::is_empty(dir / "c/log"));
}

}  // namespace
}  // namespace kestrel::test
