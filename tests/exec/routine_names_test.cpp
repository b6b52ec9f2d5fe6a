// routine_names_test.cpp - which names may reach a call block.
#include "exec/routine_names.hpp"

#include <gtest/gtest.h>

#include "exec_fixture.hpp"

namespace kestrel {
namespace {

struct name_case {
    const char* name;
    bool identifier;
    bool routine;
};

class RoutineNames : public ::testing::TestWithParam<name_case> {};

TEST_P(RoutineNames, AcceptsOnlyPlainOrOnceQualifiedIdentifiers) {
    const name_case& c = GetParam();
    EXPECT_EQ(is_valid_identifier(c.name), c.identifier) << c.name;
    EXPECT_EQ(is_valid_routine_name(c.name), c.routine) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Table, RoutineNames,
    ::testing::Values(name_case{"hello", true, true}, name_case{"Hello_2$", true, true},
                      name_case{"_x", true, true}, name_case{"pkg.proc", false, true},
                      name_case{"a.b.c", false, false}, name_case{"", false, false},
                      name_case{".proc", false, false}, name_case{"pkg.", false, false},
                      name_case{"2fast", false, false}, name_case{"$x", false, false},
                      name_case{"x y", false, false}, name_case{" hello", false, false},
                      name_case{"\nhello", false, false}, name_case{"hello;", false, false},
                      name_case{"hello--", false, false}, name_case{"hello/**/", false, false},
                      name_case{"he'llo", false, false}, name_case{"\"hello\"", false, false},
                      name_case{"h(1)", false, false}, name_case{"caf\xc3\xa9", false, false},
                      name_case{"a=>1", false, false}));

TEST(RoutineNameLength, PartsLongerThanTheServerKeepsAreRefused) {
    const std::string longest(identifier_part_max, 'a');
    EXPECT_TRUE(is_valid_identifier(longest));
    EXPECT_FALSE(is_valid_identifier(longest + "a"));
    EXPECT_TRUE(is_valid_routine_name(longest + "." + longest));
}

TEST(ExclusionList, ParsesCommaSeparatedPrefixes) {
    EXPECT_EQ(parse_exclusion_list(" pg_ , sys.,,Secret_ "),
              (std::vector<std::string>{"pg_", "sys.", "Secret_"}));
    EXPECT_TRUE(parse_exclusion_list(" , ").empty());
}

TEST(ExclusionList, ComparesPrefixesIgnoringCase) {
    const std::vector<std::string> prefixes = {"pg_", "owa."};
    EXPECT_TRUE(is_excluded("PG_SLEEP", prefixes));
    EXPECT_TRUE(is_excluded("Owa.Init_Cgi_Env", prefixes));
    EXPECT_FALSE(is_excluded("owa_util.x", prefixes));
    EXPECT_FALSE(is_excluded("hello", prefixes));
}

class CallableRoutine : public test::exec_test {};

TEST_F(CallableRoutine, DefaultListExcludesCatalogAndToolkit) {
    for (const char* name :
         {"pg_sleep", "pg_catalog.set_config", "information_schema.x", "sys.v_$timer", "dbms_lock",
          "utl_file", "owa.init_cgi_env", "HTP.print", "htf.bold", "owa_util.redirect_url",
          "owa_cookie.send", "cgi_args.x"}) {
        EXPECT_FALSE(is_callable_routine(ctx, name)) << name;
    }
    for (const char* name : {"hello", "demo.hello", "owa_demo.page", "pages.home"}) {
        EXPECT_TRUE(is_callable_routine(ctx, name)) << name;
    }
}

TEST_F(CallableRoutine, ConfiguredListReplacesTheDefault) {
    write_appfile({"exclusion_list = secret_, admin."});
    EXPECT_FALSE(is_callable_routine(ctx, "Secret_Page"));
    EXPECT_FALSE(is_callable_routine(ctx, "admin.users"));
    EXPECT_TRUE(is_callable_routine(ctx, "pg_sleep"));
    EXPECT_FALSE(is_callable_routine(ctx, "hello;drop"));
}

}  // namespace
}  // namespace kestrel
