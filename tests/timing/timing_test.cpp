// timing_test.cpp - clock readings and timing rows on the recording client.
#include "timing/timing.hpp"

#include "support/request_fixture.hpp"

namespace kestrel::test {
namespace {

class Timing : public request_test {
  protected:
    void SetUp() override {
        request_test::SetUp();
        ctx.url = "/gw/demo/owa/home";
        set_env({"REMOTE_ADDR=10.0.0.7", "PATH=/bin"});
    }
    void switch_on(const char* tags) {
        ctx.timing_table = "app.timing";
        ctx.timed_services = tags;
    }
};

TEST_F(Timing, OffSendsNothing) {
    EXPECT_EQ(get_hsecs(ctx), 0u);
    log_timings(ctx, 1, 2, "TOTAL");
    ctx.timed_services = "all";  // tags alone do not switch it on
    log_timings(ctx, 1, 2, "TOTAL");
    EXPECT_TRUE(db->calls.empty());
}

TEST_F(Timing, ClockReadsTheTimerView) {
    switch_on("all");
    db->on("sys.v_$timer").outcomes = {{.row = row_values{"4294967295"}}, {.rc = 942}};
    EXPECT_EQ(get_hsecs(ctx), 4294967295u);
    EXPECT_EQ(db->statements.at(0).text, "select hsecs from sys.v_$timer");
    EXPECT_EQ(db->statements.at(0).defines.at(0).buffer_size, 25u);
    EXPECT_EQ(get_hsecs(ctx), 0u);  // a failed reading counts as 0
}

TEST_F(Timing, RowCarriesUrlTagReadingsUserAndClient) {
    switch_on("DESCRIBE,TOTAL");
    log_timings(ctx, 100, 4294967295u, "TOTAL");
    ASSERT_EQ(db->statements.size(), 1u);
    const auto& s = db->statements[0];
    EXPECT_EQ(s.text,
              "insert into app.timing (url,msg,start_hsecs,stop_hsecs,userid,remote_addr, "
              "\t\t\t\thttp_user_agent) values (:url,:msg,:start_hsecs,:stop_hsecs,:userid,"
              ":remote_addr, \t\t:http_user_agent)");
    std::vector<std::string> names;
    for (const auto& b : s.binds) {
        names.push_back(b.name);
    }
    EXPECT_EQ(names, (std::vector<std::string>{":url", ":msg", ":start_hsecs", ":stop_hsecs",
                                               ":userid", ":remote_addr", ":http_user_agent"}));
    const auto& row = s.executions.at(0);
    EXPECT_EQ(row.find("url")->text, "/gw/demo/owa/home");
    EXPECT_EQ(row.find("msg")->text, "TOTAL");
    EXPECT_EQ(row.find("start_hsecs")->integer, 100);
    EXPECT_EQ(row.find("stop_hsecs")->integer, -1);  // the 32-bit reading as bound
    EXPECT_EQ(row.find("userid")->text, "demo");
    EXPECT_EQ(row.find("remote_addr")->text, "10.0.0.7");
    EXPECT_EQ(row.find("http_user_agent")->text, "null");  // the text, not NULL

    wrb().user = "joe";  // the browser's user wins
    log_timings(ctx, 1, 2, "TOTAL");
    EXPECT_EQ(db->statements.back().executions.at(0).find("userid")->text, "joe");
}

TEST_F(Timing, OnlyTimedTagsAreWritten) {
    switch_on("DESCRIBE,GET-IMAGE-FILE");
    for (const char* tag : {"TOTAL", "DESCRIBE", "GET-IMAGE", "RETURN-PAGE"}) {
        log_timings(ctx, 1, 2, tag);
    }
    std::vector<std::string> logged;
    for (const auto& s : db->statements) {
        logged.push_back(s.executions.at(0).find("msg")->text);
    }
    // GET-IMAGE is a substring of GET-IMAGE-FILE.
    EXPECT_EQ(logged, (std::vector<std::string>{"DESCRIBE", "GET-IMAGE"}));
}

TEST_F(Timing, FailuresStopQuietly) {
    switch_on("all");
    db->on("insert into").parse_rc = 942;
    log_timings(ctx, 1, 2, "TOTAL");
    EXPECT_EQ(db->calls, std::vector<std::string>{"oparse"});

    restart();
    switch_on("all");
    db->on("insert into").bind_rc = {{"start_hsecs", 1036}};
    log_timings(ctx, 1, 2, "TOTAL");
    EXPECT_EQ(db->calls, (std::vector<std::string>{"oparse", "obndrv", "obndrv", "obndrv"}));
}

}  // namespace
}  // namespace kestrel::test
