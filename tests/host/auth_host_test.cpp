// auth_host_test.cpp - the CGI host's answer to a request that the
// authorize step refused.
#include <gtest/gtest.h>

#include "host/cgi_host.hpp"

namespace kestrel {
namespace {

TEST(UnauthorizedAnswer, ChallengesWithARealmThatCannotBreakTheHeader) {
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
}  // namespace kestrel
