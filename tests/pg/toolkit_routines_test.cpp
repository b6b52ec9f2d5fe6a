// toolkit_routines_test.cpp - the toolkit routines as ported applications
// call them: positional and named, with numbers, dates, booleans and NULLs
// as values, attribute parameters, and the packages beside htp and htf.
#include <span>
#include <string>
#include <utility>

#include "db/query.hpp"
#include "pg/toolkit_fixture.hpp"

namespace kestrel::test {
namespace {

using ToolkitRoutines = toolkit_fixture;

using call_case = std::pair<const char*, const char*>;

// Each statement's page, without the default header.
void expect_pages(ToolkitRoutines& t, std::span<const call_case> cases) {
    for (const auto& [statements, page] : cases) {
        EXPECT_EQ(t.page_of(std::string("perform owa.header_sent(); ") + statements), page)
            << statements;
    }
}

TEST_F(ToolkitRoutines, ValuesOfAnyTypeInPositionalAndNamedCalls) {
    const call_case cases[] = {
        {"perform htp.tabledata(42);", "<td>42</td>\n"},
        {"perform htp.tabledata(date '2026-12-07', ccolspan => 2, cnowrap => 'y');",
         "<td nowrap colspan=\"2\">2026-12-07</td>\n"},
        {"perform htp.tabledata(1.50, 'right', NULL, NULL, 3, '4', 'class=\"n\"');",
         "<td align=\"right\" rowspan=\"3\" colspan=\"4\" class=\"n\">1.50</td>\n"},
        {"perform htp.tableheader(true, crowspan => 2);", "<th rowspan=\"2\">true</th>\n"},
        {"perform htp.tabledata(); perform htp.tabledata(NULL); perform htp.tabledata(calign => "
         "'l');",
         "<td></td>\n<td></td>\n<td align=\"l\"></td>\n"},
        {"perform htp.tabledata(timestamp '2026-01-02 03:04:05');",
         "<td>2026-01-02 03:04:05</td>\n"},
        {"perform htp.formtext('x', 20); perform htp.formtext('q', 20, 30, 7);",
         "<input type=\"text\" name=\"x\" size=\"20\">\n"
         "<input type=\"text\" name=\"q\" size=\"20\" maxlength=\"30\" value=\"7\">\n"},
        {"perform htp.formtext(cname => 'd', cvalue => date '2026-12-07', cattributes => "
         "'id=\"d\"');",
         "<input type=\"text\" name=\"d\" value=\"2026-12-07\" id=\"d\">\n"},
        {"perform htp.formhidden('h', 42); perform htp.formhidden('n');",
         "<input type=\"hidden\" name=\"h\" value=\"42\">\n<input type=\"hidden\" name=\"n\">\n"},
        {"perform htp.formselectoption(3, 'x', 'value=\"3\"'); perform htp.formselectoption(NULL);",
         "<option selected value=\"3\">3\n<option>\n"},
        {"perform htp.p(7); perform htp.print(false); perform htp.prn(2.5); perform htp.p();",
         "7\nfalse\n2.5\n"},
        {"perform htp.header(2, 42); perform htp.bold(1.5, 'id=\"b\"'); perform htp.anchor('u', "
         "9);",
         "<h2>42</h2>\n<b id=\"b\">1.5</b>\n<a href=\"u\">9</a>\n"},
        {"perform htp.fontopen(csize => 2); perform htp.fontclose();",
         "<font size=\"2\">\n</font>\n"},
    };
    expect_pages(*this, cases);
}

TEST_F(ToolkitRoutines, TagRoutinesWriteAsGivenEscapingIsExplicit) {
    const call_case cases[] = {
        {"perform htp.formtext('q', cvalue => htf.escape_sc('a&b'));",
         "<input type=\"text\" name=\"q\" value=\"a&amp;b\">\n"},
        {"perform htp.formhidden('q', 'a&amp;b');",
         "<input type=\"hidden\" name=\"q\" value=\"a&amp;b\">\n"},
        {"perform htp.anchor('p?a=1&b=2', '<i>x</i>');", "<a href=\"p?a=1&b=2\"><i>x</i></a>\n"},
        {"perform htp.formselectoption('<b>');", "<option><b>\n"},
        {"perform htp.prints('<a href=\"x\">&'); perform htp.ps(5);",
         "&lt;a href=&quot;x&quot;&gt;&amp;\n5\n"},
        {"perform htp.print(htf.escape_sc(12) || coalesce(htf.escape_sc(NULL::text), '') || '|');",
         "12|\n"},
        {"perform htp.print(htf.escape_url('a b/ü?x=1&y=<2>%'));",
         "a%20b/%C3%BC?x=1&y=%3C2%3E%25\n"},
    };
    expect_pages(*this, cases);
}

TEST_F(ToolkitRoutines, UsualSignaturesOfStructureListsAndForms) {
    const call_case cases[] = {
        {"perform htp.formtextarea('n', 5, 60, 'left');",
         "<textarea name=\"n\" rows=\"5\" cols=\"60\" align=\"left\"></textarea>\n"},
        {"perform htp.formtextarea2('a', 1, 2, cwrap => 'soft'); perform htp.formtextareaopen('t', "
         "3, 4);"
         " perform htp.prn('body'); perform htp.formtextareaclose();",
         "<textarea name=\"a\" rows=\"1\" cols=\"2\" wrap=\"soft\"></textarea>\n"
         "<textarea name=\"t\" rows=\"3\" cols=\"4\">\nbody</textarea>\n"},
        {"perform htp.listitem('a', cattributes => 'class=\"k\"'); perform htp.listitem('b', "
         "'all');",
         "<li class=\"k\">a\n<li clear=\"all\">b\n"},
        {"perform htp.ulistopen(cattributes => 'id=\"u\"'); perform htp.olistopen('left', NULL, "
         "'start=\"3\"');",
         "<ul id=\"u\">\n<ol clear=\"left\" start=\"3\">\n"},
        {"perform htp.dlistopen(ccompact => 'y'); perform htp.dlistterm('t'); perform "
         "htp.dlistdef(1);"
         " perform htp.dlistclose();",
         "<dl compact>\n<dt>t\n<dd>1\n</dl>\n"},
        {"perform htp.anchor2('u', 'T', ctarget => '_top'); perform htp.img2('i.png', calt => 'A', "
         "cusemap => '#m');"
         " perform htp.mailto('a@b', 'mail');",
         "<a href=\"u\" target=\"_top\">T</a>\n<img src=\"i.png\" alt=\"A\" usemap=\"#m\">\n"
         "<a href=\"mailto:a@b\">mail</a>\n"},
        {"perform htp.meta('refresh', NULL, 5); perform htp.script('x()', 'javascript');"
         " perform htp.style('p{}'); perform htp.linkrel('stylesheet', '/s.css');",
         "<meta http-equiv=\"refresh\" content=\"5\">\n<script "
         "language=\"javascript\">x()</script>\n"
         "<style>p{}</style>\n<link rel=\"stylesheet\" href=\"/s.css\">\n"},
        {"perform htp.small('s'); perform htp.big('b'); perform htp.blockquoteopen();"
         " perform htp.blockquoteclose(); perform htp.div(cattributes => 'class=\"d\"');",
         "<small>s</small>\n<big>b</big>\n<blockquote>\n</blockquote>\n<div class=\"d\">\n"},
        {"perform htp.formimage('pos', '/map.png'); perform htp.formsubmit(); perform "
         "htp.formcheckbox('c');"
         " perform htp.formradio('r', 2, 'y'); perform htp.formpassword('p', 8);",
         "<input type=\"image\" name=\"pos\" src=\"/map.png\">\n<input type=\"submit\" "
         "value=\"Submit\">\n"
         "<input type=\"checkbox\" name=\"c\" value=\"on\">\n<input type=\"radio\" name=\"r\" "
         "value=\"2\" checked>\n"
         "<input type=\"password\" name=\"p\" size=\"8\">\n"},
        {"perform htp.tableopen('border', cattributes => 'id=\"t\"'); perform "
         "htp.tablecaption('c', 'top');"
         " perform htp.tablerowopen(cvalign => 'top'); perform htp.tablerowclose(); perform "
         "htp.tableclose();",
         "<table border id=\"t\">\n<caption align=\"top\">c</caption>\n<tr "
         "valign=\"top\">\n</tr>\n</table>\n"},
        {"perform htp.htitle('T', 2); perform htp.hr(); perform htp.nl(cclear => 'all');"
         " perform htp.paragraph(calign => 'center'); perform htp.comment('c'); perform "
         "htp.preformatted(1);",
         "<head><title>T</title></head><body><h2>T</h2>\n<hr>\n<br clear=\"all\">\n"
         "<p align=\"center\">\n<!-- c -->\n<pre>1</pre>\n"},
    };
    expect_pages(*this, cases);
}

TEST_F(ToolkitRoutines, EnvironmentSecurityAndUtilities) {
    const char* env =
        "perform owa.init_cgi_env(5, "
        "'{REMOTE_ADDR,HTTP_AUTHORIZATION,PATH_INFO,SCRIPT_NAME,X_EVIL}', "
        "'{::1,Basic dXNlcjpwOnc=,/!tracker.x,/t/owa,<b>}'); perform owa.header_sent(); ";
    const call_case cases[] = {
        {"perform htp.print(owa.num_cgi_vars() || (owa.cgi_var_name())[5] || "
         "(owa.cgi_var_val())[4]);",
         "5X_EVIL/t/owa\n"},
        {"perform htp.print(owa_sec.get_user_id() || '|' || owa_sec.get_password() || '|'"
         " || owa_sec.get_client_ip()::text || '|' || owa_sec.get_client_hostname());",
         "user|p:w|{0,0,0,0,0,0,0,1}|::1\n"},
        {"perform owa_util.print_cgi_env();",
         "REMOTE_ADDR = ::1<br>\nHTTP_AUTHORIZATION = Basic dXNlcjpwOnc=<br>\n"
         "PATH_INFO = /!tracker.x<br>\nSCRIPT_NAME = /t/owa<br>\nX_EVIL = &lt;b&gt;<br>\n"},
        {"perform htp.print(owa_util.get_procedure()); perform htp.base();",
         "tracker.x\n<base href=\"/t/owa/!tracker.x\">\n"},
        {"perform htp.print(owa_util.todate('{07,DEC,2026}'));", "2026-12-07\n"},
        {"perform htp.p('x'); perform owa_util.showpage(); perform htp.p('y');", "y\n"},
    };
    for (const auto& [statements, page] : cases) {
        EXPECT_EQ(page_of(std::string(env) + statements), page) << statements;
    }
    EXPECT_EQ(page_of("perform owa.init_cgi_env(2, '{REMOTE_ADDR,HTTP_AUTHORIZATION}', "
                      "'{192.0.2.7,Basic !!}'); perform owa.header_sent(); perform htp.print("
                      "owa_sec.get_client_ip()::text || coalesce(owa_sec.get_password(), '-'));"),
              "{192,0,2,7}-\n");
}

TEST_F(ToolkitRoutines, PatternsTextAndImagePoints) {
    const call_case cases[] = {
        {"perform htp.print(owa_pattern.match('Hello', '^h', 'i') || ' ' || "
         "owa_pattern.match('Hello', '^h')"
         " || ' ' || owa_pattern.match(NULL, 'x'));",
         "true false false\n"},
        {"perform htp.print(owa_pattern.amatch('Hello World', 7, 'W\\w+') || ' '"
         " || owa_pattern.amatch('Hello World', 1, 'W\\w+') || ' ' || owa_pattern.amatch('ab', 9, "
         "'a'));",
         "12 0 0\n"},
        {"declare l text := 'Hello World'; n integer; begin"
         " call owa_pattern.change(l, 'o', '[&]', 'g', n); perform htp.print(l || ' ' || n);"
         " l := 'a-b'; call owa_pattern.change(l, '(\\w)-(\\w)', '\\2\\&\\1', NULL, n);"
         " perform htp.print(l || ' ' || n); end;",
         "Hell[o] W[o]rld 2\nb&a 1\n"},
        {"declare m owa_text.multi_line := owa_text.stream2multi('a' || chr(10) || 'bc'); begin"
         " call owa_text.add2multi('d' || chr(10) || 'e', m); perform owa_text.print_multi(m);"
         " perform htp.print('|' || m.num_rows || m.partial_row);"
         " perform owa_text.print_row_list(owa_pattern.match(m, '^[be]')); end;",
         "a\nbcd\ne|3true\n2\n3\n"},
        {"perform htp.print(owa_image.get_x('{10,20}') + owa_image.get_y('{10,20}')"
         " || coalesce(owa_image.get_x('{x}')::text, '-'));",
         "30-\n"},
    };
    expect_pages(*this, cases);
}

TEST_F(ToolkitRoutines, QueryPrintersAndOptimisticLocking) {
    // The session's own table, so that it goes with the session's work.
    const std::string pets = std::string(app_user) + ".pets";
    ASSERT_EQ(execute_immediate(ctx, {db::statement_kind::written,
                                      "begin create table " + pets +
                                          " (id integer, name text, born date);"
                                          " insert into " +
                                          pets +
                                          " values (1, 'Rex', '2026-12-01'),"
                                          " (2, 'Tom', '2026-12-03'), (3, 'Ann', NULL); end;"}),
              0)
        << oerr_cda(ctx);
    const std::string cases[][2] = {
        {"perform htp.print(owa_util.tableprint('" + pets +
             "', 'border', ccolumns => 'id, Name',"
             " cclauses => 'order by id', ccol_aliases => 'No,Pet', nrow_min => 2, nrow_max => "
             "2));",
         "<table "
         "border>\n<tr><th>No</th><th>Pet</th></tr>\n<tr><td>2</td><td>Tom</td></tr>\n</"
         "table>\ntrue\n"},
        {"perform htp.print(owa_util.tableprint('" + pets +
             "', ntable_type => owa_util.pre_table(),"
             " cclauses => 'where id < 3 order by id'));",
         "<pre>\nid name born\n1  Rex  2026-12-01\n2  Tom  2026-12-03\n</pre>\nfalse\n"},
        {"perform owa_util.cellsprint('select id, name from " + pets + " order by id', 1, 'y', 1);",
         "<tr><td align=\"right\">2.00</td><td>Tom</td></tr>\n"},
        {"perform owa_util.listprint('select id, name, nullif(id, 1) from " + pets +
             " where id < 3 order by id', 'pet', 1, true);",
         "<select name=\"pet\" size=\"1\" multiple>\n<option value=\"1\">Rex\n"
         "<option selected value=\"2\">Tom\n</select>\n"},
        {"perform htp.print(owa_opt_lock.checksum('abc'));"
         " perform htp.print(owa_opt_lock.verify_values(array['" +
             std::string(app_user) + "', 'pets', '(0,1)', owa_opt_lock.checksum('" + app_user +
             "', 'pets', '(0,1)')::text]));"
             " perform htp.print(owa_opt_lock.verify_values('{x,y,z,1}'));"
             " perform htp.print(owa_opt_lock.verify_values(array['" +
             app_user + "', 'pets', '(0,1)', '1']));",
         "2416005272\ntrue\nfalse\nfalse\n"},
    };
    for (const auto& [statements, page] : cases) {
        EXPECT_EQ(page_of("perform owa.header_sent(); " + statements), page) << statements;
    }
    const std::string calendar = page_of(
        "perform owa.header_sent(); perform owa_util.calendarprint('select born, name, "
        "case when id = 2 then ''p?id=2'' end from " +
        pets + " where born is not null');");
    EXPECT_NE(calendar.find("<caption>December 2026</caption>"), std::string::npos) << calendar;
    EXPECT_NE(calendar.find("<td valign=\"top\">1<br>Rex</td>"), std::string::npos) << calendar;
    EXPECT_NE(calendar.find("<td valign=\"top\">3<br><a href=\"p?id=2\">Tom</a></td>"),
              std::string::npos)
        << calendar;
    const std::string dates =
        page_of("perform owa.header_sent(); perform owa_util.choose_date('d', date '2026-02-03');");
    EXPECT_NE(dates.find("<option selected value=\"03\">03\n"), std::string::npos) << dates;
    EXPECT_NE(dates.find("<option selected value=\"FEB\">FEB\n"), std::string::npos) << dates;
    EXPECT_NE(dates.find("<option selected value=\"2026\">2026\n"), std::string::npos) << dates;
    EXPECT_NE(execute_immediate(ctx, {db::statement_kind::written,
                                      "begin perform owa_util.tableprint('" + pets +
                                          "', ccolumns => 'id; drop table x'); end;"}),
              0);
    EXPECT_EQ(execute_immediate(
                  ctx, {db::statement_kind::written, "begin drop table " + pets + "; end;"}),
              0);
}

}  // namespace
}  // namespace kestrel::test
