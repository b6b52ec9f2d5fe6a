// generic_args_test.cpp - generic-argument mode when the database refuses
// the cgi_args block.
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

// The pairs in request order on a real server: tests/pg/args_pg_test.cpp.
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
