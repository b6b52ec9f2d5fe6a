// request_report_test.cpp - the report of a failed request, in its log form
// and its browser form.
#include "frame/request_report.hpp"

#include "frame/wrb.hpp"
#include "support/request_fixture.hpp"

namespace kestrel::test {
namespace {

class RequestReport : public request_test {
  protected:
    void SetUp() override {
        request_test::SetUp();
        ctx.error_log_name = (dir / "svc.err").string();
        ctx.service_name = "sales";
        ctx.procedure_name = "pkg.proc";
    }
    std::string log() const { return read_file(ctx.error_log_name); }
};

TEST_F(RequestReport, LogAndBrowserForms) {
    const std::vector<std::string> env = {
        "SERVER_NAME=www",         "SERVER_PORT=8080",         "SCRIPT_NAME=/sales",
        "PATH_INFO=/owa/pkg.proc", "QUERY_STRING=a=1&B=2&A=3", "HTTP_AUTHORIZATION=Basic Ym9iOnB3"};
    set_env(env);
    set_user_password();
    set_args({{"a", "1"}, {"B", "2"}, {"A", "3"}});
    dump_values(ctx, true);
    const std::string body =
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
        tail += "    " + (e.starts_with("HTTP_AUTH") ? "HTTP_AUTHORIZATION=(hidden)" : e) + "\n";
    }
    EXPECT_EQ(log(), body + "  \n" + tail);
    EXPECT_EQ(client->written, body + "\n" + tail);
}

TEST_F(RequestReport, NoQueryNoUserAndHiddenFromBrowser) {
    set_env({"SCRIPT_NAME=/sales", "PATH_INFO=/owa/p"});
    set_user_password();
    dump_values(ctx, false);
    EXPECT_NE(log().find("  URL        : http://:/sales/owa/p\n  PARAMETERS :\n"),
              std::string::npos);
    EXPECT_EQ(log().find("USER"), std::string::npos);
    EXPECT_EQ(client->written, "");
    // An empty query string still shows the mark.
    set_env({"QUERY_STRING="});
    dump_values(ctx, false);
    EXPECT_NE(log().find("  URL        : http://:?\n"), std::string::npos);
}

TEST_F(RequestReport, ValuesAreCutAt800Characters) {
    set_args({{"big", std::string(800, 'v') + "CUT"}});
    dump_values(ctx, true);
    EXPECT_NE(client->written.find("  big:\n   " + std::string(800, 'v') + "\n"),
              std::string::npos);
    EXPECT_EQ(client->written.find("CUT"), std::string::npos);
}

}  // namespace
}  // namespace kestrel::test
