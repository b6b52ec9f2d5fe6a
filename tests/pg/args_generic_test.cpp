// args_generic_test.cpp - generic-argument mode against the toolkit's
// cgi_args on a real session.
#include <gtest/gtest.h>

#include <array>
#include <string>

#include "args/arglist.hpp"
#include "db/query.hpp"
#include "pg/args_pg_fixture.hpp"

namespace kestrel {
namespace {

class PgGenericArgs : public test::args_pg_test {
  protected:
    void get(const std::string& query) {
        wrb().set_environment({"REQUEST_METHOD=GET", "QUERY_STRING=" + query});
        build_arglist(ctx);
    }

    // What cgi_args holds for this session: "names/values", '|' between.
    std::string cgi_args_state() {
        std::array<char, 256> state{};
        const int rc = select_into(ctx,
                                   "select array_to_string(cgi_args.names(), '|') || '/' || "
                                   "array_to_string(cgi_args.vals(), '|') || '/' || "
                                   "cgi_args.argc()",
                                   state);
        EXPECT_EQ(rc, 0) << oerr_cda(ctx);
        return state.data();
    }
};

TEST_F(PgGenericArgs, FieldsReachCgiArgsInRequestOrder) {
    set_config({"app_argv_only = yes"});
    get("a=1&b=x%27y%3B--&a=3");
    EXPECT_TRUE(ctx.args.empty());
    EXPECT_EQ(get_unique_names_cnt(ctx), 0);
    EXPECT_EQ(cgi_args_state(), "a|b|a/1|x'y;--|3/3");

    // The counter is never reset by the gateway: a second request of the
    // same session numbers on.
    get("c=4");
    EXPECT_EQ(cgi_args_state(), "a|b|a|c/1|x'y;--|3|4/4");
}

TEST_F(PgGenericArgs, WithoutTheEntryNothingReachesCgiArgs) {
    get("a=1&b=2");
    EXPECT_EQ(ctx.args.size(), 2u);
    EXPECT_EQ(cgi_args_state(), "//0");
}

}  // namespace
}  // namespace kestrel
