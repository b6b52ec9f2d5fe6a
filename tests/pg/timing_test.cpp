// timing_test.cpp - timing rows on a real server: written only when timing
// is on, kept by the commit and lost by the rollback of their request.
#include "timing/timing.hpp"

#include "db/query.hpp"
#include "pg/pg_fixture.hpp"

namespace kestrel::test {
namespace {

class PgTiming : public pg_fixture {
  protected:
    void SetUp() override {
        pg_fixture::SetUp();
        ctx.url = "/gw/app/owa/home";
        set_env({"REMOTE_ADDR=192.0.2.1"});
    }

    // One request that logs one phase and ends with commit or rollback.
    void request(const char* tag, bool rollback) {
        const std::uint32_t start = get_hsecs(ctx);
        log_timings(ctx, start, get_hsecs(ctx), tag);
        next_request(rollback);
    }
};

TEST_F(PgTiming, RowsOnlyWhenSwitchedOnAndOnlyWhenCommitted) {
    request("TOTAL", false);  // timing off
    EXPECT_EQ(scalar("select count(*) from kestrel_app.timing"), "0");

    config->timing_table = "kestrel_app.timing";
    config->timed_services = "TOTAL,DESCRIBE";
    request("TOTAL", false);
    request("DESCRIBE", true);
    request("EXEC-BLOCK", false);  // not a timed tag
    EXPECT_EQ(scalar("select string_agg(msg || ' ' || url || ' ' || userid || ' ' || "
                     "remote_addr || ' ' || http_user_agent, '; ') from kestrel_app.timing"),
              "TOTAL /gw/app/owa/home kestrel_app 192.0.2.1 null");
    EXPECT_EQ(
        scalar("select (stop_hsecs - start_hsecs) between 0 and 1000 from kestrel_app.timing"),
        "t");
}

TEST_F(PgTiming, MissingTimingTableCostsTheRequestNothing) {
    config->timing_table = "kestrel_app.nosuch";
    config->timed_services = "all";
    EXPECT_NE(get_hsecs(ctx), 0u);
    ASSERT_EQ(execute_immediate(ctx, {db::statement_kind::written,
                                      "insert into kestrel_app.image (name) values ('kept')"}),
              0);
    log_timings(ctx, 1, 2, "TOTAL");
    next_request();
    EXPECT_EQ(scalar("select name from kestrel_app.image"), "kept");
}

}  // namespace
}  // namespace kestrel::test
