// session_test.cpp - logon, reuse check and logoff on the recording client.
#include "db/session.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "frame/wrb_state.hpp"
#include "support/recording_client.hpp"

namespace kestrel {
namespace {

class SessionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        auto owned = std::make_unique<test::recording_client>();
        db = owned.get();
        ctx.db = std::move(owned);
        db->connected = false;  // no session before the first logon
        ctx.services.clear();
        service_entry shop;
        shop.owa_service = "shop";
        shop.owa_connect_string = "host=/tmp dbname=shop";
        shop.owa_password = "s3cret";
        shop.owa_user = "shop_owner";
        ctx.services.push_back(shop);
        ctx.service_index = 0;
        ctx.service_name = "shop";
        wrb().config_read = true;
        wrb().config.clear();
        unsetenv("ORACLE_HOME");
        unsetenv("ORACLE_SID");
    }
    void TearDown() override { wrb().config.clear(); }

    request_ctx ctx;
    test::recording_client* db = nullptr;
};

TEST_F(SessionTest, ServiceAccountLogsOnWithConnectionStringApart) {
    ASSERT_TRUE(Logon(ctx, nullptr, nullptr));
    ASSERT_EQ(db->logons.size(), 1u);
    EXPECT_EQ(db->logons[0].user, "shop_owner");
    EXPECT_EQ(db->logons[0].password, "s3cret");
    EXPECT_EQ(db->logons[0].connect, "host=/tmp dbname=shop");
    EXPECT_EQ(ctx.logon_password, "s3cret");
    // The reuse check found no session; then logon and cursor.
    EXPECT_EQ(db->calls, (std::vector<std::string>{"oparse", "olog", "oopen"}));
}

TEST_F(SessionTest, ServiceWithoutConnectStringUsesDefaults) {
    ctx.services[0].owa_connect_string.reset();
    ASSERT_TRUE(Logon(ctx, nullptr, nullptr));
    EXPECT_EQ(db->logons.at(0).connect, "");
}

TEST_F(SessionTest, BrowserCredentialsTakeThePrefix) {
    struct Case {
        const char* service_prefix;  // null: key absent
        std::optional<std::string> default_prefix;
        const char* expected_user;
    };
    const std::vector<Case> cases = {
        {"WEB_", std::nullopt, "WEB_joe"},
        {"WEB_", "DEF_", "WEB_joe"},
        {nullptr, "DEF_", "DEF_joe"},
        {nullptr, std::nullopt, "joe"},
    };
    for (const auto& c : cases) {
        SetUp();
        if (c.service_prefix != nullptr) {
            wrb().config.push_back({"shop_web_authent_prefix", c.service_prefix});
        }
        ctx.default_web_authent_prefix = c.default_prefix;
        ASSERT_TRUE(Logon(ctx, "joe", "p/w @'\" x"));
        EXPECT_EQ(db->logons.at(0).user, c.expected_user);
        EXPECT_EQ(db->logons.at(0).password, "p/w @'\" x");
    }
}

TEST_F(SessionTest, ServiceAccountIsNeverPrefixed) {
    wrb().config.push_back({"shop_web_authent_prefix", "WEB_"});
    ctx.default_web_authent_prefix = "DEF_";
    ASSERT_TRUE(Logon(ctx, nullptr, nullptr));
    EXPECT_EQ(db->logons.at(0).user, "shop_owner");
}

TEST_F(SessionTest, ExportsOracleEnvironmentOnlyWhenConfigured) {
    ASSERT_TRUE(Logon(ctx, nullptr, nullptr));
    EXPECT_EQ(std::getenv("ORACLE_HOME"), nullptr);
    EXPECT_EQ(std::getenv("ORACLE_SID"), nullptr);

    SetUp();
    ctx.services[0].oracle_home = "/opt/db home";
    ctx.services[0].oracle_sid = "SHOP";
    ASSERT_TRUE(Logon(ctx, nullptr, nullptr));
    EXPECT_STREQ(std::getenv("ORACLE_HOME"), "/opt/db home");
    EXPECT_STREQ(std::getenv("ORACLE_SID"), "SHOP");
}

TEST_F(SessionTest, RefusedLogonOpensNoCursor) {
    db->olog_rc = db::invalid_logon;
    EXPECT_FALSE(Logon(ctx, nullptr, nullptr));
    EXPECT_EQ(ctx.lda.rc, db::invalid_logon);
    EXPECT_EQ(db->calls.back(), "olog");
}

TEST_F(SessionTest, FailedCursorClosesTheSession) {
    db->oopen_rc = 1000;
    EXPECT_FALSE(Logon(ctx, nullptr, nullptr));
    EXPECT_EQ(db->calls, (std::vector<std::string>{"oparse", "olog", "oopen", "ologof"}));
    EXPECT_FALSE(db->connected);
}

TEST_F(SessionTest, ReuseNeedsSameServiceAndExactCredentials) {
    struct Case {
        const char* user;
        const char* password;
        const char* session_service;
        bool reused;
    };
    const std::vector<Case> cases = {
        {"joe", "Pw", "shop", true},
        {"JOE", "Pw", "shop", false},  // role names are case-sensitive
        {"joe", "pw", "shop", false},  // a wrong-case password must not inherit the session
        {"ann", "Pw", "shop", false},
        {"joe", "Pw", "books", false},  // another service's session, same account
    };
    for (const auto& c : cases) {
        SetUp();
        db->connected = true;
        db->on("select user from dual").outcomes = {{.row = test::row_values{"joe"}}};
        ctx.logon_password = "Pw";
        ctx.logon_service = c.session_service;
        ASSERT_TRUE(Logon(ctx, c.user, c.password));
        EXPECT_EQ(db->logons.empty(), c.reused) << c.user << "/" << c.password;
        EXPECT_EQ(ctx.logon_service, "shop");
        if (!c.reused) {
            EXPECT_EQ(db->calls, (std::vector<std::string>{"oparse", "odefin", "oexfet", "oclose",
                                                           "ologof", "olog", "oopen"}));
        }
    }
}

TEST_F(SessionTest, LogoffCommitsOrRollsBackThenCloses) {
    for (const bool rollback : {false, true}) {
        SetUp();
        ASSERT_TRUE(Logon(ctx, nullptr, nullptr));
        db->calls.clear();
        Logoff(ctx, rollback);
        EXPECT_EQ(db->calls,
                  (std::vector<std::string>{rollback ? "orol" : "ocom", "oclose", "ologof"}));
    }
}

TEST_F(SessionTest, ReuseModeResetsThePackagesAndKeepsTheSession) {
    ctx.reuse_connection = true;
    ASSERT_TRUE(Logon(ctx, nullptr, nullptr));
    db->calls.clear();
    Logoff(ctx, false);
    EXPECT_EQ(db->calls, (std::vector<std::string>{"ocom", "oparse", "oexec"}));
    EXPECT_EQ(db->statements.back().text, "begin dbms_session.reset_package; end;");
    EXPECT_TRUE(db->connected);
}

TEST_F(SessionTest, FailedResetClosesTheSession) {
    ctx.reuse_connection = true;
    db->on("dbms_session.reset_package").outcomes = {{.rc = 6550}};
    ASSERT_TRUE(Logon(ctx, nullptr, nullptr));
    db->calls.clear();
    Logoff(ctx, true);
    EXPECT_EQ(db->calls, (std::vector<std::string>{"orol", "oparse", "oexec", "oclose", "ologof"}));
}

TEST_F(SessionTest, LogoffWithoutSessionIgnoresErrors) {
    Logoff(ctx, true);
    EXPECT_EQ(db->calls, (std::vector<std::string>{"orol", "oclose", "ologof"}));
}

}  // namespace
}  // namespace kestrel
