// toolkit_test.cpp - the database-side toolkit: installation, the header
// rules of the page buffer, cookies and environment (the tag routines:
// toolkit_routines_test.cpp).
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "db/errors.hpp"
#include "db/query.hpp"
#include "db/session.hpp"
#include "pg/toolkit_fixture.hpp"

namespace kestrel::test {
namespace {

using Toolkit = toolkit_fixture;

// In a LATIN1 database, whose pages name that charset.
TEST_F(Toolkit, InstallAndServiceCanBeRepeated) {
    const std::string db = database() + "_fresh";
    exec("CREATE DATABASE " + db +
         " TEMPLATE template0 ENCODING 'LATIN1' LC_COLLATE 'C' LC_CTYPE 'C'");
    const std::string toolkit = std::string(KESTREL_SOURCE_DIR) + "/scripts/toolkit ";
    std::string target = "'";
    target.append(cluster_conninfo(db)).append("'");  // appends: no -Wrestrict at -O3
    const std::string install = toolkit + "install " + target;
    const std::string service = toolkit + "service " + target + " " + app_user;
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(std::system(install.c_str()), 0) << round;
        EXPECT_EQ(std::system(service.c_str()), 0) << round;
    }
    EXPECT_NE(std::system((toolkit + "service " + target + " no_such_role 2>/dev/null").c_str()),
              0);
    EXPECT_NE(std::system((toolkit + "2>/dev/null").c_str()), 0);
    const std::string charset_query =
        "psql -X -q -t -A -d " + target + " -c \"select owa.text_content_type('text/html')\"";
    std::unique_ptr<FILE, int (*)(FILE*)> out(popen(charset_query.c_str(), "r"), pclose);
    ASSERT_TRUE(out);
    char line[100] = {};
    EXPECT_STREQ(std::fgets(line, sizeof line, out.get()), "text/html; charset=iso-8859-1\n");
    out.reset();
    exec("DROP DATABASE " + db + " WITH (FORCE)");
}

TEST_F(Toolkit, DefaultHeaderOnlyWhenTheProcedureWroteNone) {
    const std::pair<const char*, const char*> cases[] = {
        {"", ""},
        {"perform htp.print('a'); perform htp.prn('b'); perform htp.p(42);",
         "Content-type: text/html; charset=utf-8\n\na\nb42\n"},
        {"perform owa_util.mime_header('text/plain'); perform htp.p('x');",
         "Content-type: text/plain; charset=utf-8\n\nx\n"},
        {"perform owa_util.mime_header('text/plain', binclude_charset => false);",
         "Content-type: text/plain\n\n"},
        {"perform owa_util.mime_header('image/png');", "Content-type: image/png\n\n"},
        {"perform owa_util.mime_header('image/svg+xml', false); "
         "perform owa_util.mime_header('text/csv; charset=iso-8859-1');",
         "Content-type: image/svg+xml\nContent-type: text/csv; charset=iso-8859-1\n\n"},
        {"perform owa_util.mime_header('text/html', false, 'utf-8'); "
         "perform owa_cookie.send('k', 'v w', path => '/'); perform htp.print('X-Extra: 1'); "
         "perform owa_util.http_header_close(); perform htp.prn('b');",
         "Content-type: text/html; charset=utf-8\nSet-Cookie: k=v w; path=/\nX-Extra: 1\n\nb"},
        {"perform owa_util.redirect_url('http://example.org/');",
         "Location: http://example.org/\n\n"},
        {"perform owa_util.status_line(404, 'Not Found', false); "
         "perform owa_util.mime_header('text/plain'); perform htp.print('gone');",
         "Status: 404 Not Found\nContent-type: text/plain; charset=utf-8\n\ngone\n"},
        {"perform owa.header_sent(); perform htp.print('in place');", "in place\n"},
    };
    for (const auto& [body, page] : cases) {
        EXPECT_EQ(page_of(body), page) << body;
    }
}

TEST_F(Toolkit, HeaderRoutinesRefuseLineEndsAndLateRedirects) {
    const std::pair<const char*, const char*> cases[] = {
        {"owa_util.redirect_url('http://x/' || chr(13) || chr(10) || 'Set-Cookie: evil=1')",
         "owa_util.redirect_url"},
        {"owa_util.mime_header('text/html' || chr(10) || 'X: 1')", "owa_util.mime_header"},
        {"owa_util.mime_header('text/html', true, 'utf-8' || chr(13))", "owa_util.mime_header"},
        {"owa_util.status_line(200, 'OK' || chr(10) || '<script>')", "owa_util.status_line"},
        {"owa_cookie.send('a' || chr(10), 'v')", "owa_cookie.send"},
        {"owa_cookie.send('a', 'v' || chr(13))", "owa_cookie.send"},
        {"owa_cookie.send('a', 'v', null, '/' || chr(10))", "owa_cookie.send"},
        {"owa_cookie.send('a', 'v', null, '/', 'x' || chr(10))", "owa_cookie.send"},
        {"owa.header_line('X: 1' || chr(10) || 'Y: 2')", "owa.header_line"},
        {"htp.print('body'); perform owa_util.redirect_url('http://x/')", "owa_util.redirect_url"},
    };
    for (const auto& [call, routine] : cases) {
        const std::string block = "begin perform owa.init_cgi_env(0, '{}', '{}'); perform " +
                                  std::string(call) + "; end;";
        EXPECT_NE(execute_immediate(ctx, {db::statement_kind::written, block}), 0) << call;
        EXPECT_NE(oerr_cda(ctx).find(routine), std::string::npos) << call << ": " << oerr_cda(ctx);
    }
}

TEST_F(Toolkit, EnvironmentAndCookies) {
    EXPECT_EQ(
        page_of(
            "perform owa.header_sent(); "
            "perform htp.prn((owa_cookie.get('a')).vals[1] || '|' || "
            "owa_cookie.get_all('a')::text || '|' || "
            "(owa_cookie.get('zz')).num_vals || '|' || "
            "(select names::text || vals::text || num_vals from owa_cookie.get_all()) || '|' || "
            "owa_util.get_cgi_env('http_cookie'));",
            "a=1; b=x=y; a=3"),
        "1|{1,3}|0|{a,b,a}{1,x=y,3}3|a=1; b=x=y; a=3");
}

TEST_F(Toolkit, RequestsCreateNoCatalogObjects) {
    Logoff(ctx, false);
    const std::string before = scalar("select count(*) from pg_class");
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(Logon(ctx, nullptr, nullptr));
        EXPECT_FALSE(page_of("for i in 1 .. 500 loop perform htp.print(i); end loop;").empty());
        Logoff(ctx, false);
    }
    EXPECT_EQ(scalar("select count(*) from pg_class"), before);
}

}  // namespace
}  // namespace kestrel::test
