// timing_test.cpp - what the real server cannot show of timing rows (those
// are in tests/pg/timing_test.cpp): readings past 31 bits, failed readings,
// and whose row it is.
#include "timing/timing.hpp"

#include "support/request_fixture.hpp"

namespace kestrel::test {
namespace {

class Timing : public request_test {
  protected:
    void SetUp() override {
        request_test::SetUp();
        config->timing_table = "app.timing";
        config->timed_services = "all";
    }
};

TEST_F(Timing, ReadingsAreUnsignedAndAFailedOneCountsAsZero) {
    db->on("sys.v_$timer").outcomes = {{.row = row_values{"4294967295"}}, {.rc = 942}};
    EXPECT_EQ(get_hsecs(ctx), 4294967295u);
    EXPECT_EQ(get_hsecs(ctx), 0u);
    log_timings(ctx, 100, 4294967295u, "TOTAL");
    EXPECT_EQ(db->statements.back().executions.at(0).find("stop_hsecs")->integer, -1);
}

TEST_F(Timing, TheBrowsersUserWinsOverTheServiceAccount) {
    log_timings(ctx, 1, 2, "TOTAL");
    EXPECT_EQ(db->statements.back().executions.at(0).find("userid")->text, "demo");
    wrb().user = "joe";
    log_timings(ctx, 1, 2, "TOTAL");
    EXPECT_EQ(db->statements.back().executions.at(0).find("userid")->text, "joe");
}

}  // namespace
}  // namespace kestrel::test
