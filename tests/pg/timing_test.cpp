// timing_test.cpp - timing rows on a real server: written only when timing
// is on, kept by the commit and lost by the rollback of their request.
#include "timing/timing.hpp"

#include <gtest/gtest.h>

#include <string>

#include "db/errors.hpp"
#include "db/query.hpp"
#include "db/session.hpp"
#include "frame/wrb_state.hpp"
#include "pg/pg_fixture.hpp"

namespace kestrel {
namespace {

class PgTimingTest : public test::pg_fixture {
  protected:
    void SetUp() override {
        pg_fixture::SetUp();
        use_app_service(ctx);
        ctx.url = "/gw/app/owa/home";
        wrb().set_environment({"REMOTE_ADDR=192.0.2.1"});
    }
    void TearDown() override {
        wrb().set_environment({});
        pg_fixture::TearDown();
    }

    // One request that logs one phase and ends with commit or rollback.
    void request(const char* tag, bool rollback) {
        ASSERT_TRUE(Logon(ctx, nullptr, nullptr)) << oerr_lda(ctx);
        const std::uint32_t start = get_hsecs(ctx);
        log_timings(ctx, start, get_hsecs(ctx), tag);
        Logoff(ctx, rollback);
    }

    std::string rows() {
        return scalar(
            "select coalesce(string_agg(msg || ' ' || url || ' ' || userid || ' ' || "
            "remote_addr || ' ' || http_user_agent, '; ' order by msg), '') "
            "from kestrel_app.timing");
    }
};

TEST_F(PgTimingTest, RowsOnlyWhenSwitchedOnAndOnlyWhenCommitted) {
    request("TOTAL", false);  // timing off
    EXPECT_EQ(rows(), "");

    ctx.timing_table = "kestrel_app.timing";
    ctx.timed_services = "TOTAL,DESCRIBE";
    request("TOTAL", false);
    request("DESCRIBE", true);
    request("EXEC-BLOCK", false);  // not a timed tag
    EXPECT_EQ(rows(), "TOTAL /gw/app/owa/home kestrel_app 192.0.2.1 null");
    EXPECT_EQ(
        scalar("select (stop_hsecs - start_hsecs) between 0 and 1000 from kestrel_app.timing"),
        "t");
}

TEST_F(PgTimingTest, MissingTimingTableCostsTheRequestNothing) {
    ctx.timing_table = "kestrel_app.nosuch";
    ctx.timed_services = "all";
    ASSERT_TRUE(Logon(ctx, nullptr, nullptr)) << oerr_lda(ctx);
    EXPECT_NE(get_hsecs(ctx), 0u);
    ASSERT_EQ(execute_immediate(ctx, "insert into kestrel_app.image (name) values ('kept')"), 0);
    log_timings(ctx, 1, 2, "TOTAL");
    Logoff(ctx, false);
    EXPECT_EQ(scalar("select name from kestrel_app.image"), "kept");
}

}  // namespace
}  // namespace kestrel
