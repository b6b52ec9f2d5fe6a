// statement_map_test.cpp - which PostgreSQL form each gateway statement takes.
#include "db/postgres/statement_map.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrel::db::pg {
namespace {

TEST(StatementMap, RecognisesEveryGatewayStatement) {
    const struct {
        std::string text;
        statement_kind kind;
    } cases[] = {
        {"select TO_CHAR(SYSDATE,'Dy Mon DD HH24:MI:SS YYYY') from dual",
         statement_kind::start_date},
        {"select user from dual", statement_kind::session_user},
        {"select hsecs from sys.v_$timer", statement_kind::clock},
        {"begin owa.get_page(:data,:ndata);end;", statement_kind::get_page},
        {"begin dbms_session.reset_package; end;", statement_kind::reset_package},
        {"begin \tcgi_args.argC := cgi_args.argC+1; \tcgi_args.argNam(cgi_args.argC) := :name; "
         "\tcgi_args.argVal(cgi_args.argC) := :val; end;",
         statement_kind::generic_arg},
        {"declare l_x number; begin dbms_describe.describe_procedure(:ObjectName); end;",
         statement_kind::describe},
        {"insert into app.timing (url,msg,start_hsecs,stop_hsecs,userid,remote_addr, "
         "\t\t\t\thttp_user_agent) values "
         "(:url,:msg,:start_hsecs,:stop_hsecs,:userid,:remote_addr, "
         "\t\t:http_user_agent)",
         statement_kind::timing_insert},
        {"insert into SHOP.wwv_document (name,mime_type,doc_size,content) values "
         "(:seqno,:mime_type,:length,:image)",
         statement_kind::document_insert},
        {"select image, mime_type, img_size from shop.image where name = :name",
         statement_kind::document_select},
        {"select image from shop.docs where name = :name", statement_kind::document_select},
        {"begin htp.print('x'); end;", statement_kind::routine_block},
        {"begin demo.post_action; end;", statement_kind::routine_block},
        {"begin x := 1; end;", statement_kind::anonymous_block},
        {"begin perform htp.print('x'); perform htp.print('y'); end;",
         statement_kind::anonymous_block},
        {"\n  DECLARE n int; BEGIN NULL; END;", statement_kind::anonymous_block},
        {"select 1", statement_kind::native},
        {"beginning", statement_kind::native},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(map_statement(c.text, "").kind, c.kind) << c.text;
    }
}

TEST(StatementMap, EnvironmentBlockKeepsThePreActionAsWritten) {
    const std::string pre = "my_pkg.allowed(owa.get_cgi_env('X  Y')) and (1 = 1)";
    const auto m = map_statement("begin    owa.init_cgi_env(:n,:nm,:v);    if (" + pre +
                                     ") then \t  :rc := 1;    else \t  :rc := 0;    end if; end;",
                                 "");
    EXPECT_EQ(m.kind, statement_kind::cgi_env);
    EXPECT_EQ(m.pre_action, pre);
}

TEST(StatementMap, RelationsAreFoldedOrRefused) {
    const auto insert = [](const std::string& table) {
        return map_statement("insert into " + table +
                                 " (name,mime_type,doc_size,content) values "
                                 "(:seqno,:mime_type,:length,:image)",
                             "");
    };
    const auto good = insert("Shop.WWV_Document");
    EXPECT_EQ(good.relation.quoted(), "\"shop\".\"wwv_document\"");
    EXPECT_TRUE(good.invalid.empty());
    for (const char* bad : {"x;drop.t", "a.b.c", "\"q\".t", "1abc.t"}) {
        const auto m = insert(bad);
        EXPECT_EQ(m.kind, statement_kind::document_insert) << bad;
        EXPECT_FALSE(m.invalid.empty()) << bad;
    }
}

TEST(StatementMap, UploadNameQueryTakesTheFileNameAsAValue) {
    const std::string file = "o''brien'');drop table x;--.txt";
    const auto m = map_statement(
        "SELECT rtrim('U' || ltrim(to_char(SHOP.IMG_SEQ.NEXTVAL,'0000000')) ||            "
        "decode(nvl(instr('" +
            file + "','.',-1),0), 0, '', \t\t   substr('" + file + "',instr('" + file +
            "','.',-1),4))) FROM DUAL",
        "");
    EXPECT_EQ(m.kind, statement_kind::upload_name);
    EXPECT_EQ(m.file_name, "o'brien');drop table x;--.txt");
    EXPECT_EQ(m.relation.schema, "shop");
}

TEST(StatementMap, CallBlockOfTheDescribedRoutine) {
    const struct {
        std::string text;
        std::vector<std::string> arguments;
        bool valid;
    } cases[] = {
        {"begin shop.home(a=>:a,B_2=>:B_2); end;", {"a", "b_2"}, true},
        {"begin SHOP.HOME; end;", {}, true},
        {"begin shop.home(a=>:a,x y=>:x y); end;", {"a"}, false},
        {"begin shop.home(a=>:b); end;", {}, false},
        {"begin shop.home(a=>1); delete from t; --=>:a); end;", {}, false},
    };
    for (const auto& c : cases) {
        const auto m = map_statement(c.text, "shop.home");
        EXPECT_EQ(m.kind, statement_kind::call) << c.text;
        EXPECT_EQ(m.invalid.empty(), c.valid) << c.text;
        std::vector<std::string> names;
        for (const auto& a : m.arguments) {
            names.push_back(a.name);
        }
        EXPECT_EQ(names, c.arguments) << c.text;
    }
    // Without that description the same text is a block with one call,
    // whose routine the server looks up when it runs.
    const auto block = map_statement("begin shop.home('a', :b); end;", "");
    EXPECT_EQ(block.kind, statement_kind::routine_block);
    EXPECT_EQ(block.routine, "shop.home");
    EXPECT_EQ(block.argument_text, "'a', :b");
    EXPECT_EQ(map_statement("begin shop.homepage; end;", "shop.home").kind,
              statement_kind::routine_block);
}

TEST(StatementMap, Identifiers) {
    const std::vector<std::string> good = {"a", "_x", "Proc$1", std::string(63, 'a')};
    const std::vector<std::string> bad = {
        "", "1a", "a-b", "a b", "a\"", "\xc3\xa9", std::string(64, 'a')};
    for (const auto& name : good) {
        EXPECT_TRUE(is_identifier(name)) << name;
    }
    for (const auto& name : bad) {
        EXPECT_FALSE(is_identifier(name)) << name;
    }
}

}  // namespace
}  // namespace kestrel::db::pg
