// cgi_env_test.cpp - the environment block: which environment entries
// travel and how, and its failures.
#include "exec/cgi_env.hpp"

#include <array>

#include "frame/diagnostics.hpp"
#include "support/request_fixture.hpp"

namespace kestrel::test {
namespace {

class CgiEnv : public request_test {
  protected:
    void SetUp() override {
        request_test::SetUp();
        ctx.url = "/gw/svc/owa/pkg.proc";
        ctx.procedure_name = "pkg.proc";
    }

    // The environment as sent, in order, and its count.
    pair_list sent(std::int32_t* count = nullptr) {
        set_cgi_env(ctx);
        const auto& exec = db->statements.back().executions.back();
        const auto* names = exec.find("nm");
        const auto* values = exec.find("v");
        pair_list pairs;
        for (std::size_t i = 0; i < names->elements.size(); ++i) {
            pairs.emplace_back(names->elements[i], values->elements[i]);
        }
        if (count != nullptr) {
            *count = exec.find("n")->integer;
        }
        return pairs;
    }
};

TEST_F(CgiEnv, GatewayPathsReplaceTheProcessOnesAndEntriesSplitAtTheFirstEqualsRun) {
    set_env({"SCRIPT_NAME=/other", "PATH_INFO=/x", "QUERY_STRING=", "X_ONE=a=b", "X==y", "==LEAD=1",
             "NOEQ", "=", "Script_Name=kept", "EMPTY==="});
    EXPECT_EQ(sent(), (pair_list{{"PATH_INFO", "/pkg.proc"},
                                 {"SCRIPT_NAME", "/gw/svc/owa"},
                                 {"X_ONE", "a=b"},
                                 {"X", "y"},
                                 {"LEAD", "1"},
                                 {"Script_Name", "kept"}}));
}

TEST_F(CgiEnv, OnlyTheFirst90EntriesAreConsideredAndOverlongOnesLeftOut) {
    std::vector<std::string> env;
    env.reserve(100);
    for (int i = 0; i < 100; ++i) {
        env.push_back("E" + std::to_string(i) + "=" + std::to_string(i));
    }
    env[3] = "QUERY_STRING=";  // skipped, but still counts towards the 90
    env[4] = "HTTP_COOKIE=" + std::string(5000, 'c');
    set_env(env);
    std::int32_t count = 0;
    const auto pairs = sent(&count);
    EXPECT_EQ(count, 2 + 88);
    EXPECT_EQ(pairs[5].first, "E5");  // E3 skipped, E4 left out whole
    EXPECT_EQ(pairs.back().first, "E89");
}

TEST_F(CgiEnv, DatabaseAuthenticationAddsUserAndPrefix) {
    ctx.use_database_auth = true;
    wrb().user = "alice";
    const auto pairs = sent();
    ASSERT_GE(pairs.size(), 2u);
    EXPECT_EQ(pairs[0], (std::pair<std::string, std::string>{"REMOTE_USER", "alice"}));
    EXPECT_EQ(pairs[1], (std::pair<std::string, std::string>{"WEB_AUTHENT_PREFIX", "(null)"}));
}

// The pre-action's verdict on a real server: tests/pg/exec_pg_test.cpp.
TEST_F(CgiEnv, DatabaseFailuresDie) {
    auto& script = db->on("owa.init_cgi_env");
    script.parse_rc = 6550;
    EXPECT_THROW(set_cgi_env(ctx), fatal_error);
    script.parse_rc = 0;
    script.bind_rc = {{"nm", 1}};
    EXPECT_THROW(set_cgi_env(ctx), fatal_error);
    EXPECT_TRUE(db->statements.back().executions.empty());
    script.bind_rc.clear();
    script.outcomes = {{.rc = 20000}};
    EXPECT_THROW(set_cgi_env(ctx), fatal_error);
}

TEST_F(CgiEnv, SetvalStoresNullAsTextAndNeverOverruns) {
    std::array<std::string_view, 4> names{};
    std::array<std::string_view, 4> values{};
    int count = 0;
    setval(ctx, names, values, nullptr, "v", count);
    setval(ctx, names, values, "n", nullptr, count);
    setval(ctx, names, values, "a", "1", count);
    setval(ctx, names, values, "b", "2", count);  // no room: the last slot ends the arrays
    EXPECT_EQ(count, 3);
    EXPECT_EQ(names[0], "(null)");
    EXPECT_EQ(values[1], "(null)");
    EXPECT_EQ(names[2], "a");
    EXPECT_TRUE(names[3].empty());
}

}  // namespace
}  // namespace kestrel::test
