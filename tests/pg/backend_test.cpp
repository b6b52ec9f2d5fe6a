// backend_test.cpp - every statement form the gateway sends, run on a real
// server through the PostgreSQL backend, with the gateway's exact texts.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <regex>
#include <string>
#include <vector>

#include "db/binds.hpp"
#include "db/errors.hpp"
#include "db/query.hpp"
#include "db/session.hpp"
#include "frame/pool.hpp"
#include "pg/pg_fixture.hpp"

namespace kestrel {
namespace {

constexpr const char* env_block =
    "begin    owa.init_cgi_env(:n,:nm,:v);    if (%s) then \t  :rc := 1;    else \t  :rc := "
    "0;    end if; end;";
constexpr const char* describe_block =
    "declare\n  l_AllNames varchar2(10000) default NULL;\nbegin\n"
    "  dbms_describe.describe_procedure(:ObjectName, NULL, NULL, l_overload, l_position);\n"
    "  :AllNames := l_AllNames; :HasDefault := l_HasDefault;\n"
    "  :CountOfTables := l_CountOfTables; :TableNames := l_TableNames;\nend;";
constexpr const char* generic_block =
    "begin \tcgi_args.argC := cgi_args.argC+1; \tcgi_args.argNam(cgi_args.argC) := :name; "
    "\tcgi_args.argVal(cgi_args.argC) := :val; end;";

struct description {
    int rc = 0;
    std::string names, defaults, count, tables;
};

class BackendTest : public test::pg_fixture {
  protected:
    void SetUp() override {
        pg_fixture::SetUp();
        use_app_service(ctx);
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
        ASSERT_TRUE(Logon(ctx, nullptr, nullptr)) << oerr_lda(ctx);
    }
    void TearDown() override {
        Logoff(ctx, true);
        pg_fixture::TearDown();
    }

    db::client& db() { return *ctx.db; }

    std::string selected(std::string_view query) {
        std::array<char, 4000> buffer{};
        const int rc = select_into(ctx, query, buffer);
        EXPECT_EQ(rc, 0) << query << ": " << oerr_cda(ctx);
        return buffer.data();
    }

    // Text binds must outlive the execution: keep them in the request pool.
    char* text(std::string_view value) {
        char* copy = static_cast<char*>(_xheap_alloc(ctx, value.size() + 2));
        std::memcpy(copy, value.data(), value.size());
        return copy;
    }

    int run_env(const std::string& pre_action, std::vector<std::string_view> names,
                std::vector<std::string_view> values, std::int32_t& result) {
        const std::string block = format_block(env_block, pre_action);
        if (const int rc = db().oparse(ctx.cda, block); rc != 0) {
            return rc;
        }
        auto* count = static_cast<std::int32_t*>(_xheap_alloc(ctx, sizeof(std::int32_t)));
        *count = static_cast<std::int32_t>(names.size());
        result = 0;
        EXPECT_EQ(nbind(ctx, ":n", count), 0);
        EXPECT_EQ(abind(ctx, ":nm", names), 0);
        EXPECT_EQ(abind(ctx, ":v", values), 0);
        EXPECT_EQ(nbind(ctx, ":rc", &result), 0);
        return db().oexec(ctx.cda);
    }

    static std::string format_block(const char* format, const std::string& hole) {
        std::string text = format;
        return text.replace(text.find("%s"), 2, hole);
    }

    description describe(std::string_view name) {
        description d;
        std::array<char, 10000> names{}, tables{};
        std::array<char, 512> defaults{};
        std::array<char, 50> count{};
        std::int16_t indicators[4] = {1, 1, 1, 1};
        EXPECT_EQ(db().oparse(ctx.cda, describe_block), 0);
        EXPECT_EQ(sbind(ctx, "ObjectName", text(name)), 0);
        const std::pair<const char*, std::span<char>> outputs[] = {{"AllNames", names},
                                                                   {"HasDefault", defaults},
                                                                   {"CountOfTables", count},
                                                                   {"TableNames", tables}};
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(db().obndrv(ctx.cda, {.name = outputs[i].first,
                                            .buffer = std::as_writable_bytes(outputs[i].second),
                                            .type = db::data_type::string,
                                            .indicator = &indicators[i]}),
                      0);
        }
        d.rc = db().oexec(ctx.cda);
        d.names = names.data();
        d.defaults = defaults.data();
        d.count = count.data();
        d.tables = tables.data();
        return d;
    }
};

TEST_F(BackendTest, StartDateUserAndClock) {
    const std::string date =
        selected("select TO_CHAR(SYSDATE,'Dy Mon DD HH24:MI:SS YYYY') from dual");
    EXPECT_TRUE(std::regex_match(
        date, std::regex("[A-Z][a-z]{2} [A-Z][a-z]{2} \\d\\d \\d\\d:\\d\\d:\\d\\d \\d{4}")))
        << date;
    EXPECT_EQ(selected("select user from dual"), test::app_user);
    const unsigned long first = std::stoul(selected("select hsecs from sys.v_$timer"));
    EXPECT_LT(first, 4294967296UL);
    EXPECT_EQ(execute_immediate(ctx, "begin perform pg_sleep(0.03); end;"), 0);
    const unsigned long second = std::stoul(selected("select hsecs from sys.v_$timer"));
    EXPECT_GE((second - first) & 0xffffffffUL, 2u);
}

TEST_F(BackendTest, EnvironmentBlockEvaluatesThePreAction) {
    const struct {
        const char* pre_action;
        int expected;
    } cases[] = {
        {"TRUE", 1},
        {"FALSE", 0},
        {"NULL", 0},
        {"owa.get_cgi_env('request_method') = 'GET' and owa.get_cgi_env('X_ONE') = 'a=b'", 1},
        {"owa.get_cgi_env('REQUEST_METHOD') = 'POST'", 0},
    };
    for (const auto& c : cases) {
        std::int32_t result = -1;
        ASSERT_EQ(run_env(c.pre_action, {"REQUEST_METHOD", "X_ONE"}, {"GET", "a=b"}, result), 0)
            << c.pre_action << ": " << oerr_cda(ctx);
        EXPECT_EQ(result, c.expected) << c.pre_action;
    }
    EXPECT_EQ(selected("select owa.get_cgi_env('x_one')"), "a=b");
}

TEST_F(BackendTest, BadPreActionDoesNotCompile) {
    std::int32_t result = 0;
    EXPECT_EQ(run_env("1 +", {"A"}, {"b"}, result), db::call_does_not_compile);
    EXPECT_NE(oerr_cda(ctx).find("SQLSTATE 42601"), std::string::npos) << oerr_cda(ctx);
}

TEST_F(BackendTest, DescriptionListsInputsDefaultsAndArrays) {
    const struct {
        const char* name;
        description expected;
    } cases[] = {
        {"proc3", {0, "a|c|b", "001", "1", "c"}},
        {"KESTREL_APP.Proc3", {0, "a|c|b", "001", "1", "c"}},
        {"proc0", {0, "", "", "0", ""}},
        {"func1", {0, "p_name", "0", "0", ""}},
        {"proc_out", {0, "a", "0", "0", ""}},
    };
    for (const auto& c : cases) {
        const description d = describe(c.name);
        EXPECT_EQ(d.rc, 0) << c.name << ": " << oerr_cda(ctx);
        EXPECT_EQ(d.names, c.expected.names) << c.name;
        EXPECT_EQ(d.defaults, c.expected.defaults) << c.name;
        EXPECT_EQ(d.count, c.expected.count) << c.name;
        EXPECT_EQ(d.tables, c.expected.tables) << c.name;
    }
}

TEST_F(BackendTest, CatalogRoutinesAndBadNamesAreNoRoutine) {
    for (const char* name :
         {"nosuch", "pg_sleep", "set_config", "pg_catalog.pg_sleep",
          "information_schema._pg_truetypid", "proc3;drop", "a.b.c", "\"proc3\"", "proc3(1)", ""}) {
        EXPECT_EQ(describe(name).rc, db::no_such_routine) << name;
    }
    // Nothing failed on the server: the transaction goes on.
    EXPECT_EQ(selected("select user from dual"), test::app_user);
}

TEST_F(BackendTest, CallPassesScalarsAndArraysInRequestOrder) {
    ASSERT_EQ(describe("proc3").rc, 0);
    ASSERT_EQ(db().oparse(ctx.cda, "begin proc3(a=>:a,C=>:C); end;"), 0) << oerr_cda(ctx);
    ASSERT_EQ(sbind(ctx, "a", text("it's \"quoted\" \\ {x}")), 0);
    const std::vector<std::string_view> values = {"3", "1,1", "", "\"q\""};
    ASSERT_EQ(abind(ctx, "C", values), 0);
    ASSERT_EQ(db().oexec(ctx.cda), 0) << oerr_cda(ctx);
    EXPECT_EQ(selected("select a || '|' || c || '|' || b from kestrel_app.calls"),
              "it's \"quoted\" \\ {x}|{3,\"1,1\",\"\",\"\\\"q\\\"\"}|x");
}

TEST_F(BackendTest, CallOfFunctionsAndProceduresWithOutArguments) {
    ASSERT_EQ(describe("func1").rc, 0);
    ASSERT_EQ(db().oparse(ctx.cda, "begin func1(p_name=>:p_name); end;"), 0);
    ASSERT_EQ(sbind(ctx, "p_name", text("Ann")), 0);
    ASSERT_EQ(db().oexec(ctx.cda), 0) << oerr_cda(ctx);

    ASSERT_EQ(describe("kestrel_app.proc_out").rc, 0);
    ASSERT_EQ(db().oparse(ctx.cda, "begin kestrel_app.proc_out(a=>:a); end;"), 0);
    ASSERT_EQ(sbind(ctx, "a", text("v")), 0);
    ASSERT_EQ(db().oexec(ctx.cda), 0) << oerr_cda(ctx);

    ASSERT_EQ(describe("proc0").rc, 0);
    ASSERT_EQ(execute_immediate(ctx, "begin proc0; end;"), 0) << oerr_cda(ctx);
    EXPECT_EQ(selected("select piece from owa.get_page_chunk()"),
              "Content-type: text/html\n\nhello Ann\nzero\n");
    EXPECT_EQ(selected("select b from kestrel_app.calls"), "out");
}

TEST_F(BackendTest, UnknownAndMissingArgumentsGiveTheMismatchReport) {
    ASSERT_EQ(describe("proc3").rc, 0);
    ctx.proc_arg_names = {"a", "c", "b"};
    ctx.proc_arg_has_default = {false, false, true};
    ctx.proc_described = true;
    ctx.args.push_back({_xheap_strdup(ctx, "zz"), _xheap_strdup(ctx, "1")});
    ctx.args.push_back({_xheap_strdup(ctx, "A"), _xheap_strdup(ctx, "1")});
    ASSERT_EQ(db().oparse(ctx.cda, "begin proc3(zz=>:zz,A=>:A); end;"), 0);
    ASSERT_EQ(sbind(ctx, "zz", text("1")), 0);
    ASSERT_EQ(sbind(ctx, "A", text("1")), 0);
    EXPECT_EQ(db().oexec(ctx.cda), db::call_does_not_compile);
    const std::string message = oerr_cda(ctx);
    EXPECT_NE(message.find("42883"), std::string::npos) << message;
    const std::string report =
        "\nVARIABLES IN FORM NOT IN PROCEDURE: zz"
        "\nNON-DEFAULT VARIABLES IN PROCEDURE NOT IN FORM: c\n";
    ASSERT_GE(message.size(), report.size());
    EXPECT_EQ(message.substr(message.size() - report.size()), report) << message;
}

TEST_F(BackendTest, ArgumentNamesThatAreNoIdentifiersDoNotCompile) {
    ASSERT_EQ(describe("proc3").rc, 0);
    for (const char* block : {"begin proc3(a=>:a,x y=>:x y); end;",
                              "begin proc3(a=>1); delete from kestrel_app.calls; --=>:a); end;",
                              "begin proc3(a=>:b); end;"}) {
        EXPECT_EQ(db().oparse(ctx.cda, block), db::call_does_not_compile) << block;
    }
    EXPECT_EQ(selected("select user from dual"), test::app_user);
}

TEST_F(BackendTest, GenericArgumentsArriveInRequestOrder) {
    ASSERT_EQ(db().oparse(ctx.cda, generic_block), 0);
    char name[16] = {};
    char value[16] = {};
    ASSERT_EQ(
        db().obndrv(ctx.cda, {.name = ":name", .buffer = std::as_writable_bytes(std::span(name))}),
        0);
    ASSERT_EQ(
        db().obndrv(ctx.cda, {.name = ":val", .buffer = std::as_writable_bytes(std::span(value))}),
        0);
    const std::pair<const char*, const char*> fields[] = {{"a", "1"}, {"b", "it's"}, {"a", "3"}};
    for (const auto& [n, v] : fields) {
        std::strcpy(name, n);
        std::strcpy(value, v);
        ASSERT_EQ(db().oexec(ctx.cda), 0) << oerr_cda(ctx);
    }
    EXPECT_EQ(selected("select cgi_args.argc() || ' ' || cgi_args.names()::text || ' ' || "
                       "cgi_args.vals()::text"),
              "3 {a,b,a} {1,it's,3}");
}

TEST_F(BackendTest, UploadNamesComeFromTheOwnersSequence) {
    const struct {
        const char* literal_body;  // as the gateway writes it: quotes doubled
        const char* expected;
    } cases[] = {
        {"photo.jpg", "U0000001.jpg"},
        {"scan.jpeg", "U0000002.jpe"},
        {"README", "U0000003"},
        {"archive.tar.gz", "U0000004.gz"},
        {"C:\\docs\\photo.jpg", "U0000005.jpg"},
        {"o''brien'');--.txt", "U0000006.txt"},
    };
    for (const auto& c : cases) {
        const std::string file = c.literal_body;
        std::string query = "SELECT rtrim('U' || ltrim(to_char(";
        query.append(test::app_user).append(".IMG_SEQ.NEXTVAL,'0000000')) ||            ");
        query.append("decode(nvl(instr('").append(file).append("','.',-1),0), 0, '', \t\t   ");
        query.append("substr('").append(file).append("',instr('").append(file);
        query.append("','.',-1),4))) FROM DUAL");
        std::array<char, 25> name{};
        ASSERT_EQ(select_into(ctx, query, name), 0) << oerr_cda(ctx);
        EXPECT_STREQ(name.data(), c.expected);
    }
}

TEST_F(BackendTest, BlocksGetValuesAsQuotedLiterals) {
    const std::string hostile = "it's $kestrel$ '); drop table x; -- \\";
    ASSERT_EQ(db().oparse(ctx.cda, "begin perform htp.print(:greeting || ':x'); end;"), 0);
    ASSERT_EQ(sbind(ctx, "greeting", text(hostile)), 0);
    ASSERT_EQ(db().oexec(ctx.cda), 0) << oerr_cda(ctx);
    ASSERT_EQ(execute_immediate(ctx, "begin perform htp.prn($kestrel$a$kestrel$); end;"), 0)
        << oerr_cda(ctx);
    EXPECT_EQ(selected("select piece from owa.get_page_chunk()"),
              "Content-type: text/html\n\n" + hostile + ":x\na");
}

TEST_F(BackendTest, BlocksOfOneCallRunTheRoutine) {
    // Post-actions and include blocks written the PL/SQL way.
    ASSERT_EQ(execute_immediate(ctx, "begin kestrel_app.proc0; end;"), 0) << oerr_cda(ctx);
    ASSERT_EQ(execute_immediate(ctx, "begin func1('Bob'); end;"), 0) << oerr_cda(ctx);
    ASSERT_EQ(db().oparse(ctx.cda, "begin htp.print(:greeting); end;"), 0);
    ASSERT_EQ(sbind(ctx, "greeting", text("it's :x")), 0);
    ASSERT_EQ(db().oexec(ctx.cda), 0) << oerr_cda(ctx);
    EXPECT_EQ(execute_immediate(ctx, "begin null; end;"), 0) << oerr_cda(ctx);
    EXPECT_EQ(execute_immediate(ctx, "begin nosuch; end;"), db::call_does_not_compile);
    EXPECT_EQ(execute_immediate(ctx, "begin pg_sleep(1); end;"), db::call_does_not_compile);
    EXPECT_EQ(selected("select piece from owa.get_page_chunk()"),
              "Content-type: text/html\n\nzero\nhello Bob\nit's :x\n");
}

TEST_F(BackendTest, FailingBlocksLeaveTheTransactionUsable) {
    ASSERT_EQ(execute_immediate(ctx, "insert into kestrel_app.calls (a) values ('kept')"), 0)
        << oerr_cda(ctx);
    EXPECT_EQ(execute_immediate(ctx, "begin perform htp.print('x') end;"),
              db::call_does_not_compile);
    EXPECT_NE(oerr_cda(ctx).find("syntax error"), std::string::npos) << oerr_cda(ctx);
    const int rc = execute_immediate(
        ctx,
        "begin insert into kestrel_app.calls (a) values ('lost'); raise exception 'boom'; end;");
    EXPECT_NE(rc, 0);
    EXPECT_NE(oerr_cda(ctx).find("boom"), std::string::npos) << oerr_cda(ctx);
    Logoff(ctx, false);
    EXPECT_EQ(scalar("select string_agg(a, ',') from kestrel_app.calls"), "kept");
    ASSERT_TRUE(Logon(ctx, nullptr, nullptr));
}

TEST_F(BackendTest, MissingTableIs942) {
    EXPECT_EQ(execute_immediate(ctx, "insert into kestrel_app.nosuch values (1)"),
              db::no_such_table);
    EXPECT_EQ(selected("select user from dual"), test::app_user);
}

}  // namespace
}  // namespace kestrel
