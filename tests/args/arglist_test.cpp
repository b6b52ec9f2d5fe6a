// arglist_test.cpp - the argument list from a query string or posted form:
// image-button names, distinct names, value arrays and the body limit.
#include "args/arglist.hpp"

#include "frame/diagnostics.hpp"
#include "support/request_fixture.hpp"

namespace kestrel::test {
namespace {

class ArgList : public request_test {
  protected:
    void get(const std::string& query) {
        unbuild_arglist(ctx);
        set_env({"REQUEST_METHOD=GET", "QUERY_STRING=" + query});
        build_arglist(ctx);
    }
};

TEST_F(ArgList, RepeatedNamesGiveDistinctNamesAndValueArrays) {
    get("a=1&B=2&A=hello&a=");
    EXPECT_EQ(pairs(), (pair_list{{"a", "1"}, {"B", "2"}, {"A", "hello"}, {"a", ""}}));
    EXPECT_EQ(get_unique_names_cnt(ctx), 2);
    EXPECT_EQ(get_unique_names(ctx), (std::vector<std::string_view>{"a", "B"}));

    EXPECT_EQ(get_array_of_values(ctx, "A"), (std::vector<std::string_view>{"1", "hello", ""}));
    EXPECT_EQ(get_array_of_values(ctx, "b"), (std::vector<std::string_view>{"2"}));
    EXPECT_TRUE(get_array_of_values(ctx, "zz").empty());
}

TEST_F(ArgList, ImageButtonCoordinatesShareTheButtonName) {
    const struct {
        std::string query;
        pair_list expected;
        int distinct;
    } cases[] = {
        {"pic.x=10&pic.y=20", {{"pic", "10"}, {"pic", "20"}}, 1},
        {".x=1", {{".x", "1"}}, 1},
        {"a.b.c=1&ab=2&x.yz=3", {{"a.b", "1"}, {"ab", "2"}, {"x.yz", "3"}}, 3},
        {"Pic.X=1&pic=2", {{"Pic", "1"}, {"pic", "2"}}, 1},
        {"", {}, 0},
    };
    for (const auto& c : cases) {
        get(c.query);
        EXPECT_EQ(pairs(), c.expected) << c.query;
        EXPECT_EQ(get_unique_names_cnt(ctx), c.distinct) << c.query;
        for (const arg_pair& p : ctx.args) {
            EXPECT_EQ(p.name.data()[p.name.size()], '\0') << "names stay bindable as text";
        }
    }
    unbuild_arglist(ctx);
    set_env({});
    build_arglist(ctx);
    EXPECT_TRUE(ctx.args.empty());
}

TEST_F(ArgList, PostedFormAtTheLimitIsReadFromTheBody) {
    set_config("max_body_size", "11");
    post("a=1&b=x%20y", "application/x-www-form-urlencoded");
    build_arglist(ctx);
    EXPECT_EQ(pairs(), (pair_list{{"a", "1"}, {"b", "x y"}}));
}

TEST_F(ArgList, BodyOverTheLimitIsRefusedBeforeAnythingIsRead) {
    const struct {
        std::string content_type;
        std::string length;
    } cases[] = {
        {"application/x-www-form-urlencoded", "1001"},
        {"multipart/form-data; boundary=XyZ", "1001"},
        {"multipart/form-data; boundary=XyZ", "99999999999999999999999"},
    };
    for (const auto& c : cases) {
        restart();
        set_config("max_body_size", "1000");
        client->body = std::string(2000, 'a');
        set_env({"REQUEST_METHOD=POST", "CONTENT_TYPE=" + c.content_type,
                 "CONTENT_LENGTH=" + c.length});
        EXPECT_THROW(build_arglist(ctx), fatal_error) << c.length;
        EXPECT_TRUE(client->asked.empty()) << c.length;
        EXPECT_NE(client->written.find("exceeds the limit of 1000 bytes"), std::string::npos)
            << client->written;
    }
}

TEST_F(ArgList, BuildingIsTimedUnderItsOwnTag) {
    config->timing_table = "timing";
    config->timed_services = "BUILD-ARGLIST";
    db->on("v_$timer").outcomes = {{.row = row_values{"1200"}}, {.row = row_values{"1234"}}};
    get("a=1");
    const auto& run = db->statements.back().executions.at(0);
    EXPECT_EQ(run.find("msg")->text, "BUILD-ARGLIST");
    EXPECT_EQ(run.find("start_hsecs")->integer, 1200);
    EXPECT_EQ(run.find("stop_hsecs")->integer, 1234);
}

}  // namespace
}  // namespace kestrel::test
