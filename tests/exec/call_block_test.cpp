// call_block_test.cpp - the call block: name resolution, its text, its
// binds, and what never reaches the database.
#include "exec/call_block.hpp"

#include "args/arglist.hpp"
#include "frame/diagnostics.hpp"
#include "support/request_fixture.hpp"

namespace kestrel::test {
namespace {

outcome described(const char* names, const char* defaults, const char* tables = "",
                  const char* table_count = "0") {
    return {.texts = {{"AllNames", names},
                      {"HasDefault", defaults},
                      {"CountOfTables", table_count},
                      {"TableNames", tables}}};
}

class CallBlock : public request_test {
  protected:
    void describe_as(std::vector<outcome> outcomes) {
        auto& script = db->on("dbms_describe");
        script.outcomes = std::move(outcomes);
        script.used = 0;
    }
    // The statements after the descriptions.
    std::vector<std::string> calls_made() const {
        std::vector<std::string> calls;
        for (const auto& text : db->statement_texts()) {
            if (text.find("dbms_describe") == std::string::npos) {
                calls.push_back(text);
            }
        }
        return calls;
    }
};

TEST_F(CallBlock, ScalarsTakeTheFirstValueTablesTakeAllInOrder) {
    describe_as({described("a|b", "00", "B", "1")});
    ctx.procedure_name = "demo_form";
    set_args({{"a", "1"}, {"b", "2"}, {"A", "9"}, {"b", "3"}});
    ASSERT_EQ(oci_do_block(ctx), 1);

    const execution_record& call = db->statements.back().executions.at(0);
    const bind_record* a = call.find("a");
    ASSERT_NE(a, nullptr);
    EXPECT_FALSE(a->is_array);
    EXPECT_EQ(a->text, "1");
    const bind_record* b = call.find("b");
    ASSERT_NE(b, nullptr);
    EXPECT_TRUE(b->is_array);
    EXPECT_EQ(b->elements, (std::vector<std::string>{"2", "3"}));
    EXPECT_EQ(b->name, "b");
}

TEST_F(CallBlock, MissingRoutineIsRetriedQualifiedWithTheServiceUserOnce) {
    describe_as({{.rc = -6564}, described("", "")});
    ctx.procedure_name = "hello";
    ASSERT_EQ(oci_do_block(ctx), 1);
    ASSERT_EQ(db->statements.size(), 3u);
    EXPECT_EQ(db->statements[0].executions[0].find("ObjectName")->text, "hello");
    EXPECT_EQ(db->statements[1].executions[0].find("ObjectName")->text, "demo.hello");
    EXPECT_EQ(db->statements[2].text, "begin demo.hello; end;");

    // Missing under both names, or qualified already: no procedure.
    for (const auto& [name, descriptions] :
         std::vector<std::pair<std::string, std::size_t>>{{"nosuch", 2}, {"pkg.proc", 1}}) {
        restart();
        describe_as({{.rc = -20001}});
        ctx.procedure_name = name;
        EXPECT_EQ(oci_do_block(ctx), 0);
        EXPECT_EQ(db->statements.size(), descriptions) << name;
    }
}

TEST_F(CallBlock, CraftedFieldNamesDieWithTheMismatchReport) {
    describe_as({described("a|b", "01")});
    ctx.procedure_name = "hello";
    for (const char* field : {"a=>1);x(", "a--", "a;b", " a", "\na", "a'"}) {
        set_args({{"b", "1"}, {field, "2"}});
        client->written.clear();
        wrb().answer = response();
        EXPECT_THROW(oci_do_block(ctx), fatal_error) << field;
        EXPECT_NE(client->written.find("is not a valid argument name"), std::string::npos);
        EXPECT_NE(
            client->written.find("\nVARIABLES IN FORM NOT IN PROCEDURE: " + std::string(field) +
                                 "\nNON-DEFAULT VARIABLES IN PROCEDURE NOT IN FORM: a\n"),
            std::string::npos)
            << client->written;
    }
    EXPECT_TRUE(calls_made().empty());
}

TEST_F(CallBlock, FailedCallDiesWithMessageAndReport) {
    describe_as({described("p_width|p_height", "01")});
    db->on("begin hello(").outcomes = {{.rc = 6550}};
    db->messages[6550] = "procedure hello(colour => unknown) does not exist";
    ctx.procedure_name = "hello";
    set_args({{"colour", "red"}, {"size", "2"}});
    EXPECT_THROW(oci_do_block(ctx), fatal_error);
    EXPECT_NE(client->written.find("procedure hello(colour => unknown) does not exist"
                                   "\nVARIABLES IN FORM NOT IN PROCEDURE: colour,size"
                                   "\nNON-DEFAULT VARIABLES IN PROCEDURE NOT IN FORM: p_width\n"),
              std::string::npos)
        << client->written;
}

// Every field as two arrays in request order: the flexible page of
// tests/e2e/examples_test.sh. The name after '!' passes the same checks as
// any name.
TEST_F(CallBlock, FlexibleNamesAreCheckedLikeAnyName) {
    for (const char* name : {"!owa.init_cgi_env", "!x;drop", "!!pkg.search", "!"}) {
        ctx.procedure_name = name;
        EXPECT_EQ(oci_do_block(ctx), 0) << name;
        EXPECT_TRUE(db->calls.empty()) << name;
    }
}

TEST_F(CallBlock, PathAliasRunsItsProcedureWithTheRestOfThePath) {
    const auto aliased = [this](const char* procedure, const char* path) {
        restart();
        config->services[0].owa_path_alias = "/tasks/";
        config->services[0].owa_path_alias_procedure = procedure;
        ctx.procedure_name = path;
    };
    const std::pair<std::string, std::string> cases[] = {{"tasks/12/edit", "12/edit"},
                                                         {"tasks", ""}};
    for (const auto& [path, rest] : cases) {
        aliased("tracker.rest", path.c_str());
        describe_as({described("p_path|format", "01")});
        set_args({{"format", "text"}, {"P_PATH", "forged"}});
        ASSERT_EQ(oci_do_block(ctx), 1) << path;
        EXPECT_EQ(calls_made(), std::vector<std::string>{
                                    "begin tracker.rest(format=>:format,p_path=>:p_path); end;"});
        EXPECT_EQ(db->statements.back().executions.at(0).find("p_path")->text, rest);
    }
    // Not the alias as a whole segment: the name as usual, which is no
    // routine; an alias procedure on the exclusion list is refused too.
    const std::pair<const char*, const char*> refused[] = {{"tracker.rest", "tasksx/1"},
                                                           {"tracker.rest", "other/tasks/1"},
                                                           {"owa_util.showpage", "tasks/1"},
                                                           {"x;drop", "tasks"}};
    for (const auto& [procedure, path] : refused) {
        aliased(procedure, path);
        EXPECT_EQ(oci_do_block(ctx), 0) << path;
        EXPECT_TRUE(db->calls.empty()) << path;
    }
}

TEST_F(CallBlock, ImagePointFieldsReachTheirArgumentXFirst) {
    describe_as({described("pos|pos.q", "00", "POS", "1")});
    request("clicked", "/owa/", "pos.x=10&pos.y=20");
    build_arglist(ctx);
    ASSERT_EQ(oci_do_block(ctx), 1);
    EXPECT_EQ(calls_made(), std::vector<std::string>{"begin clicked(pos=>:pos); end;"});
    EXPECT_EQ(db->statements.back().executions.at(0).find("pos")->elements,
              (std::vector<std::string>{"10", "20"}));
}

TEST_F(CallBlock, CommitsBeforeTheCallOnlyWhenTimingIsOn) {
    describe_as({described("", "")});
    ctx.procedure_name = "hello";
    ASSERT_EQ(oci_do_block(ctx), 1);
    EXPECT_EQ(db->count("ocom"), 0u);

    restart();
    describe_as({described("", "")});
    ctx.procedure_name = "hello";
    config->timing_table = "timings";
    config->timed_services = "all";
    db->on("v_$timer").outcomes = {{.row = row_values{"4711"}}};
    ASSERT_EQ(oci_do_block(ctx), 1);
    const auto commit = std::find(db->calls.begin(), db->calls.end(), "ocom");
    ASSERT_NE(commit, db->calls.end());
    // The parse right after the commit is the call's.
    const auto parses_before = std::count(db->calls.begin(), commit, "oparse");
    EXPECT_EQ(db->statements.at(static_cast<std::size_t>(parses_before)).text, "begin hello; end;");
}

}  // namespace
}  // namespace kestrel::test
