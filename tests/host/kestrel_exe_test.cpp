// kestrel_exe_test.cpp - the built CGI program run as a web server would:
// a controlled environment, the response read from its standard output.
#include "support/request_fixture.hpp"
#include "support/run_program.hpp"

namespace kestrel::test {
namespace {

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
    EXPECT_EQ(run_program(KESTREL_BINARY, {}).out, expected);
    EXPECT_EQ(run_program(KESTREL_BINARY, {"SCRIPT_NAME=/shop", "PATH_INFO=/owa/p"}).out, expected);
    // A variable set to an empty value counts as present.
    const run_result empty = run_program(KESTREL_BINARY, {"OWA_CGI_APPFILE="});
    EXPECT_EQ(empty.out, "");
    EXPECT_EQ(empty.status, 1);
}

TEST_F(kestrel_exe_test, UnknownServiceWritesOnlyTheTraceLog) {
    const run_result r = run_program(
        KESTREL_BINARY, {"OWS_APPFILE=" + app, "SCRIPT_NAME=/nobody", "PATH_INFO=/owa/p"});
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
    run_program(KESTREL_BINARY, {"OWS_APPFILE=" + chosen, "OWA_CGI_APPFILE=" + other,
                                 "SCRIPT_NAME=/z", "PATH_INFO=/owa/p"});
    EXPECT_FALSE(std::filesystem::is_empty(dir / "a/log"));
    EXPECT_TRUE(std::filesystem::is_empty(dir / "c/log"));
}

}  // namespace
}  // namespace kestrel::test
