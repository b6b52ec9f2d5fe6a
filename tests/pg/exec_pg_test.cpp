// exec_pg_test.cpp - procedure execution on a real server: the description,
// the call with scalars and arrays, the mismatch report, the environment
// block with its pre-action, the page fetch and blocks of one call.
#include "db/errors.hpp"
#include "db/query.hpp"
#include "exec/call_block.hpp"
#include "exec/cgi_env.hpp"
#include "exec/describe.hpp"
#include "exec/page.hpp"
#include "frame/diagnostics.hpp"
#include "host/dispatch.hpp"
#include "pg/pg_fixture.hpp"

namespace kestrel::test {
namespace {

class PgExec : public pg_fixture {
  protected:
    void SetUp() override {
        pg_fixture::SetUp();
        exec(R"(
            CREATE TABLE kestrel_app.calls (a text, c text, b text);
            GRANT ALL ON kestrel_app.calls TO kestrel_app;
            CREATE PROCEDURE kestrel_app.proc3(a text, c text[], b text DEFAULT 'x')
                LANGUAGE sql AS $$ INSERT INTO kestrel_app.calls VALUES (a, c::text, b) $$;
            CREATE PROCEDURE kestrel_app.proc0() LANGUAGE sql AS $$ SELECT htp.print('zero') $$;
            CREATE FUNCTION kestrel_app.func1(p_name text) RETURNS integer LANGUAGE plpgsql
                AS $$ BEGIN PERFORM htp.print('hello ' || p_name); RETURN 1; END $$;
            CREATE PROCEDURE kestrel_app.proc_out(a text, OUT r text) LANGUAGE plpgsql
                AS $$ BEGIN r := a; INSERT INTO kestrel_app.calls VALUES (a, NULL, 'out'); END $$;
        )");
    }

    // Runs the procedure road for one routine and these fields.
    int call(const std::string& routine, const pair_list& fields) {
        ctx.procedure_name = routine;
        set_args(fields);
        return oci_do_block(ctx);
    }

    // What a block writes, as the gateway fetches it.
    std::string page_of(const std::string& body) {
        client->written.clear();
        wrb().answer = response();
        const std::string block =
            "begin perform owa.init_cgi_env(0, '{}', '{}'); " + body + " end;";
        EXPECT_EQ(execute_immediate(ctx, {db::statement_kind::written, block}), 0) << oerr_cda(ctx);
        dump_page(ctx);
        return client->written;
    }
};

TEST_F(PgExec, DescriptionListsInputsDefaultsAndArrays) {
    const struct {
        const char* name;
        std::vector<std::string> names;
        std::vector<bool> defaults;
        std::vector<std::string> tables;
    } cases[] = {
        {"proc3", {"a", "c", "b"}, {false, false, true}, {"c"}},
        {"KESTREL_APP.Proc3", {"a", "c", "b"}, {false, false, true}, {"c"}},
        {"proc0", {}, {}, {}},
        {"proc_out", {"a"}, {false}, {}},
    };
    for (const auto& c : cases) {
        int count = -5;
        EXPECT_EQ(oci_describe(ctx, c.name, count), c.tables) << c.name;
        EXPECT_EQ(count, static_cast<int>(c.tables.size())) << c.name;
        EXPECT_EQ(ctx.proc_arg_names, c.names) << c.name;
        EXPECT_EQ(ctx.proc_arg_has_default, c.defaults) << c.name;
    }
    // Catalog routines, functions and names that are no routine names are no
    // routine.
    for (const char* name :
         {"nosuch", "func1", "pg_sleep", "set_config", "pg_catalog.pg_sleep",
          "information_schema._pg_truetypid", "proc3;drop", "a.b.c", "\"proc3\"", "proc3(1)", ""}) {
        int count = 0;
        oci_describe(ctx, name, count);
        EXPECT_EQ(count, -1) << name;
    }
    // Nothing failed on the server: the transaction goes on.
    EXPECT_EQ(selected("select user from dual", db::statement_kind::session_user), app_user);
}

TEST_F(PgExec, CallsPassScalarsAndArraysInRequestOrder) {
    ASSERT_EQ(
        call(
            "proc3",
            {{"a", "it's \"quoted\" \\ {x}"}, {"C", "3"}, {"c", "1,1"}, {"C", ""}, {"c", "\"q\""}}),
        1);
    EXPECT_EQ(selected("select a || '|' || c || '|' || b from kestrel_app.calls"),
              "it's \"quoted\" \\ {x}|{3,\"1,1\",\"\",\"\\\"q\\\"\"}|x");
    // Procedures with output arguments are called the same way.
    ASSERT_EQ(call("kestrel_app.proc_out", {{"a", "v"}}), 1);
    ASSERT_EQ(call("proc0", {}), 1);
    dump_page(ctx);
    EXPECT_EQ(client->written, "Content-type: text/html; charset=utf-8\n\nzero\n");
    EXPECT_EQ(selected("select string_agg(b, ',' order by b) from kestrel_app.calls"), "out,x");
}

TEST_F(PgExec, UnknownAndMissingArgumentsGiveTheMismatchReport) {
    EXPECT_THROW(call("proc3", {{"zz", "1"}, {"A", "1"}}), fatal_error);
    EXPECT_NE(client->written.find("42883"), std::string::npos) << client->written;
    EXPECT_NE(client->written.find("\nVARIABLES IN FORM NOT IN PROCEDURE: zz"
                                   "\nNON-DEFAULT VARIABLES IN PROCEDURE NOT IN FORM: c\n"),
              std::string::npos)
        << client->written;
}

TEST_F(PgExec, CallsWithArgumentsThatAreNoIdentifiersOrOfAnotherRoutineDoNotCompile) {
    int count = 0;
    ASSERT_EQ(oci_describe(ctx, "proc3", count).size(), 1u);
    const std::vector<std::pair<std::string_view, std::vector<std::string_view>>> calls = {
        {"proc3", {"a", "x y"}},
        {"proc3", {"a); delete from kestrel_app.calls; --"}},
        {"proc0", {}},
    };
    for (const auto& [routine, names] : calls) {
        const db::statement call{.kind = db::statement_kind::call,
                                 .text = "begin ...; end;",
                                 .routine = routine,
                                 .arguments = names};
        EXPECT_EQ(ctx.db->oparse(ctx.cda, call), db::call_does_not_compile) << routine;
    }
}

TEST_F(PgExec, EnvironmentBlockEvaluatesThePreAction) {
    const std::pair<const char*, bool> cases[] = {
        {"TRUE", true},
        {"FALSE", false},
        {"NULL", false},
        // Taken as written: the blanks inside the literals count.
        {"owa.get_cgi_env('request_method') = 'GET' and (owa.get_cgi_env('X_ONE') = 'a=b') "
         "and 'x  y' <> 'x y'",
         true},
        {"owa.get_cgi_env('REQUEST_METHOD') = 'POST'", false},
    };
    for (const auto& [pre_action, verdict] : cases) {
        set_env({"REQUEST_METHOD=GET", "X_ONE=a=b"});
        wrb().config = {{"pre_app", pre_action}};
        EXPECT_EQ(set_cgi_env(ctx), verdict) << pre_action;
    }
    EXPECT_EQ(selected("select owa.get_cgi_env('x_one')"), "a=b");
    wrb().config = {{"pre_app", "1 +"}};
    EXPECT_THROW(set_cgi_env(ctx), fatal_error);
    EXPECT_NE(client->written.find("SQLSTATE 42601"), std::string::npos) << client->written;
}

TEST_F(PgExec, PagesArriveWholeInBatchesOf27Lines) {
    for (const int lines : {0, 2, 27, 28, 60}) {
        std::string body;
        std::string expected;
        if (lines > 0) {
            body = "perform owa_util.mime_header('text/plain');";
            expected = "Content-type: text/plain; charset=utf-8\n\n";
        }
        for (int i = 3; i <= lines; ++i) {
            body += " perform htp.print('line " + std::to_string(i) + "');";
            expected += "line " + std::to_string(i) + "\n";
        }
        EXPECT_EQ(page_of(body), expected) << lines << " lines";
    }
    // Lines longer than a slot arrive whole; slots may split characters.
    std::string accents;
    for (int i = 0; i < 200; ++i) {
        accents += "\xc3\xa9";
    }
    EXPECT_EQ(page_of("perform htp.print(repeat('x', 1000)); perform htp.print(repeat('y', 255)); "
                      "perform htp.prn(repeat(chr(233), 200));"),
              "Content-type: text/html; charset=utf-8\n\n" + std::string(1000, 'x') + "\n" +
                  std::string(255, 'y') + "\n" + accents);
}

TEST_F(PgExec, CallPagesArriveWholeAndInOrderAndNeverOutliveTheirRequest) {
    exec(R"(
        CREATE PROCEDURE kestrel_app.lines(n integer, tag text) LANGUAGE plpgsql AS $$
            BEGIN FOR i IN 1..n LOOP PERFORM htp.print(tag || i); END LOOP;
            IF tag = 'fail' THEN RAISE EXCEPTION 'failed on purpose'; END IF; END $$;
    )");
    const auto lines = [](int n, const std::string& tag) {
        std::string text;
        for (int i = 1; i <= n; ++i) {
            text.append(tag).append(std::to_string(i)).append("\n");
        }
        return text;
    };
    // Pages of several pieces, and pages of two calls before one fetch.
    ASSERT_EQ(call("lines", {{"n", "20000"}, {"tag", "a"}}), 1);
    ASSERT_EQ(call("lines", {{"n", "2"}, {"tag", "b"}}), 1);
    dump_page(ctx);
    EXPECT_EQ(client->written,
              "Content-type: text/html; charset=utf-8\n\n" + lines(20000, "a") + lines(2, "b"));
    // A kept session: a page nobody fetched, or a failed call's, is gone.
    config->reuse_connection = true;
    next_request();
    ASSERT_EQ(call("lines", {{"n", "3"}, {"tag", "unread"}}), 1);
    next_request(true);
    EXPECT_THROW(call("lines", {{"n", "3"}, {"tag", "fail"}}), fatal_error);
    next_request(true);
    client->written.clear();
    wrb().answer = response();
    ASSERT_EQ(call("lines", {{"n", "1"}, {"tag", "c"}}), 1);
    dump_page(ctx);
    EXPECT_EQ(client->written, "Content-type: text/html; charset=utf-8\n\n" + lines(1, "c"));
}

TEST_F(PgExec, BlocksOfOneCallRunTheRoutineOrDoNotCompile) {
    const std::pair<std::string, int> cases[] = {
        {"begin kestrel_app.proc0; end;", 0},
        {"begin func1('Bob'); end;", 0},
        {"begin null; end;", 0},
        {"begin nosuch; end;", db::call_does_not_compile},
        {"begin pg_sleep(1); end;", db::call_does_not_compile},
    };
    for (const auto& [block, rc] : cases) {
        EXPECT_EQ(execute_immediate(ctx, {db::statement_kind::written, block}), rc)
            << block << ": " << oerr_cda(ctx);
    }
    wrb().config = {{"post_app", "kestrel_app.proc0"}};
    do_post_action(ctx);
    EXPECT_EQ(client->written, "Content-type: text/html; charset=utf-8\n\nzero\nhello Bob\nzero\n");
}

TEST_F(PgExec, FailingBlocksLeaveTheTransactionUsable) {
    ASSERT_EQ(execute_immediate(ctx, {db::statement_kind::written,
                                      "insert into kestrel_app.calls (a) values ('kept')"}),
              0)
        << oerr_cda(ctx);
    EXPECT_EQ(
        execute_immediate(ctx, {db::statement_kind::written, "begin perform htp.print('x') end;"}),
        db::call_does_not_compile);
    EXPECT_NE(oerr_cda(ctx).find("syntax error"), std::string::npos) << oerr_cda(ctx);
    EXPECT_NE(execute_immediate(ctx, {db::statement_kind::written,
                                      "begin insert into kestrel_app.calls (a) values ('lost'); "
                                      "raise exception 'boom'; end;"}),
              0);
    EXPECT_NE(oerr_cda(ctx).find("boom"), std::string::npos) << oerr_cda(ctx);
    EXPECT_EQ(execute_immediate(
                  ctx, {db::statement_kind::written, "insert into kestrel_app.nosuch values (1)"}),
              db::no_such_table);
    next_request();
    EXPECT_EQ(scalar("select string_agg(a, ',') from kestrel_app.calls"), "kept");
}

}  // namespace
}  // namespace kestrel::test
