// cgi_env_test.cpp - the environment block: its text, its binds, which
// environment entries travel and how, and the pre-action's verdict.
#include "exec/cgi_env.hpp"

#include <gtest/gtest.h>

#include <array>

#include "exec/dispatch.hpp"
#include "exec_fixture.hpp"
#include "frame/diagnostics.hpp"

namespace kestrel {
namespace {

class CgiEnv : public test::exec_test {
  protected:
    std::string url_text = "/gw/svc/owa/pkg.proc";

    void SetUp() override {
        exec_test::SetUp();
        ctx.url = url_text;
        ctx.procedure_name = "pkg.proc";
    }

    const test::execution_record& run() {
        set_cgi_env(ctx);
        return db->statements.back().executions.back();
    }

    // The environment as sent: name -> value, in order.
    static std::vector<std::pair<std::string, std::string>> sent(
        const test::execution_record& exec) {
        std::vector<std::pair<std::string, std::string>> pairs;
        const auto* names = exec.find("nm");
        const auto* values = exec.find("v");
        for (std::size_t i = 0; i < names->elements.size(); ++i) {
            pairs.emplace_back(names->elements[i], values->elements[i]);
        }
        return pairs;
    }
};

TEST_F(CgiEnv, BlockTextAndBindsInOrder) {
    db->on("owa.init_cgi_env").outcomes = {{.integers = {{"rc", 1}}}};
    EXPECT_TRUE(set_cgi_env(ctx));
    const test::statement_record& block = db->statements.back();
    EXPECT_EQ(block.text,
              "begin    owa.init_cgi_env(:n,:nm,:v);    if (TRUE) then \t  :rc := 1;    "
              "else \t  :rc := 0;    end if; end;");
    ASSERT_EQ(block.binds.size(), 4u);
    EXPECT_EQ(block.binds[0].name, ":n");
    EXPECT_EQ(block.binds[0].type, db::data_type::integer);
    EXPECT_EQ(block.binds[1].name, ":nm");
    EXPECT_TRUE(block.binds[1].is_array);
    EXPECT_EQ(block.binds[2].name, ":v");
    EXPECT_TRUE(block.binds[2].is_array);
    EXPECT_EQ(block.binds[3].name, ":rc");
    EXPECT_EQ(block.executions[0].find("n")->integer, 2);
    EXPECT_EQ(block.executions[0].find("rc")->integer, 0);
}

TEST_F(CgiEnv, GatewayPathsReplaceTheProcessOnes) {
    wrb().set_environment({"SCRIPT_NAME=/other", "PATH_INFO=/x", "HTTP_HOST=h"});
    EXPECT_EQ(sent(run()),
              (std::vector<std::pair<std::string, std::string>>{
                  {"PATH_INFO", "/pkg.proc"}, {"SCRIPT_NAME", "/gw/svc/owa"}, {"HTTP_HOST", "h"}}));
}

TEST_F(CgiEnv, EntriesAreSplitAtTheFirstEqualsRun) {
    wrb().set_environment({"QUERY_STRING=", "X_ONE=a=b", "X==y", "==LEAD=1", "NOEQ", "=",
                           "Script_Name=kept", "EMPTY==="});
    const auto pairs = sent(run());
    EXPECT_EQ(std::vector(pairs.begin() + 2, pairs.end()),
              (std::vector<std::pair<std::string, std::string>>{
                  {"X_ONE", "a=b"}, {"X", "y"}, {"LEAD", "1"}, {"Script_Name", "kept"}}));
}

TEST_F(CgiEnv, OnlyTheFirst90EntriesAreConsidered) {
    std::vector<std::string> env;
    for (int i = 0; i < 100; ++i) {
        env.push_back("E" + std::to_string(i) + "=" + std::to_string(i));
    }
    env[3] = "QUERY_STRING=";  // skipped, but still counts towards the 90
    wrb().set_environment(env);
    const auto& exec = run();
    EXPECT_EQ(exec.find("n")->integer, 2 + 89);
    const auto pairs = sent(exec);
    EXPECT_EQ(pairs.back().first, "E89");
}

TEST_F(CgiEnv, OverlongEntriesAreLeftOutNotCut) {
    wrb().set_environment({"HTTP_COOKIE=" + std::string(5000, 'c'), "AFTER=1"});
    const auto pairs = sent(run());
    ASSERT_EQ(pairs.size(), 3u);
    EXPECT_EQ(pairs[2].first, "AFTER");
}

TEST_F(CgiEnv, DatabaseAuthenticationAddsUserAndPrefix) {
    ctx.use_database_auth = true;
    wrb().user = "alice";
    const auto pairs = sent(run());
    ASSERT_GE(pairs.size(), 2u);
    EXPECT_EQ(pairs[0], (std::pair<std::string, std::string>{"REMOTE_USER", "alice"}));
    EXPECT_EQ(pairs[1], (std::pair<std::string, std::string>{"WEB_AUTHENT_PREFIX", "(null)"}));
}

TEST_F(CgiEnv, PreActionDecides) {
    write_appfile({"pre_demo = demo.allowed()"});
    auto& script = db->on("owa.init_cgi_env");
    script.outcomes = {{.integers = {{"rc", 0}}}};
    EXPECT_FALSE(set_cgi_env(ctx));
    EXPECT_NE(db->statements.back().text.find("if (demo.allowed()) then"), std::string::npos);
    script.outcomes = {{.integers = {{"rc", 1}}}};
    script.used = 0;
    EXPECT_TRUE(set_cgi_env(ctx));
}

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
}  // namespace kestrel
