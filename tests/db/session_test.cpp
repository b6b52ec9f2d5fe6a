// session_test.cpp - logon, reuse check and logoff on the recording client.
#include "db/session.hpp"

#include <cstdlib>

#include "support/request_fixture.hpp"

namespace kestrel::test {
namespace {

class Session : public request_test {
  protected:
    void SetUp() override {
        request_test::SetUp();
        db->connected = false;  // no session before the first logon
        config->services[0].owa_connect_string = "host=/tmp dbname=demo";
        config->services[0].owa_password = "s3cret";
        unsetenv("ORACLE_HOME");
        unsetenv("ORACLE_SID");
    }
};

TEST_F(Session, ServiceAccountLogsOnWithConnectionStringApart) {
    ASSERT_TRUE(Logon(ctx, nullptr, nullptr));
    ASSERT_EQ(db->logons.size(), 1u);
    EXPECT_EQ(db->logons[0].user, "demo");
    EXPECT_EQ(db->logons[0].password, "s3cret");
    EXPECT_EQ(db->logons[0].connect, "host=/tmp dbname=demo");
    EXPECT_EQ(ctx.logon_password, "s3cret");
    EXPECT_EQ(std::getenv("ORACLE_HOME"), nullptr);

    restart();
    config->services[0].owa_connect_string.reset();
    config->services[0].oracle_home = "/opt/db home";
    config->services[0].oracle_sid = "SHOP";
    ASSERT_TRUE(Logon(ctx, nullptr, nullptr));
    EXPECT_EQ(db->logons.at(0).connect, "");
    EXPECT_STREQ(std::getenv("ORACLE_HOME"), "/opt/db home");
    EXPECT_STREQ(std::getenv("ORACLE_SID"), "SHOP");
}

TEST_F(Session, BrowserCredentialsTakeThePrefixTheServiceAccountNever) {
    const struct {
        const char* service_prefix;  // null: key absent
        std::optional<std::string> default_prefix;
        const char* browser_user;  // null: the service account
        const char* expected_user;
    } cases[] = {
        {"WEB_", std::nullopt, "joe", "WEB_joe"}, {"WEB_", "DEF_", "joe", "WEB_joe"},
        {nullptr, "DEF_", "joe", "DEF_joe"},      {nullptr, std::nullopt, "joe", "joe"},
        {"WEB_", "DEF_", nullptr, "demo"},
    };
    for (const auto& c : cases) {
        restart();
        if (c.service_prefix != nullptr) {
            set_config("demo_web_authent_prefix", c.service_prefix);
        }
        config->default_web_authent_prefix = c.default_prefix;
        const char* password = c.browser_user != nullptr ? "p/w @'\" x" : nullptr;
        ASSERT_TRUE(Logon(ctx, c.browser_user, password));
        EXPECT_EQ(db->logons.at(0).user, c.expected_user);
        EXPECT_EQ(db->logons.at(0).password, password != nullptr ? password : "s3cret");
    }
}

TEST_F(Session, FailedLogonOrCursorLeavesNoSession) {
    db->olog_rc = db::invalid_logon;
    EXPECT_FALSE(Logon(ctx, nullptr, nullptr));
    EXPECT_EQ(ctx.lda.rc, db::invalid_logon);

    restart();
    db->oopen_rc = 1000;
    EXPECT_FALSE(Logon(ctx, nullptr, nullptr));
    EXPECT_FALSE(db->connected);
}

TEST_F(Session, ReuseNeedsSameServiceAndExactCredentials) {
    const struct {
        const char* user;
        const char* password;
        const char* session_service;
        bool reused;
    } cases[] = {
        {"joe", "Pw", "demo", true},
        {"JOE", "Pw", "demo", false},  // role names are case-sensitive
        {"joe", "pw", "demo", false},  // a wrong-case password must not inherit the session
        {"ann", "Pw", "demo", false},
        {"joe", "Pw", "books", false},  // another service's session, same account
    };
    for (const auto& c : cases) {
        restart();
        db->connected = true;
        db->on("select user from dual").outcomes = {{.row = row_values{"joe"}}};
        ctx.logon_password = "Pw";
        ctx.logon_service = c.session_service;
        ASSERT_TRUE(Logon(ctx, c.user, c.password));
        EXPECT_EQ(db->logons.empty(), c.reused) << c.user << "/" << c.password;
        EXPECT_EQ(ctx.logon_service, "demo");
        EXPECT_EQ(db->count("ologof"), c.reused ? 0u : 1u);
    }
}

// Commit and rollback on a real server: tests/pg/session_test.cpp.
TEST_F(Session, LogoffKeepsTheSessionOnlyWhenReuseIsOnAndTheResetWorks) {
    const struct {
        bool logged_on;
        bool reuse;
        int reset_rc;
        bool rollback;
    } cases[] = {
        {true, false, 0, false}, {true, false, 0, true},   {true, true, 0, false},
        {true, true, 0, true},   {true, true, 6550, true}, {false, false, 0, true},
    };
    for (const auto& c : cases) {
        restart();
        config->reuse_connection = c.reuse;
        db->on("begin dbms_session.reset_package; end;").outcomes = {{.rc = c.reset_rc}};
        if (c.logged_on) {
            ASSERT_TRUE(Logon(ctx, nullptr, nullptr));
        }
        Logoff(ctx, c.rollback);
        EXPECT_EQ(db->connected, c.logged_on && c.reuse && c.reset_rc == 0)
            << c.reuse << c.reset_rc << c.rollback;
    }
}

}  // namespace
}  // namespace kestrel::test
