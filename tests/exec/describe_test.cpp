// describe_test.cpp - the description block, its binds, and how its outputs
// become argument names, default flags and table arguments.
#include "exec/describe.hpp"

#include <gtest/gtest.h>

#include "exec_fixture.hpp"
#include "frame/diagnostics.hpp"

namespace kestrel {
namespace {

using test::outcome;

class Describe : public test::exec_test {
  protected:
    test::statement_script* describe_script = nullptr;

    // The one script of the description block; later calls replace its outcome.
    test::statement_script& block_script() {
        if (describe_script == nullptr) {
            describe_script = &db->on("dbms_describe.describe_procedure");
        }
        return *describe_script;
    }
    void script(outcome out) {
        block_script().outcomes = {std::move(out)};
        block_script().used = 0;
    }
};

TEST_F(Describe, BindsTheNameAndFourOutputsWithoutColons) {
    script({});
    int count = 0;
    oci_describe(ctx, "pkg.proc", count);

    ASSERT_EQ(db->statements.size(), 1u);
    const test::statement_record& block = db->statements[0];
    for (const char* piece :
         {"l_argument_name dbms_describe.varchar2_table", "exec_cursor integer default",
          "for i in 1 .. 2 loop", "'begin if (1=0) then ' || :ObjectName || ';end if; end;'",
          "l_datatype(i) = 251", ":CountOfTables := l_CountOfTables"}) {
        EXPECT_NE(block.text.find(piece), std::string::npos) << piece;
    }
    ASSERT_EQ(block.binds.size(), 5u);
    const std::vector<std::pair<std::string, std::size_t>> expected = {{"ObjectName", 10},
                                                                       {"AllNames", 10000},
                                                                       {"HasDefault", 512},
                                                                       {"CountOfTables", 50},
                                                                       {"TableNames", 10000}};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(block.binds[i].name, expected[i].first);
        EXPECT_EQ(block.binds[i].buffer_size, expected[i].second);
        EXPECT_EQ(block.binds[i].type, db::data_type::string);
        EXPECT_FALSE(block.binds[i].is_array);
    }
    ASSERT_EQ(block.executions.size(), 1u);
    EXPECT_EQ(block.executions[0].find("ObjectName")->text, "pkg.proc");
}

struct output_case {
    const char* all_names;
    const char* has_default;
    const char* count;
    const char* tables;
    std::vector<std::string> names;
    std::vector<bool> defaults;
    std::vector<std::string> table_names;
};

class DescribeOutputs : public Describe, public ::testing::WithParamInterface<output_case> {};

TEST_P(DescribeOutputs, SplitsNamesAndPairsFlagsByPosition) {
    const output_case& c = GetParam();
    script({.texts = {{"AllNames", c.all_names},
                      {"HasDefault", c.has_default},
                      {"CountOfTables", c.count},
                      {"TableNames", c.tables}}});
    int count = -5;
    const std::vector<std::string> tables = oci_describe(ctx, "p", count);

    EXPECT_EQ(ctx.proc_arg_names, c.names);
    EXPECT_EQ(ctx.proc_arg_has_default, c.defaults);
    EXPECT_TRUE(ctx.proc_described);
    EXPECT_EQ(tables, c.table_names);
    EXPECT_EQ(count, static_cast<int>(c.table_names.size()));
}

INSTANTIATE_TEST_SUITE_P(
    Table, DescribeOutputs,
    ::testing::Values(
        output_case{"", "", "0", "", {}, {}, {}},
        output_case{"a|b|c", "010", "1", "c", {"a", "b", "c"}, {false, true, false}, {"c"}},
        // A row without a name still adds its flag: flags pair by position.
        output_case{"a||c", "011", "0", "", {"a", "c"}, {false, true}, {}},
        output_case{"||a|||b|", "11", "2", "|a||b", {"a", "b"}, {true, true}, {"a", "b"}},
        // Fewer flags than names: the rest have no default.
        output_case{"x|y", "1", "0", "", {"x", "y"}, {true, false}, {}},
        // Never more table names than counted.
        output_case{"t|u", "00", "1", "t|u", {"t", "u"}, {false, false}, {"t"}}));

TEST_F(Describe, NullOutputsAreEmptyText) {
    script({.texts = {{"CountOfTables", "0"}},
            .indicators = {{"AllNames", -1}, {"HasDefault", -1}, {"TableNames", -1}}});
    int count = 7;
    EXPECT_TRUE(oci_describe(ctx, "p", count).empty());
    EXPECT_EQ(count, 0);
    EXPECT_TRUE(ctx.proc_arg_names.empty());
    EXPECT_TRUE(ctx.proc_described);
}

TEST_F(Describe, MissingObjectCodesGiveMinusOne) {
    for (const int code : {-6564, -20001, -20002, -20004}) {
        script({.rc = code});
        int count = 0;
        EXPECT_TRUE(oci_describe(ctx, "nosuch", count).empty());
        EXPECT_EQ(count, -1) << code;
        EXPECT_FALSE(ctx.proc_described);
    }
}

TEST_F(Describe, OtherExecutionErrorsDie) {
    script({.rc = 6550});
    int count = 0;
    EXPECT_THROW(oci_describe(ctx, "p", count), fatal_error);
    EXPECT_NE(client->written.find("error 6550"), std::string::npos);
}

TEST_F(Describe, ParseAndBindFailuresDie) {
    block_script().parse_rc = 900;
    int count = 0;
    EXPECT_THROW(oci_describe(ctx, "p", count), fatal_error);
    EXPECT_TRUE(db->statements.back().binds.empty());

    block_script().parse_rc = 0;
    block_script().bind_rc = {{"HasDefault", 1008}};
    EXPECT_THROW(oci_describe(ctx, "p", count), fatal_error);
    EXPECT_EQ(db->statements.back().binds.size(), 2u);
    EXPECT_TRUE(db->statements.back().executions.empty());
}

TEST_F(Describe, MoreThan255NamesAreRefused) {
    std::string names;
    for (int i = 0; i < 256; ++i) {
        names += (i == 0 ? "" : "|") + std::string("a") + std::to_string(i);
    }
    script({.texts = {{"AllNames", names}, {"CountOfTables", "0"}}});
    int count = 0;
    EXPECT_THROW(oci_describe(ctx, "p", count), fatal_error);
    EXPECT_TRUE(ctx.proc_arg_names.empty());
}

}  // namespace
}  // namespace kestrel
