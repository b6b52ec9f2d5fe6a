// include_block_test.cpp - placeholders of include blocks and what a block
// writes in its place.
#include "docs/include_block.hpp"

#include <gtest/gtest.h>

#include "docs_fixture.hpp"
#include "frame/diagnostics.hpp"

namespace kestrel {
namespace {

struct bind_case {
    std::string label;
    std::string block;
    std::vector<arg_pair> args;
    // Expected binds in order: name, value.
    std::vector<std::pair<std::string, std::string>> binds;
};

void PrintTo(const bind_case& c, std::ostream* os) {
    *os << c.label;
}

class DoBinds : public test::docs_test, public ::testing::WithParamInterface<bind_case> {};

const std::string long_name(35, 'n');

TEST_P(DoBinds, BindsEachPlaceholderOutsideQuotes) {
    const bind_case& c = GetParam();
    ctx.args = c.args;
    ASSERT_EQ(db->oparse(ctx.cda, c.block), 0);
    do_binds(ctx, c.block);
    const auto& binds = db->statements.back().binds;
    ASSERT_EQ(binds.size(), c.binds.size()) << c.label;
    for (std::size_t i = 0; i < binds.size(); ++i) {
        EXPECT_EQ(binds[i].name, c.binds[i].first) << c.label;
        EXPECT_EQ(binds[i].text, c.binds[i].second) << c.label;
        EXPECT_EQ(binds[i].type, db::data_type::string) << c.label;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Placeholders, DoBinds,
    ::testing::Values(
        bind_case{"one value",
                  "begin htp.print(:greeting); end;",
                  {{"greeting", "Hello"}},
                  {{"greeting", "Hello"}}},
        bind_case{"name ignores case",
                  "begin htp.print(:greeting); end;",
                  {{"GREETING", "Hello"}},
                  {{"greeting", "Hello"}}},
        bind_case{"two values",
                  "begin htp.print(:greeting); end;",
                  {{"greeting", "a"}, {"Greeting", "b"}},
                  {{"greeting", ""}}},
        bind_case{
            "no value", "begin htp.print(:greeting); end;", {{"other", "x"}}, {{"greeting", ""}}},
        bind_case{"inside a literal", "begin htp.print('a:b'); end;", {{"b", "x"}}, {}},
        bind_case{
            "after a literal", "begin htp.print('a:b' || :c); end;", {{"c", "x"}}, {{"c", "x"}}},
        bind_case{"name cut to 31",
                  "begin htp.print(:" + long_name + "); end;",
                  {},
                  {{std::string(31, 'n'), ""}}},
        bind_case{"cast and assignment", "declare x text; begin x := '1'::text; end;", {}, {}},
        bind_case{"double colon", "begin htp.print(1::text); end;", {{"text", "x"}}, {}},
        bind_case{"in a comment", "begin -- :c\n null; end;", {{"c", "v"}}, {{"c", "v"}}},
        bind_case{"two placeholders",
                  "begin p(:a, :b_2); end;",
                  {{"b_2", "2"}, {"a", "1"}},
                  {{"a", "1"}, {"b_2", "2"}}},
        bind_case{"colon at the end", "begin null; end; :", {}, {}}),
    [](const auto& info) {
        std::string name = info.param.label;
        for (char& c : name) {
            c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        }
        return name;
    });

class OwassiDoBlock : public test::docs_test {};

TEST_F(OwassiDoBlock, WritesTheBlocksPage) {
    db->on("owa.get_page").outcomes = {
        {.integers = {{"ndata", 2}}, .arrays = {{"data", {"<p>Hi\n", "</p>\n"}}}}};
    ctx.args = {{"who", "you"}};
    EXPECT_EQ(owassi_do_block(ctx, "begin\r\nhtp.print(:who);\r\nend;"), 0);
    EXPECT_EQ(output(), "<p>Hi\n</p>\n");
    ASSERT_GE(db->statements.size(), 2u);
    EXPECT_EQ(db->statements[0].text, "begin \nhtp.print(:who); \nend;");
    ASSERT_EQ(db->statements[0].executions.size(), 1u);
    const test::bind_record* who = db->statements[0].executions[0].find("who");
    ASSERT_NE(who, nullptr);
    EXPECT_EQ(who->text, "you");
    EXPECT_EQ(db->statements[1].text, "begin owa.get_page(:data,:ndata);end;");
}

TEST_F(OwassiDoBlock, ParseFailureWritesOneErrorLineAndRunsNothing) {
    db->on("begn").parse_rc = 6550;
    db->messages[6550] = "syntax error at or near \"begn\"";
    EXPECT_EQ(owassi_do_block(ctx, "begn :x; end;"), 0);
    EXPECT_EQ(output(), "<pre><b>syntax error at or near \"begn\"</b></pre>");
    EXPECT_EQ(count_calls("obndrv"), 0u);
    EXPECT_EQ(count_calls("oexec"), 0u);
}

TEST_F(OwassiDoBlock, ExecutionFailureWritesOneErrorLineAndNoPage) {
    db->on("raise").outcomes = {{.rc = 20001}};
    db->messages[20001] = "boom";
    EXPECT_EQ(owassi_do_block(ctx, "begin raise exception 'boom'; end;"), 0);
    EXPECT_EQ(output(), "<pre><b>boom</b></pre>");
    EXPECT_EQ(db->statement_texts().size(), 1u);
}

TEST_F(OwassiDoBlock, ErrorTextCannotOpenMarkup) {
    db->on("to_number").outcomes = {{.rc = 1722}};
    db->messages[1722] = "invalid number: \"<script>x</script>&\"";
    owassi_do_block(ctx, "begin htp.print(to_number(:n)); end;");
    EXPECT_EQ(output(),
              "<pre><b>invalid number: \"&lt;script&gt;x&lt;/script&gt;&amp;\"</b></pre>");
}

}  // namespace
}  // namespace kestrel
