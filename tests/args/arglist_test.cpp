// arglist_test.cpp - the argument list from a query string or posted form:
// image-button names, distinct names, value arrays and the body limit.
#include "args/arglist.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "args/args_fixture.hpp"
#include "frame/diagnostics.hpp"

namespace kestrel {
namespace {

using pair_list = std::vector<std::pair<std::string, std::string>>;

class ArgList : public test::args_test {
  protected:
    void get(const std::string& query) {
        set_env({"REQUEST_METHOD=GET", "QUERY_STRING=" + query});
        build_arglist(ctx);
    }
};

TEST_F(ArgList, RepeatedNamesGiveDistinctNamesAndValueArrays) {
    get("a=1&B=2&A=3");
    EXPECT_EQ(pairs(), (pair_list{{"a", "1"}, {"B", "2"}, {"A", "3"}}));
    EXPECT_EQ(get_unique_names_cnt(ctx), 2);
    EXPECT_EQ(get_unique_names(ctx), (std::vector<std::string_view>{"a", "B"}));

    std::size_t width = 0;
    std::size_t count = 0;
    get_maxlen_occurrences(ctx, "A", width, count);
    EXPECT_EQ(width, 3u);
    EXPECT_EQ(count, 2u);

    const char* block = get_values(ctx, "a", width, count);
    ASSERT_EQ(count, 2u);
    EXPECT_EQ(std::string(block, width * count), std::string("1\0\0"
                                                             "3\0\0",
                                                             6));
    EXPECT_EQ(get_array_of_values(ctx, "b"), (std::vector<std::string_view>{"2"}));

    get_values(ctx, "zz", width, count);
    EXPECT_EQ(width, 2u);
    EXPECT_EQ(count, 0u);
    EXPECT_TRUE(get_array_of_values(ctx, "zz").empty());
}

TEST_F(ArgList, ValuesOfDifferentLengthsArePackedInSlotsOfTheLongest) {
    get("v=x&v=hello&v=");
    std::size_t width = 0;
    std::size_t count = 0;
    const char* block = get_values(ctx, "V", width, count);
    ASSERT_EQ(width, 7u);
    ASSERT_EQ(count, 3u);
    EXPECT_STREQ(block, "x");
    EXPECT_STREQ(block + width, "hello");
    EXPECT_STREQ(block + 2 * width, "");
    EXPECT_EQ(get_array_of_values(ctx, "v"), (std::vector<std::string_view>{"x", "hello", ""}));
}

TEST_F(ArgList, ImageButtonCoordinatesShareTheButtonName) {
    struct Case {
        std::string query;
        pair_list expected;
        int distinct;
    };
    const std::vector<Case> cases = {
        {"pic.x=10&pic.y=20", {{"pic", "10"}, {"pic", "20"}}, 1},
        {".x=1", {{".x", "1"}}, 1},
        {"a.b.c=1&ab=2&x.yz=3", {{"a.b", "1"}, {"ab", "2"}, {"x.yz", "3"}}, 3},
        {"Pic.X=1&pic=2", {{"Pic", "1"}, {"pic", "2"}}, 1},
    };
    for (const auto& c : cases) {
        unbuild_arglist(ctx);
        get(c.query);
        EXPECT_EQ(pairs(), c.expected) << c.query;
        EXPECT_EQ(get_unique_names_cnt(ctx), c.distinct) << c.query;
        for (const arg_pair& p : ctx.args) {
            EXPECT_EQ(p.name.data()[p.name.size()], '\0') << "names stay bindable as text";
        }
    }
}

TEST_F(ArgList, PostedFormIsReadFromTheBody) {
    client->body = "a=1&b=x%20y";
    set_env({"REQUEST_METHOD=POST", "CONTENT_LENGTH=11"});
    build_arglist(ctx);
    EXPECT_EQ(pairs(), (pair_list{{"a", "1"}, {"b", "x y"}}));
}

TEST_F(ArgList, EmptyOrMissingFormGivesNoPairs) {
    for (const auto& env : std::vector<std::vector<std::string>>{
             {"REQUEST_METHOD=GET", "QUERY_STRING="}, {"REQUEST_METHOD=GET"}, {}}) {
        unbuild_arglist(ctx);
        set_env(env);
        build_arglist(ctx);
        EXPECT_TRUE(ctx.args.empty());
        EXPECT_EQ(get_unique_names_cnt(ctx), 0);
    }
}

TEST_F(ArgList, BodyOverTheLimitIsRefusedBeforeAnythingIsRead) {
    struct Case {
        std::string content_type;
        std::string length;
    };
    const std::vector<Case> cases = {
        {"application/x-www-form-urlencoded", "1001"},
        {"multipart/form-data; boundary=XyZ", "1001"},
        {"multipart/form-data; boundary=XyZ", "99999999999999999999999"},
        {"application/x-www-form-urlencoded", "2000abc"},
    };
    set_config({"max_body_size = 1000"});
    for (const auto& c : cases) {
        client->asked.clear();
        client->written.clear();
        client->body = std::string(2000, 'a');
        set_env({"REQUEST_METHOD=POST", "CONTENT_TYPE=" + c.content_type,
                 "CONTENT_LENGTH=" + c.length});
        EXPECT_THROW(build_arglist(ctx), fatal_error) << c.length;
        EXPECT_TRUE(client->asked.empty()) << c.length;
        EXPECT_NE(client->written.find("exceeds the limit of 1000 bytes"), std::string::npos)
            << client->written;
    }
}

TEST_F(ArgList, BodyAtTheLimitIsAccepted) {
    set_config({"max_body_size = 11"});
    client->body = "a=1&b=x%20y";
    set_env({"REQUEST_METHOD=POST", "CONTENT_LENGTH=11"});
    build_arglist(ctx);
    EXPECT_EQ(ctx.args.size(), 2u);
}

TEST_F(ArgList, BuildingIsTimedUnderItsOwnTag) {
    ctx.timing_table = "timing";
    ctx.timed_services = "BUILD-ARGLIST";
    db->on("v_$timer").outcomes = {{.row = test::row_values{"1200"}},
                                   {.row = test::row_values{"1234"}}};
    get("a=1");
    const auto& insert = db->statements.back();
    ASSERT_TRUE(insert.text.starts_with("insert into timing")) << insert.text;
    const auto& run = insert.executions.at(0);
    EXPECT_EQ(run.find("msg")->text, "BUILD-ARGLIST");
    EXPECT_EQ(run.find("start_hsecs")->integer, 1200);
    EXPECT_EQ(run.find("stop_hsecs")->integer, 1234);
}

}  // namespace
}  // namespace kestrel
