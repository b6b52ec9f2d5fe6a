// request_report_test.cpp - the report of a failed request, in its log form
// and its browser form.
#include "args/request_report.hpp"

#include "frame/frame_fixture.hpp"
#include "frame/wrb.hpp"

namespace kestrel::test {
namespace {

class request_report_test : public frame_test {
  protected:
    void SetUp() override {
        frame_test::SetUp();
        ctx.error_log_name = path("svc.err");
        ctx.service_name = "sales";
        ctx.procedure_name = "pkg.proc";
    }
};

TEST_F(request_report_test, LogAndBrowserForms) {
    const std::vector<std::string> env = {
        "SERVER_NAME=www",         "SERVER_PORT=8080",         "SCRIPT_NAME=/sales",
        "PATH_INFO=/owa/pkg.proc", "QUERY_STRING=a=1&B=2&A=3", "HTTP_AUTHORIZATION=Basic Ym9iOnB3"};
    set_env(env);
    set_user_password();
    ctx.args = {{"a", "1"}, {"B", "2"}, {"A", "3"}};
    ctx.arg_unique_count = 2;
    dump_values(ctx, true);
    std::string body =
        "  OWA SERVICE: sales\n"
        "  PROCEDURE  : pkg.proc\n"
        "  USER       : bob\n"
        "  URL        : http://www:8080/sales/owa/pkg.proc?a=1&B=2&A=3\n"
        "  PARAMETERS :\n"
        "  ===========\n"
        "  a:\n"
        "   1\n"
        "   3\n"
        "  B:\n"
        "   2\n";
    std::string tail = "  ENVIRONMENT:\n  ============\n";
    for (const std::string& e : env) {
        tail += "    " + e + "\n";
    }
    EXPECT_EQ(read_file(ctx.error_log_name), body + "  \n" + tail);
    EXPECT_EQ(client->output, body + "\n" + tail);
}

TEST_F(request_report_test, NoQueryNoUserAndHiddenFromBrowser) {
    set_env({"SCRIPT_NAME=/sales", "PATH_INFO=/owa/p"});
    set_user_password();
    dump_values(ctx, false);
    const std::string log = read_file(ctx.error_log_name);
    EXPECT_NE(log.find("  URL        : http://:/sales/owa/p\n  PARAMETERS :\n"), std::string::npos);
    EXPECT_EQ(log.find("USER"), std::string::npos);
    EXPECT_EQ(client->output, "");
}

TEST_F(request_report_test, EmptyQueryStringStillShowsTheMark) {
    set_env({"QUERY_STRING="});
    dump_values(ctx, false);
    EXPECT_NE(read_file(ctx.error_log_name).find("  URL        : http://:?\n"), std::string::npos);
}

TEST_F(request_report_test, ValuesAreCutAt800Characters) {
    const std::string value = std::string(800, 'v') + "CUT";
    ctx.args = {{"big", value}};
    ctx.arg_unique_count = 1;
    dump_values(ctx, true);
    EXPECT_NE(client->output.find("  big:\n   " + std::string(800, 'v') + "\n"), std::string::npos);
    EXPECT_EQ(client->output.find("CUT"), std::string::npos);
}

}  // namespace
}  // namespace kestrel::test
