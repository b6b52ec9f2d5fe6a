// timing_test.cpp - clock readings and timing rows on the recording client.
#include "timing/timing.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "frame/wrb_state.hpp"
#include "support/recording_client.hpp"

namespace kestrel {
namespace {

constexpr const char* expected_insert =
    "insert into app.timing (url,msg,start_hsecs,stop_hsecs,userid,remote_addr, "
    "\t\t\t\thttp_user_agent) values (:url,:msg,:start_hsecs,:stop_hsecs,:userid,:remote_addr, "
    "\t\t:http_user_agent)";

class TimingTest : public ::testing::Test {
  protected:
    void SetUp() override {
        auto owned = std::make_unique<test::recording_client>();
        db = owned.get();
        ctx.db = std::move(owned);
        service_entry service;
        service.owa_user = "shop_owner";
        ctx.services.push_back(service);
        ctx.service_index = 0;
        ctx.url = "/gw/shop/owa/home";
        wrb().user.reset();
        wrb().set_environment({"REMOTE_ADDR=10.0.0.7", "PATH=/bin"});
    }
    void TearDown() override { wrb().set_environment({}); }

    void switch_on(const char* tags) {
        ctx.timing_table = "app.timing";
        ctx.timed_services = tags;
    }

    request_ctx ctx;
    test::recording_client* db = nullptr;
};

TEST_F(TimingTest, OffSendsNothing) {
    EXPECT_EQ(get_hsecs(ctx), 0u);
    log_timings(ctx, 1, 2, "TOTAL");
    ctx.timed_services = "all";  // tags alone do not switch it on
    log_timings(ctx, 1, 2, "TOTAL");
    EXPECT_TRUE(db->calls.empty());
}

TEST_F(TimingTest, ClockReadsTheTimerView) {
    switch_on("all");
    db->on("sys.v_$timer").outcomes = {{.row = test::row_values{"4294967295"}}, {.rc = 942}};
    EXPECT_EQ(get_hsecs(ctx), 4294967295u);
    EXPECT_EQ(db->statements.at(0).text, "select hsecs from sys.v_$timer");
    EXPECT_EQ(db->statements.at(0).defines.at(0).buffer_size, 25u);
    EXPECT_EQ(get_hsecs(ctx), 0u);  // a failed reading counts as 0
}

TEST_F(TimingTest, RowCarriesUrlTagReadingsUserAndClient) {
    switch_on("DESCRIBE,TOTAL");
    log_timings(ctx, 100, 4294967295u, "TOTAL");
    ASSERT_EQ(db->statements.size(), 1u);
    const auto& s = db->statements[0];
    EXPECT_EQ(s.text, expected_insert);
    ASSERT_EQ(s.executions.size(), 1u);
    const auto& row = s.executions[0];
    std::vector<std::string> names;
    for (const auto& b : row.binds) {
        names.push_back(b.name);
    }
    EXPECT_EQ(names, (std::vector<std::string>{":url", ":msg", ":start_hsecs", ":stop_hsecs",
                                               ":userid", ":remote_addr", ":http_user_agent"}));
    EXPECT_EQ(row.find("url")->text, "/gw/shop/owa/home");
    EXPECT_EQ(row.find("msg")->text, "TOTAL");
    EXPECT_EQ(row.find("start_hsecs")->integer, 100);
    EXPECT_EQ(row.find("stop_hsecs")->integer, -1);  // the 32-bit reading as bound
    EXPECT_EQ(row.find("userid")->text, "shop_owner");
    EXPECT_EQ(row.find("remote_addr")->text, "10.0.0.7");
    EXPECT_EQ(row.find("http_user_agent")->text, "null");  // the text, not NULL
}

TEST_F(TimingTest, BrowserUserWins) {
    switch_on("all");
    wrb().user = "joe";
    log_timings(ctx, 1, 2, "EXEC-BLOCK");
    EXPECT_EQ(db->statements.at(0).executions.at(0).find("userid")->text, "joe");
    wrb().user.reset();
}

TEST_F(TimingTest, OnlyTimedTagsAreWritten) {
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

TEST_F(TimingTest, FailuresStopQuietly) {
    switch_on("all");
    db->on("insert into").parse_rc = 942;
    log_timings(ctx, 1, 2, "TOTAL");
    EXPECT_EQ(db->calls, std::vector<std::string>{"oparse"});

    SetUp();
    switch_on("all");
    db->on("insert into").bind_rc = {{"start_hsecs", 1036}};
    log_timings(ctx, 1, 2, "TOTAL");
    EXPECT_EQ(db->calls, (std::vector<std::string>{"oparse", "obndrv", "obndrv", "obndrv"}));
}

}  // namespace
}  // namespace kestrel
