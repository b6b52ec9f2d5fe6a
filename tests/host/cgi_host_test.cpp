// cgi_host_test.cpp - the Oracle home and log directory derived from the
// application file's path, and the answer to a refused request.
#include "host/cgi_host.hpp"

#include <gtest/gtest.h>

namespace kestrel::test {
namespace {

TEST(cgi_host, HomeAndLogDirectoryTable) {
    struct row {
        const char* appfile;
        const char* home;
        const char* log;
        char sep;
    };
    for (const row r : {
             row{"/u01/ows/admin/svWebSvr.app", "/u01/", "/u01/ows/log/", '/'},
             row{"C:\\ORANT\\OWS20\\ADMIN\\svWebSvr.app", "C:\\ORANT\\", "C:\\ORANT\\OWS20\\log\\",
                 '\\'},
             row{"/a/b.app", "/a/b.app", "/a/b.app", '/'},
             row{"x/y/z.app", "x/y/z.app", "x/log/", '/'},
             row{"/file.app", "/file.app", "/file.app", 0},
             row{"file.app", "file.app", "file.app", 0},
             row{"", "", "", 0},
             row{"/m/x/y\\z\\w.app", "/m/x/y\\z\\w.app", "/m/x/y\\log\\", '\\'},
             row{"/a/b/c/d/e.app", "/a/b/", "/a/b/c/log/", '/'},
         }) {
        char sep = 0;
        EXPECT_EQ(derive_oracle_home(r.appfile, sep), r.home) << r.appfile;
        EXPECT_EQ(sep, r.sep) << r.appfile;
        EXPECT_EQ(derive_log_dir(r.appfile, sep), r.log) << r.appfile;
    }
}

TEST(cgi_host, UnauthorizedAnswerChallengesWithARealmThatCannotBreakTheHeader) {
    const std::pair<std::optional<std::string>, std::string> cases[] = {
        {"demo_auth",
         "Status: 401 Unauthorized\nWWW-Authenticate: Basic realm=\"demo_auth\"\n\n"
         "Database log in failed"},
        {"a\"b\r\nSet-Cookie: x\\",
         "Status: 401 Unauthorized\nWWW-Authenticate: Basic realm=\"a_b__Set-Cookie: x_\"\n\n"
         "Database log in failed"},
        {std::nullopt, "Content-type: text/html\n\nDatabase log in failed"},
    };
    for (const auto& [realm, answer] : cases) {
        EXPECT_EQ(unauthorized_answer(realm), answer);
    }
}

}  // namespace
}  // namespace kestrel::test
