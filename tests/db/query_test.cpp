// query_test.cpp - single-row query and immediate execution on the cursor.
#include "db/query.hpp"

#include <array>

#include "support/request_fixture.hpp"

namespace kestrel::test {
namespace {

using Query = request_test;

TEST_F(Query, SelectIntoReadsColumnOneAsText) {
    db->on("from dual").outcomes = {{.row = row_values{"Mon Jan 01 10:00:00 2024"}}};
    std::array<char, 80> date{};
    ASSERT_EQ(select_into(ctx, {db::statement_kind::written, "select sysdate from dual"}, date), 0);
    EXPECT_STREQ(date.data(), "Mon Jan 01 10:00:00 2024");
}

TEST_F(Query, SelectIntoReportsTheFirstFailure) {
    const struct {
        int parse_rc;
        int define_rc;
        int fetch_rc;
        bool connected;
    } cases[] = {
        {942, 0, 0, true},  {0, 1007, 0, true}, {0, 0, 1403, true},
        {0, 0, 1422, true}, {0, 0, 0, false},  // no session
    };
    for (const auto& c : cases) {
        restart();
        db->connected = c.connected;
        auto& script = db->on("select");
        script.parse_rc = c.parse_rc;
        script.define_rc = c.define_rc;
        script.outcomes = {{.rc = c.fetch_rc}};
        std::array<char, 25> buffer{};
        const int expected = !c.connected       ? not_connected
                             : c.parse_rc != 0  ? c.parse_rc
                             : c.define_rc != 0 ? c.define_rc
                                                : c.fetch_rc;
        EXPECT_EQ(select_into(ctx, {db::statement_kind::written, "select 1"}, buffer), expected);
    }
}

TEST_F(Query, ExecuteImmediateReportsParseAndRunFailures) {
    db->on("bad").parse_rc = 6550;
    EXPECT_EQ(execute_immediate(ctx, {db::statement_kind::written, "begin bad; end;"}), 6550);
    db->on("fails").outcomes = {{.rc = 20000}};
    EXPECT_EQ(execute_immediate(ctx, {db::statement_kind::written, "begin fails; end;"}), 20000);
    EXPECT_EQ(execute_immediate(ctx, {db::statement_kind::written, "begin ok; end;"}), 0);
}

}  // namespace
}  // namespace kestrel::test
