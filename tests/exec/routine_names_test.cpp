// routine_names_test.cpp - which names may reach a call block.
#include "exec/routine_names.hpp"

#include "support/request_fixture.hpp"

namespace kestrel::test {
namespace {

TEST(RoutineNames, AcceptsOnlyPlainOrOnceQualifiedIdentifiers) {
    const std::string longest(identifier_max, 'a');
    const struct {
        std::string name;
        bool identifier;
        bool routine;
    } cases[] = {
        {"hello", true, true},
        {"Hello_2$", true, true},
        {"_x", true, true},
        {"pkg.proc", false, true},
        {"a.b.c", false, false},
        {"", false, false},
        {".proc", false, false},
        {"pkg.", false, false},
        {"2fast", false, false},
        {"$x", false, false},
        {"x y", false, false},
        {" hello", false, false},
        {"\nhello", false, false},
        {"hello;", false, false},
        {"hello--", false, false},
        {"hello/**/", false, false},
        {"he'llo", false, false},
        {"\"hello\"", false, false},
        {"h(1)", false, false},
        {"caf\xc3\xa9", false, false},
        {"a=>1", false, false},
        // Parts longer than the server keeps would be cut to another name.
        {longest, true, true},
        {longest + "a", false, false},
        {longest + "." + longest, false, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(is_identifier(c.name), c.identifier) << c.name;
        EXPECT_EQ(is_valid_routine_name(c.name), c.routine) << c.name;
    }
}

TEST(ExclusionList, CommaSeparatedPrefixesComparedWithoutCase) {
    EXPECT_EQ(parse_exclusion_list(" pg_ , sys.,,Secret_ "),
              (std::vector<std::string>{"pg_", "sys.", "Secret_"}));
    EXPECT_TRUE(parse_exclusion_list(" , ").empty());
    const std::vector<std::string> prefixes = {"pg_", "owa."};
    EXPECT_TRUE(is_excluded("PG_SLEEP", prefixes));
    EXPECT_TRUE(is_excluded("Owa.Init_Cgi_Env", prefixes));
    EXPECT_FALSE(is_excluded("owa_util.x", prefixes));
    EXPECT_FALSE(is_excluded("hello", prefixes));
}

using CallableRoutine = request_test;

TEST_F(CallableRoutine, DefaultListExcludesCatalogAndToolkit) {
    for (const char* name :
         {"pg_sleep", "pg_catalog.set_config", "information_schema.x", "sys.v_$timer", "dbms_lock",
          "utl_file", "owa.init_cgi_env", "HTP.print", "htf.bold", "owa_util.redirect_url",
          "owa_cookie.send", "cgi_args.x", "OWA_TIMING.report"}) {
        EXPECT_FALSE(is_callable_routine(ctx, name)) << name;
    }
    for (const char* name : {"hello", "demo.hello", "owa_demo.page", "pages.home"}) {
        EXPECT_TRUE(is_callable_routine(ctx, name)) << name;
    }
}

TEST_F(CallableRoutine, ConfiguredListAddsToTheDefault) {
    set_config("exclusion_list", "secret_, admin.");
    for (const char* name :
         {"Secret_Page", "admin.users", "pg_sleep", "htp.p", "owa.get_page", "hello;drop"}) {
        EXPECT_FALSE(is_callable_routine(ctx, name)) << name;
    }
    EXPECT_TRUE(is_callable_routine(ctx, "demo.hello"));
}

}  // namespace
}  // namespace kestrel::test
