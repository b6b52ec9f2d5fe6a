// error_page_test.cpp - what a failed request answers: status lines, the two
// error styles, the hold that keeps a failed page back, the cut after the
// first byte, and the modes of the logs it writes.
#include "frame/error_page.hpp"

#include <sys/stat.h>

#include "frame/diagnostics.hpp"
#include "frame/wrb.hpp"
#include "support/request_fixture.hpp"

namespace kestrel::test {
namespace {

class error_page_test : public request_test {
  protected:
    void SetUp() override {
        request_test::SetUp();
        ctx.error_log_name = path("svc.err");
        ctx.service_name = "sales";
        ctx.start_date = "Mon Jan 01 10:00:00 2024";
        set_env({"HTTP_COOKIE=sid=s3cr3t", "PATH_INFO=/owa/p"});
    }
    int die_with(int status, const char* message) {
        try {
            die_status(ctx, status, "%s", message);
        } catch (const fatal_error& e) {
            return e.status;
        }
        return 0;
    }
    static unsigned mode_of(const std::string& file) {
        struct stat st {};
        ::stat(file.c_str(), &st);
        return st.st_mode & 07777;
    }
};

TEST_F(error_page_test, StatusLinesOfEveryAnswer) {
    const struct {
        int status;
        const char* head;
    } cases[] = {
        {400, "Status: 400 Bad Request\nContent-type: text/plain\n\n"},
        {404, "Status: 404 Not Found\nContent-type: text/plain\n\n"},
        {413, "Status: 413 Content Too Large\nContent-type: text/plain\n\n"},
        {500, "Status: 500 Internal Server Error\nContent-type: text/plain\n\n"},
        {503, "Status: 503 Service Unavailable\nRetry-After: 30\nContent-type: text/plain\n\n"},
    };
    for (const auto& c : cases) {
        client->written.clear();
        wrb().answer = response();
        EXPECT_EQ(die_with(c.status, "boom"), c.status);
        EXPECT_TRUE(
            client->written.starts_with(std::string(c.head) + ctx.start_date + "\n\nboom\n"))
            << client->written;
        EXPECT_NE(client->written.find("HTTP_COOKIE=(hidden)"), std::string::npos);
    }
}

TEST_F(error_page_test, ProductionStyleKeepsTheReportInTheLog) {
    set_app_file("[DBAUTH]\nerror_style = debug\nsales_error_style = production\n");
    EXPECT_EQ(die_with(500, "ERROR:  secret detail"), 500);
    const std::string& page = client->written;
    ASSERT_TRUE(
        page.starts_with("Status: 500 Internal Server Error\nContent-type: "
                         "text/plain\n\n500 Internal Server Error\nTime: "))
        << page;
    const std::size_t at = page.find("\nIncident: ");
    ASSERT_NE(at, std::string::npos);
    const std::string incident = page.substr(at + 11, page.find('\n', at + 1) - at - 11);
    EXPECT_FALSE(incident.empty());
    EXPECT_EQ(page.find("secret detail"), std::string::npos);
    EXPECT_EQ(page.find("OWA SERVICE"), std::string::npos);
    const std::string log = read_file(ctx.error_log_name);
    EXPECT_NE(log.find("Incident " + incident + ", status 500\nERROR:  secret detail\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("  OWA SERVICE: sales"), std::string::npos);

    ctx.service_name = "other";  // the [DBAUTH] default applies
    client->written.clear();
    wrb().answer = response();
    die_with(500, "shown");
    EXPECT_NE(client->written.find("\n\nshown\n"), std::string::npos);
}

TEST_F(error_page_test, HeldPageIsReplacedAndLargePagesSpill) {
    response& answer = wrb().answer;
    answer.hold();
    const std::string page(hold_memory_max + 5000, 'x');
    WRBClientWrite(nullptr, page.data(), page.size());
    EXPECT_EQ(client->written, "");
    EXPECT_EQ(answer.bytes_held(), page.size());
    answer.release(*wrb().io);
    EXPECT_EQ(client->written, page);

    client->written.clear();
    wrb().answer = response();
    wrb().answer.hold();
    WRBClientWrite(nullptr, "Content-type: text/html\n\nOrder saved.", 37);
    die_with(500, "commit failed");
    EXPECT_TRUE(client->written.starts_with("Status: 500")) << client->written;
    EXPECT_EQ(client->written.find("Order saved."), std::string::npos);
}

TEST_F(error_page_test, FailureAfterTheFirstByteCutsTheResponse) {
    WRBClientWrite(nullptr, "Content-type: text/plain\n\nabc", 29);
    die_with(500, "document vanished");
    EXPECT_EQ(client->written, "Content-type: text/plain\n\nabc");
    EXPECT_TRUE(wrb().answer.is_cut());
    EXPECT_EQ(WRBClientWrite(nullptr, "more", 4), 0u);
    const std::string log = read_file(ctx.error_log_name);
    EXPECT_NE(log.find("document vanished\nResponse cut after 29 bytes\n"), std::string::npos)
        << log;
}

TEST_F(error_page_test, LogsAreForTheirOwnerOnly) {
    Message(ctx, "first");
    EXPECT_EQ(mode_of(ctx.error_log_name), 0600u);
    ::chmod(ctx.error_log_name.c_str(), 0644);
    Message(ctx, "second");
    EXPECT_EQ(mode_of(ctx.error_log_name), 0640u);
    EXPECT_EQ(read_file(ctx.error_log_name), "first\nsecond\n");

    ctx.error_log_name = "/dev/null";  // not a log file of ours: left alone
    Message(ctx, "discarded");
    EXPECT_EQ(mode_of("/dev/null"), 0666u);

    set_app_file("[DBAUTH]\nlog_group = root\n");
    ctx.error_log_name = path("grouped.err");
    Message(ctx, "shared");
    EXPECT_EQ(mode_of(ctx.error_log_name), 0640u);
}

}  // namespace
}  // namespace kestrel::test
