// diagnostics_test.cpp - the log chain (trace log, fallback log, standard
// error), the error log, trace selection, die and xdie.
#include "frame/diagnostics.hpp"

#include "frame/wrb.hpp"
#include "support/request_fixture.hpp"

namespace kestrel::test {
namespace {

class diagnostics_test : public request_test {
  protected:
    std::string trace_log() const {
        return read_file(path("trace/WRB_DBAUTH_" + std::to_string(::getpid()) + ".log"));
    }
    void use_trace_dir() {
        std::filesystem::create_directories(dir / "trace");
        set_app_file("[DBAUTH]\ndebugPath = " + path("trace") + "/\n");
    }
};

TEST_F(diagnostics_test, TraceSelectorChoosesModules) {
    struct row {
        const char* selector;
        bool traced;
    };
    // This file's module is diagnostics_test.
    for (const row r : {row{"ALL", true}, row{"all", true}, row{"logon", false},
                        row{"logon,diagnostics_test", true}, row{"al", false}}) {
        std::filesystem::remove(path("WRB_DBAUTH_" + std::to_string(::getpid()) + ".log"));
        config->debug = r.selector;
        KESTREL_TRACE(ctx, "hello %d", 7);
        const std::string log = fallback_log();
        EXPECT_EQ(log.find("hello 7") != std::string::npos, r.traced) << r.selector;
    }
}

TEST_F(diagnostics_test, TraceLineHasModuleAndLineColumns) {
    config->debug = "all";
    ctx.debug_file = "logon";
    ctx.debug_line = 42;
    _debugf(ctx, "x=%s", "y");
    EXPECT_EQ(fallback_log(), "(        logon, 42) x=y\n");
}

TEST_F(diagnostics_test, TraceOffEvaluatesNoArgument) {
    int evaluated = 0;
    KESTREL_TRACE(ctx, "%d", ++evaluated);
    EXPECT_EQ(evaluated, 0);
    EXPECT_EQ(fallback_log(), "");
}

TEST_F(diagnostics_test, LogChainFallsThroughToStandardError) {
    use_trace_dir();
    logMessage(ctx, "to trace", 1);
    EXPECT_EQ(trace_log(), "to trace\n");

    set_app_file("[DBAUTH]\ndebugPath = " + path("missing") + "/\n");
    logMessage(ctx, "to fallback", 1);
    EXPECT_EQ(fallback_log(), "to fallback\n");

    wrb().ows_logfile = path("missing") + "/";
    ::testing::internal::CaptureStderr();
    logMessage(ctx, "to stderr", 1);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "to stderr\n");
}

TEST_F(diagnostics_test, OverlongLogDirectoryIsRefusedNotCut) {
    set_app_file("[DBAUTH]\ndebugPath = " + path(std::string(240, 'd')) + "/\n");
    logMessage(ctx, "long", 1);
    EXPECT_EQ(fallback_log(), "long\n");
}

TEST_F(diagnostics_test, MessageGoesToErrorLogElseTraceChain) {
    ctx.error_log_name = path("svc.err");
    Message(ctx, "a %d%%", 5);
    EXPECT_EQ(read_file(ctx.error_log_name), "a 5%\n");
    ctx.error_log_name = path("nodir/svc.err");
    Message(ctx, "b");
    EXPECT_EQ(fallback_log(), "b\n");
}

TEST_F(diagnostics_test, MessagesAreCutAt8191Characters) {
    ctx.error_log_name = path("svc.err");
    const std::string big(10000, 'm');
    Message(ctx, "%s", big.c_str());
    EXPECT_EQ(read_file(ctx.error_log_name), std::string(8191, 'm') + "\n");
    wrbprintf(ctx, "%s", big.c_str());
    EXPECT_EQ(client->written, std::string(8191, 'm'));
}

TEST_F(diagnostics_test, DieSendsPlainPageWithMessageVerbatimAndReport) {
    ctx.error_log_name = path("svc.err");
    ctx.start_date = "Mon Jan 01 10:00:00 2024";
    ctx.service_name = "sales";
    const std::string text = "ORA-1: 100% wrong %s";
    EXPECT_THROW(die(ctx, "%s", text.c_str()), fatal_error);
    const std::string page =
        "Status: 500 Internal Server Error\nContent-type: text/plain\n\nMon Jan 01 10:00:00 "
        "2024\n\n" +
        text + "\n";
    EXPECT_EQ(client->written.substr(0, page.size()), page);
    EXPECT_NE(client->written.find("  OWA SERVICE: sales\n"), std::string::npos);
    const std::string log = read_file(ctx.error_log_name);
    EXPECT_TRUE(
        log.starts_with("\n\nMon Jan 01 10:00:00 2024\n" + text + "\n  OWA SERVICE: sales\n"))
        << log;
}

TEST_F(diagnostics_test, DieWithReadableErrorPageSendsItWithoutReport) {
    ctx.error_log_name = path("svc.err");
    service_entry svc;
    svc.owa_service = "sales";
    svc.owa_error_page = write_file("sorry.html", "<p>Sorry</p>\n<p>again</p>\n");
    config->services = {svc};
    ctx.service_index = 0;
    EXPECT_THROW(die(ctx, "boom"), fatal_error);
    EXPECT_EQ(client->written,
              "Status: 500 Internal Server Error\nContent-type: text/html\n\n<p>Sorry</p>\n<p>"
              "again</p>\n");
    EXPECT_NE(read_file(ctx.error_log_name).find("  OWA SERVICE:"), std::string::npos);

    client->written.clear();

    wrb().answer = response();
    config->services[0].owa_error_page = path("absent.html");
    EXPECT_THROW(die(ctx, "boom"), fatal_error);
    EXPECT_TRUE(client->written.starts_with(
        "Status: 500 Internal Server Error\nContent-type: text/plain\n\n\n\n"));
}

TEST_F(diagnostics_test, XdieLogsOnlyAndSendsLaterMessagesToTrace) {
    ctx.error_log_name = path("svc.err");
    EXPECT_THROW(xdie(ctx, "No config %s", "x"), fatal_error);
    EXPECT_EQ(client->written, "");
    EXPECT_TRUE(ctx.error_log_name.empty());
    Message(ctx, "later");
    const std::string log = fallback_log();
    EXPECT_EQ(log.substr(0, 12), "No config x\n");
    EXPECT_NE(log.find("  OWA SERVICE: demo\n"), std::string::npos);
    EXPECT_EQ(log.substr(log.size() - 6), "later\n");
    EXPECT_FALSE(std::filesystem::exists(path("svc.err")));
}

TEST_F(diagnostics_test, WrbgetenvReturnsValueOrNull) {
    set_env({"A=1", "AB=2", "EMPTY="});
    EXPECT_STREQ(wrbgetenv(ctx, "A"), "1");
    EXPECT_STREQ(wrbgetenv(ctx, "AB"), "2");
    EXPECT_STREQ(wrbgetenv(ctx, "EMPTY"), "");
    EXPECT_EQ(wrbgetenv(ctx, "A="), nullptr);
    config->debug = "all";
    EXPECT_EQ(wrbgetenv(ctx, "B"), nullptr);
    EXPECT_NE(fallback_log().find("Envvar B is null"), std::string::npos);
}

}  // namespace
}  // namespace kestrel::test
