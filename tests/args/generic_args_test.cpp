// generic_args_test.cpp - generic-argument mode: the cgi_args block, its
// binds in list order, failures, and the emptied list.
#include "args/generic_args.hpp"

#include "args/arglist.hpp"
#include "frame/diagnostics.hpp"
#include "support/request_fixture.hpp"

namespace kestrel::test {
namespace {

class GenericArgs : public request_test {
  protected:
    void get(const std::string& query) {
        set_env({"REQUEST_METHOD=GET", "QUERY_STRING=" + query});
        build_arglist(ctx);
    }
};

TEST_F(GenericArgs, EveryPairGoesToCgiArgsInListOrder) {
    set_config("demo_argv_only", "whatever");
    get("a=1&b=2&a=3");

    ASSERT_EQ(db->statements.size(), 1u);
    const auto& block = db->statements[0];
    EXPECT_EQ(block.text,
              "begin \tcgi_args.argC := cgi_args.argC+1; \tcgi_args.argNam(cgi_args.argC) := "
              ":name; \tcgi_args.argVal(cgi_args.argC) := :val; end;");
    // :name before :val, each pair bound before its own execution.
    const pair_list expected = {{"a", "1"}, {"b", "2"}, {"a", "3"}};
    ASSERT_EQ(block.executions.size(), expected.size());
    ASSERT_EQ(block.binds.size(), 2 * expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(block.binds[2 * i].name, ":name");
        EXPECT_EQ(block.binds[2 * i + 1].name, ":val");
        const auto& live = block.executions[i].binds;
        EXPECT_EQ(live[live.size() - 2].text, expected[i].first);
        EXPECT_EQ(live.back().text, expected[i].second);
    }
    EXPECT_TRUE(ctx.args.empty());
    EXPECT_EQ(get_unique_names_cnt(ctx), 0);
}

TEST_F(GenericArgs, WithoutTheEntryTheListIsUntouched) {
    set_config("other_argv_only", "1");
    get("a=1&b=2");
    EXPECT_TRUE(db->statements.empty());
    EXPECT_EQ(get_unique_names_cnt(ctx), 2);
}

TEST_F(GenericArgs, DatabaseFailuresEndTheRequestWithTheDatabaseText) {
    const struct {
        int parse_rc;
        int bind_rc;  // of :val
        int exec_rc;
        std::size_t executions;
    } cases[] = {{6550, 0, 0, 0}, {0, 1401, 0, 0}, {0, 0, 6502, 1}};
    for (const auto& c : cases) {
        restart();
        set_config("demo_argv_only", "1");
        db->messages[c.parse_rc + c.bind_rc + c.exec_rc] = "the database says no (100%)";
        auto& script = db->on("cgi_args");
        script.parse_rc = c.parse_rc;
        script.bind_rc = {{"val", c.bind_rc}};
        script.outcomes = {{.rc = c.exec_rc}};
        EXPECT_THROW(get("a=1&b=2"), fatal_error);
        EXPECT_NE(client->written.find("the database says no (100%)"), std::string::npos)
            << client->written;
        EXPECT_EQ(db->statements.at(0).executions.size(), c.executions);
    }
}

}  // namespace
}  // namespace kestrel::test
