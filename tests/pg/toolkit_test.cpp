// toolkit_test.cpp - the database-side toolkit: installation, the header
// rules of the page buffer, the tag helpers, cookies and environment.
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <string>

#include "db/errors.hpp"
#include "db/query.hpp"
#include "db/session.hpp"
#include "pg/pg_fixture.hpp"

namespace kestrel {
namespace {

class ToolkitTest : public test::pg_fixture {
  protected:
    void SetUp() override {
        pg_fixture::SetUp();
        use_app_service(ctx);
        ASSERT_TRUE(Logon(ctx, nullptr, nullptr)) << oerr_lda(ctx);
    }
    void TearDown() override {
        Logoff(ctx, true);
        pg_fixture::TearDown();
    }

    std::string selected(std::string_view query) {
        std::array<char, 4000> buffer{};
        const int rc = select_into(ctx, query, buffer);
        EXPECT_EQ(rc, 0) << query << ": " << oerr_cda(ctx);
        return buffer.data();
    }

    // The page a block writes in a fresh request environment.
    std::string page_of(const std::string& body, const std::string& cookie = "") {
        const std::string env =
            cookie.empty()
                ? "perform owa.init_cgi_env(0, '{}', '{}');"
                : "perform owa.init_cgi_env(1, '{HTTP_COOKIE}', '{\"" + cookie + "\"}');";
        EXPECT_EQ(execute_immediate(ctx, "begin " + env + " " + body + " end;"), 0)
            << body << ": " << oerr_cda(ctx);
        return selected("select coalesce(piece, '') from owa.get_page_chunk()");
    }
};

int run_command(const std::string& command) {
    return std::system(command.c_str());
}

TEST_F(ToolkitTest, InstallAndServiceCanBeRepeated) {
    const std::string db = database() + "_fresh";
    exec("CREATE DATABASE " + db + " TEMPLATE template0");
    const std::string toolkit = std::string(KESTREL_SOURCE_DIR) + "/scripts/toolkit";
    const std::string target = "'" + test::cluster_conninfo(db) + "'";
    const std::string install = std::string(toolkit).append(" install ").append(target);
    const std::string service =
        std::string(toolkit).append(" service ").append(target).append(" ").append(test::app_user);
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(run_command(install), 0) << "round " << round;
        EXPECT_EQ(run_command(service), 0) << "round " << round;
    }
    EXPECT_NE(run_command(toolkit + " service " + target + " no_such_role 2>/dev/null"), 0);
    EXPECT_NE(run_command(toolkit + " 2>/dev/null"), 0);
    exec("DROP DATABASE " + db + " WITH (FORCE)");
}

TEST_F(ToolkitTest, DefaultHeaderOnlyWhenTheProcedureWroteNone) {
    const struct {
        const char* body;
        const char* page;
    } cases[] = {
        {"", ""},
        {"perform htp.print('a'); perform htp.prn('b'); perform htp.p(42);",
         "Content-type: text/html\n\na\nb42\n"},
        {"perform owa_util.mime_header('text/plain'); perform htp.p('x');",
         "Content-type: text/plain\n\nx\n"},
        {"perform owa_util.mime_header('text/html', false, 'utf-8'); "
         "perform owa_cookie.send('k', 'v w', path => '/'); perform htp.print('X-Extra: 1'); "
         "perform owa_util.http_header_close(); perform htp.prn('b');",
         "Content-type: text/html; charset=utf-8\nSet-Cookie: k=v w; path=/\nX-Extra: 1\n\nb"},
        {"perform owa_util.redirect_url('http://example.org/');",
         "Location: http://example.org/\n\n"},
        {"perform owa_util.status_line(404, 'Not Found', false); "
         "perform owa_util.mime_header('text/plain'); perform htp.print('gone');",
         "Status: 404 Not Found\nContent-type: text/plain\n\ngone\n"},
        {"perform owa.header_sent(); perform htp.print('in place');", "in place\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(page_of(c.body), c.page) << c.body;
    }
}

TEST_F(ToolkitTest, TagHelpersAndEscaping) {
    const struct {
        const char* body;
        const char* line;
    } cases[] = {
        {"perform htp.print(htf.bold(htf.escape_sc('<a&\"b\">')));",
         "<b>&lt;a&amp;&quot;b&quot;&gt;</b>"},
        {"perform htp.tabledata('x', cattributes => 'class=\"c\"');", "<td class=\"c\">x</td>"},
        {"perform htp.anchor('/p?a=1', 'go');", "<a href=\"/p?a=1\">go</a>"},
        {"perform htp.header(2, 'Title');", "<h2>Title</h2>"},
        {"perform htp.formtext('q', '10', cvalue => 'a\"b');",
         "<input type=\"text\" name=\"q\" value=\"a&quot;b\" size=\"10\">"},
        {"perform htp.formopen('/owa/p', 'GET');", "<form action=\"/owa/p\" method=\"GET\">"},
        {"perform htp.print(htf.tablerowopen() || htf.tableheader('h') || htf.tablerowclose());",
         "<tr><th>h</th></tr>"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(page_of("perform owa.header_sent(); " + std::string(c.body)),
                  std::string(c.line) + "\n")
            << c.body;
    }
}

TEST_F(ToolkitTest, EnvironmentAndCookies) {
    const std::string page = page_of(
        "perform owa.header_sent(); "
        "perform htp.prn(owa_cookie.get('a') || '|' || owa_cookie.get_all('a')::text || '|' "
        "|| coalesce(owa_cookie.get('zz'), 'none') || '|' || owa_util.get_cgi_env('http_cookie'));",
        "a=1; b=x=y; a=3");
    EXPECT_EQ(page, "1|{1,3}|none|a=1; b=x=y; a=3");
}

TEST_F(ToolkitTest, GetPageReturnsLinesAndKeepsTheRest) {
    page_of(
        "perform owa.header_sent(); perform htp.print('one'); perform htp.print('two'); "
        "perform htp.prn('three');");
    EXPECT_EQ(execute_immediate(ctx,
                                "begin perform owa.header_sent(); perform htp.print('one'); "
                                "perform htp.print('two'); perform htp.prn('three'); end;"),
              0);
    EXPECT_EQ(selected("select owa.get_page(1)::text"), "{\"one\n\"}");
    EXPECT_EQ(selected("select owa.get_page(5)::text"), "{\"two\n\",three}");
    EXPECT_EQ(selected("select owa.get_page(5)::text"), "{}");
}

TEST_F(ToolkitTest, RequestsCreateNoCatalogObjects) {
    Logoff(ctx, false);
    const std::string before = scalar("select count(*) from pg_class");
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(Logon(ctx, nullptr, nullptr));
        EXPECT_FALSE(page_of("for i in 1 .. 500 loop perform htp.print(i); end loop;").empty());
        Logoff(ctx, false);
    }
    EXPECT_EQ(scalar("select count(*) from pg_class"), before);
    ASSERT_TRUE(Logon(ctx, nullptr, nullptr));
}

}  // namespace
}  // namespace kestrel
