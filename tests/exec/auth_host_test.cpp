// auth_host_test.cpp - the CGI host's answer to a request that the
// authorize step refused.
#include <gtest/gtest.h>

#include "frame/cgi_host.hpp"

namespace kestrel {
namespace {

TEST(UnauthorizedAnswer, ChallengesWithTheRealm) {
    EXPECT_EQ(unauthorized_answer(std::string("demo_auth")),
              "Status: 401 Unauthorized\n"
              "WWW-Authenticate: Basic realm=\"demo_auth\"\n"
              "\n"
              "Database log in failed");
}

TEST(UnauthorizedAnswer, WithoutRealmIsAPlainPage) {
    EXPECT_EQ(unauthorized_answer(std::nullopt),
              "Content-type: text/html\n\nDatabase log in failed");
}

TEST(UnauthorizedAnswer, RealmCannotBreakTheHeader) {
    EXPECT_EQ(unauthorized_answer(std::string("a\"b\r\nSet-Cookie: x\\")),
              "Status: 401 Unauthorized\n"
              "WWW-Authenticate: Basic realm=\"a_b__Set-Cookie: x_\"\n"
              "\n"
              "Database log in failed");
}

}  // namespace
}  // namespace kestrel
