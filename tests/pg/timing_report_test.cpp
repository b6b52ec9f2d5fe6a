// timing_report_test.cpp - the timing report of the toolkit: its figures per
// phase within the window (the clock wraps at 2^32 hundredths), and the page
// a service gets once it enabled the report.
#include "db/errors.hpp"
#include "db/query.hpp"
#include "pg/pg_fixture.hpp"

namespace kestrel::test {
namespace {

class TimingReport : public pg_fixture {
  protected:
    void SetUp() override {
        pg_fixture::SetUp();
        const std::string rows = std::string("INSERT INTO ") + app_user +
                                 ".timing (msg, start_hsecs, stop_hsecs, logged_at) ";
        // TOTAL lasts 10, 20, ... 1000 ms; DESCRIBE crosses the wrap (100 ms);
        // a row of two days ago lies outside every default window.
        exec(rows + "SELECT 'TOTAL', 1000, 1000 + g, now() FROM generate_series(1, 100) g");
        exec(rows +
             "VALUES ('DESCRIBE', 4294967290, 4, now()), "
             "('<script>', 0, 99999, now() - interval '2 days')");
    }

    // The page of the service's report for a query string's window values.
    std::string report(const std::string& from, const std::string& to) {
        const std::string call = std::string(
                                     "begin perform owa.init_cgi_env(0, '{}', '{}'); "
                                     "call ") +
                                 app_user + ".timing_report(" + from + ", " + to + "); end;";
        EXPECT_EQ(execute_immediate(ctx, {db::statement_kind::written, call}), 0) << oerr_cda(ctx);
        return selected("SELECT array_to_string(owa.get_page(1000), '')");
    }
};

TEST_F(TimingReport, PercentilesPerPhaseWithinTheWindow) {
    const std::vector<pg_row> expected = {
        {"DESCRIBE", "1", "100.0", "100.0", "100.0", "100"},
        {"TOTAL", "100", "505.0", "901.0", "990.1", "1000"},
    };
    EXPECT_EQ(query(std::string("SELECT * FROM owa_timing.phase_stats('") + app_user +
                    ".timing', now() - interval '1 hour', now() + interval '1 hour')"),
              expected);
    EXPECT_EQ(query(std::string("SELECT * FROM owa_timing.phase_stats('") + app_user +
                    ".timing', now() - interval '3 days', now() - interval '1 day')")
                  .size(),
              1u);
}

TEST_F(TimingReport, PageOnlyOnceTheServiceEnabledIt) {
    EXPECT_EQ(scalar(std::string("SELECT count(*) FROM pg_proc WHERE proname = 'timing_report' "
                                 "AND pronamespace = '") +
                     app_user + "'::regnamespace"),
              "0");
    exec(std::string("SELECT owa_timing.enable('") + app_user + "')");
    const std::string page = report("null", "null");
    EXPECT_NE(page.find("<tr><td>TOTAL</td><td>100</td><td>505.0</td><td>901.0</td>"
                        "<td>990.1</td><td>1000</td></tr>"),
              std::string::npos)
        << page;
    // The largest p99 (TOTAL, the second phase) fills the chart's width.
    EXPECT_NE(page.find("<svg xmlns=\"http://www.w3.org/2000/svg\""), std::string::npos);
    EXPECT_NE(page.find("class=\"p99\" x=\"130\" y=\"104\" width=\"420.0\""), std::string::npos)
        << page;

    const std::string wide = report("(now() - interval '3 days')::text", "null");
    EXPECT_NE(wide.find("<td>&lt;script&gt;</td>"), std::string::npos) << wide;
    EXPECT_EQ(wide.find("<script>"), std::string::npos);

    const std::string old = report("'2000-01-01'", "'2000-01-02 00:00+00'");
    EXPECT_NE(old.find("No timed requests in this window."), std::string::npos) << old;
    EXPECT_EQ(old.find("<svg"), std::string::npos);

    const std::string bad = report("'soon'';'", "null");
    EXPECT_TRUE(
        bad.starts_with("Status: 400 Bad Request\nContent-type: text/html; charset=utf-8\n\n"))
        << bad;
}

}  // namespace
}  // namespace kestrel::test
