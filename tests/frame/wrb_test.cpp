// wrb_test.cpp - the web request interface over CGI: form splitting, the
// [DBAUTH] reader, URL, error response.
#include "frame/wrb.hpp"

#include "support/request_fixture.hpp"

namespace kestrel::test {
namespace {

using wrb_test = request_test;
using namespace std::string_literals;

std::vector<std::string> flatten(const std::vector<arg_pair>& pairs) {
    std::vector<std::string> out;
    out.reserve(pairs.size());
    for (const arg_pair& p : pairs) {
        out.push_back(std::string(p.name) + "=" + std::string(p.value));
    }
    return out;
}

TEST_F(wrb_test, ParsedContentByMethod) {
    struct row {
        std::vector<std::string> env;
        std::string body;
        int rc;
        std::vector<std::string> pairs;
    };
    const std::vector<std::string> ab = {"a=1", "b=x y"};
    const std::vector<row> rows = {
        {{"REQUEST_METHOD=GET", "QUERY_STRING=a=1&b=x%20y"}, "", 0, ab},
        {{"REQUEST_METHOD=POST", "CONTENT_LENGTH=11"}, "a=1&b=x%20y", 0, ab},
        {{"REQUEST_METHOD=GOOD", "QUERY_STRING=a=1&b=x%20y"}, "", 0, ab},
        {{"REQUEST_METHOD=HEAD", "CONTENT_LENGTH=11"}, "a=1&b=x%20y", 0, ab},
        {{"REQUEST_METHOD=PUT", "CONTENT_LENGTH=11", "QUERY_STRING=z=9"}, "a=1&b=x%20y", 0, ab},
        {{"REQUEST_METHOD=GET", "QUERY_STRING="}, "", 0, {}},
        {{"QUERY_STRING=a=1"}, "", WRB_ERROR, {}},
        {{"REQUEST_METHOD=GET"}, "", WRB_ERROR, {}},
        // Malformed and unmet lengths end the request (request_body_test).
        {{"REQUEST_METHOD=POST"}, "a=1", 0, {}},
        {{"REQUEST_METHOD=POST", "CONTENT_LENGTH=0"}, "a=1", 0, {}},
        {{"REQUEST_METHOD=POST", "CONTENT_LENGTH=3"}, "a=1&b=2", 0, {"a=1"}},
        {{"REQUEST_METHOD=GET", "QUERY_STRING=&a=1&&flag&b=&=v&"},
         "",
         0,
         {"a=1", "flag=", "b=", "=v"}},
        {{"REQUEST_METHOD=GET", "QUERY_STRING=n+m=a%3Db=c"}, "", 0, {"n m=a=b=c"}},
    };
    for (const row& r : rows) {
        set_env(r.env);
        client->body = r.body;
        client->offset = 0;
        std::vector<arg_pair> pairs{arg_pair{"stale", "x"}};
        EXPECT_EQ(WRBGetParsedContent(nullptr, ctx, pairs), r.rc) << r.env[0];
        EXPECT_EQ(flatten(pairs), r.pairs) << r.env[0] << " " << r.body;
    }
}

TEST_F(wrb_test, DbauthSectionRules) {
    set_app_file(
        "debugPath = /outside/\n"
        "[DBAUTH]\n"
        "  debugPath = /tmp/logs/  \n"
        ";commented = 1\n"
        "dup=first\n"
        "dup=second\n"
        "tabbed\t=\tv1\t \n"
        "crlf = v\r\n"
        "empty =\n"
        "emptier=   \n"
        "noequals line\n"
        "= novalue\n"
        "eqs===x y\n"
        "nul = a\0tail\n"
        "after_nul = kept\n"
        "[OTHER]\n"
        "other = 1\n"
        "[DBAUTH] again\n"
        "late = yes\n"s);
    struct row {
        const char* key;
        const char* value;  // null: absent
    };
    for (const row r :
         {row{"debugPath", "/tmp/logs/"}, row{"DebugPath", nullptr}, row{"commented", nullptr},
          row{";commented", nullptr}, row{"dup", "first"}, row{"tabbed", "v1"}, row{"crlf", "v\r"},
          row{"empty", ""}, row{"emptier", ""}, row{"noequals", nullptr}, row{"eqs", "x y"},
          row{"nul", "a"}, row{"after_nul", "kept"}, row{"other", nullptr}, row{"late", "yes"}}) {
        const char* value = WRBGetConfigVal(nullptr, r.key);
        if (r.value == nullptr) {
            EXPECT_EQ(value, nullptr) << r.key;
        } else {
            ASSERT_NE(value, nullptr) << r.key;
            EXPECT_STREQ(value, r.value) << r.key;
        }
    }
}

TEST_F(wrb_test, DbauthKeepsAtMost100EntriesAndCutsLongLines) {
    // Appends only: GCC 12 at -O3 misreads "literal" + std::string as an
    // overlapping copy (-Wrestrict).
    std::string text = "[DBAUTH]\nlong = ";
    text.append(5000, 'v').append("x=tail\n");
    for (int i = 0; i < 120; ++i) {
        const std::string n = std::to_string(i);
        text.append("k").append(n).append(" = ").append(n).append("\n");
    }
    set_app_file(text);
    const char* longest = WRBGetConfigVal(nullptr, "long");
    ASSERT_NE(longest, nullptr);
    EXPECT_EQ(std::string(longest), std::string(4095 - 7, 'v'));
    EXPECT_EQ(WRBGetConfigVal(nullptr, "vvvvx"), nullptr);
    EXPECT_STREQ(WRBGetConfigVal(nullptr, "k98"), "98");
    EXPECT_EQ(WRBGetConfigVal(nullptr, "k99"), nullptr);
}

TEST_F(wrb_test, UnreadableAppFileGivesNoValuesAndIsNotRetried) {
    wrb().ows_appfile = path("absent.app");
    wrb().forget_config();
    EXPECT_EQ(WRBGetConfigVal(nullptr, "debugPath"), nullptr);
    write_file("absent.app", "[DBAUTH]\ndebugPath=/x/\n");
    EXPECT_EQ(WRBGetConfigVal(nullptr, "debugPath"), nullptr);
}

TEST_F(wrb_test, UrlJoinsScriptAndPathAndIsCut) {
    set_env({"SCRIPT_NAME=/cgi/kestrel", "PATH_INFO=/sales/owa/p"});
    EXPECT_STREQ(WRBGetURL(nullptr), "/cgi/kestrel/sales/owa/p");
    set_env({"PATH_INFO=/only"});
    EXPECT_STREQ(WRBGetURL(nullptr), "/only");
    set_env({"SCRIPT_NAME=/s", "PATH_INFO=/" + std::string(300, 'p')});
    EXPECT_EQ(std::string(WRBGetURL(nullptr)), "/s/" + std::string(251, 'p'));
}

TEST_F(wrb_test, HttpErrorHeaderBlock) {
    WRBReturnHTTPError(nullptr, 404, "Not found", 1);
    EXPECT_EQ(client->written, "Content-type: text/html\nStatus: 404 Not found\n\nURL Not Found");
    client->written.clear();
    wrb().answer = response();
    WRBReturnHTTPError(nullptr, 500, "Oops", 0);
    EXPECT_EQ(client->written, "Content-type: text/html\nStatus: 500 Oops\nURL Not Found");
}

}  // namespace
}  // namespace kestrel::test
