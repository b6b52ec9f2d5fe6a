// describe_test.cpp - how the description block's outputs
// become argument names, default flags and table arguments.
#include "exec/describe.hpp"

#include "frame/diagnostics.hpp"
#include "support/request_fixture.hpp"

namespace kestrel::test {
namespace {

class Describe : public request_test {
  protected:
    statement_script& script(outcome out = {}) {
        auto& s = db->on("dbms_describe.describe_procedure");
        s.outcomes = {std::move(out)};
        s.used = 0;
        return s;
    }
};

TEST_F(Describe, SplitsNamesAndPairsFlagsByPosition) {
    const struct {
        const char* all_names;
        const char* has_default;
        const char* count;
        const char* tables;
        std::vector<std::string> names;
        std::vector<bool> defaults;
        std::vector<std::string> table_names;
    } cases[] = {
        {"", "", "0", "", {}, {}, {}},
        {"a|b|c", "010", "1", "c", {"a", "b", "c"}, {false, true, false}, {"c"}},
        // A row without a name still adds its flag: flags pair by position.
        {"a||c", "011", "0", "", {"a", "c"}, {false, true}, {}},
        {"||a|||b|", "11", "2", "|a||b", {"a", "b"}, {true, true}, {"a", "b"}},
        // Fewer flags than names: the rest have no default.
        {"x|y", "1", "0", "", {"x", "y"}, {true, false}, {}},
        // Never more table names than counted.
        {"t|u", "00", "1", "t|u", {"t", "u"}, {false, false}, {"t"}},
    };
    for (const auto& c : cases) {
        script({.texts = {{"AllNames", c.all_names},
                          {"HasDefault", c.has_default},
                          {"CountOfTables", c.count},
                          {"TableNames", c.tables}}});
        int count = -5;
        EXPECT_EQ(oci_describe(ctx, "p", count), c.table_names) << c.all_names;
        EXPECT_EQ(ctx.proc_arg_names, c.names) << c.all_names;
        EXPECT_EQ(ctx.proc_arg_has_default, c.defaults) << c.all_names;
        EXPECT_TRUE(ctx.proc_described);
        EXPECT_EQ(count, static_cast<int>(c.table_names.size()));
    }
}

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

TEST_F(Describe, OtherFailuresDie) {
    std::string names;
    for (int i = 0; i < 256; ++i) {
        names += (i == 0 ? "" : "|") + std::string("a") + std::to_string(i);
    }
    int count = 0;
    script({.rc = 6550});
    EXPECT_THROW(oci_describe(ctx, "p", count), fatal_error);
    EXPECT_NE(client->written.find("error 6550"), std::string::npos);
    script({.texts = {{"AllNames", names}, {"CountOfTables", "0"}}});  // more than 255
    EXPECT_THROW(oci_describe(ctx, "p", count), fatal_error);
    EXPECT_TRUE(ctx.proc_arg_names.empty());

    script().parse_rc = 900;
    EXPECT_THROW(oci_describe(ctx, "p", count), fatal_error);
}

}  // namespace
}  // namespace kestrel::test
