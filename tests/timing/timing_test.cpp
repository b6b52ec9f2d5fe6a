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
        config->timing_table = "app.timing";
        config->timed_services = tags;
    }
};

TEST_F(Timing, ClockReadsTheTimerViewOnlyWhenTimingIsOn) {
    EXPECT_EQ(get_hsecs(ctx), 0u);
    EXPECT_TRUE(db->calls.empty());
    switch_on("all");
    db->on("sys.v_$timer").outcomes = {{.row = row_values{"4294967295"}}, {.rc = 942}};
    EXPECT_EQ(get_hsecs(ctx), 4294967295u);
    EXPECT_EQ(get_hsecs(ctx), 0u);  // a failed reading counts as 0
}

TEST_F(Timing, RowCarriesUrlTagReadingsUserAndClient) {
    config->timed_services = "all";  // tags alone do not switch it on
    log_timings(ctx, 1, 2, "TOTAL");
    EXPECT_TRUE(db->calls.empty());
    switch_on("DESCRIBE,TOTAL");
    log_timings(ctx, 100, 4294967295u, "TOTAL");
    log_timings(ctx, 1, 2, "EXEC-BLOCK");  // not timed
    ASSERT_EQ(db->statements.size(), 1u);
    const auto& row = db->statements[0].executions.at(0);
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

TEST_F(Timing, FailuresStopQuietly) {
    switch_on("all");
    auto& insert = db->on("insert into");
    insert.parse_rc = 942;
    EXPECT_NO_THROW(log_timings(ctx, 1, 2, "TOTAL"));
    insert.parse_rc = 0;
    insert.bind_rc = {{"start_hsecs", 1036}};
    EXPECT_NO_THROW(log_timings(ctx, 1, 2, "TOTAL"));
    EXPECT_EQ(client->written, "");
}

}  // namespace
}  // namespace kestrel::test
