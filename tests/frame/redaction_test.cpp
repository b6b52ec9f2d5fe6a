// redaction_test.cpp - which names count as secrets, and how queries and
// environment entries look once their secrets are hidden.
#include "frame/redaction.hpp"

#include "support/request_fixture.hpp"

namespace kestrel::test {
namespace {

class Redaction : public request_test {};

TEST_F(Redaction, SecretFieldsByFragmentIgnoringCase) {
    set_config("redact_fields", "ssn, pin");
    const struct {
        const char* name;
        bool secret;
    } cases[] = {
        {"password", true},   {"New_PassWord", true}, {"p_pwd", true},  {"client_secret", true},
        {"csrf_token", true}, {"API_KEY", true},      {"my_ssn", true}, {"PIN_code", true},
        {"username", false},  {"message", false},     {"", false},      {"p", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(is_secret_field(ctx, c.name), c.secret) << c.name;
    }
}

TEST_F(Redaction, QueriesAndEnvironmentEntries) {
    const struct {
        const char* in;
        const char* out;
    } entries[] = {
        {"HTTP_AUTHORIZATION=Basic dTpw", "HTTP_AUTHORIZATION=(hidden)"},
        {"HTTP_PROXY_AUTHORIZATION=Basic dTpw", "HTTP_PROXY_AUTHORIZATION=(hidden)"},
        {"HTTP_COOKIE=sid=42; theme=dark", "HTTP_COOKIE=(hidden)"},
        {"QUERY_STRING=user=ada&password=x&pass%77ord=y&&z",
         "QUERY_STRING=user=ada&password=(hidden)&pass%77ord=(hidden)&&z"},
        {"QUERY_STRING=token", "QUERY_STRING=token"},
        {"REQUEST_URI=/key/owa/p?a=1&api_key=k", "REQUEST_URI=/key/owa/p?a=1&api_key=(hidden)"},
        {"REQUEST_URI=/owa/monkey", "REQUEST_URI=/owa/monkey"},
        {"PATH_INFO=/owa/p", "PATH_INFO=/owa/p"},
        {"NOVALUE", "NOVALUE"},
    };
    for (const auto& e : entries) {
        EXPECT_EQ(redact_environment_entry(ctx, e.in), e.out) << e.in;
    }
}

}  // namespace
}  // namespace kestrel::test
