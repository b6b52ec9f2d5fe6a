// cartridge_test.cpp - the lifecycle callbacks against the recording
// database double: init and its failure, exec's normal and recovery paths,
// the authorize verdicts.
#include "host/cartridge.hpp"

#include <optional>

#include "frame/diagnostics.hpp"
#include "frame/wrb.hpp"
#include "support/recording_client.hpp"
#include "support/request_fixture.hpp"

namespace kestrel::test {
namespace {

class cartridge_test : public request_test {
  protected:
    request_ctx* cx = nullptr;
    recording_client* db = nullptr;

    void TearDown() override {
        if (cx != nullptr) {
            tessel_shut(nullptr, cx);
        }
        request_test::TearDown();
    }

    // Init over an application file holding [DBAUTH] and the service blocks.
    int init(const std::string& dbauth, const std::string& blocks,
             const std::vector<std::string>& env) {
        set_app_file("[DBAUTH]\n" + dbauth + "\n" + blocks);
        std::vector<std::string> full = env;
        full.push_back("OWS_APPFILE=" + wrb().ows_appfile);
        set_env(full);
        const int rc = tessel_init(nullptr, &cx);
        auto owned = std::make_unique<recording_client>();
        db = owned.get();
        cx->db = std::move(owned);
        return rc;
    }

    int authorize() {
        int flag = -1;
        EXPECT_EQ(tessel_auth(nullptr, cx, &flag), 0);
        return flag;
    }

    bool called(const std::string& op) const {
        return std::find(db->calls.begin(), db->calls.end(), op) != db->calls.end();
    }
};

const std::string blocks = "owa_service=shop\nowa_user=web\nowa_password=pw\nowa_log_dir=LOGDIR\n";

TEST_F(cartridge_test, InitReadsSettingsAndConfiguration) {
    wrb().dir_sep = '\\';
    ASSERT_EQ(init("debug = logon\ntimed_services = TOTAL\ndbauth_services = a, b\tc\n"
                   "realm = Shop\nreuse_connection = yes\ntiming_table = t\n",
                   blocks, {}),
              0);
    EXPECT_EQ(wrb().clientcxp, cx);
    EXPECT_EQ(cx->config.dir_separator, "\\");
    EXPECT_EQ(cx->config.debug, "logon");
    EXPECT_EQ(cx->config.timed_services, "TOTAL");
    EXPECT_EQ(cx->config.timing_table, "t");
    EXPECT_EQ(cx->config.realm, "Shop");
    EXPECT_TRUE(cx->config.reuse_connection);
    EXPECT_EQ(cx->config.dbauth_services, (std::vector<std::string>{"a", "b", "c"}));
    ASSERT_EQ(cx->config.services.size(), 1u);
    EXPECT_EQ(cx->config.default_mime_type, "application/octet-stream");
}

TEST_F(cartridge_test, InitFailureIsLoggedAndContextUsable) {
    set_env({"OWS_APPFILE=" + path("missing.cfg")});
    EXPECT_EQ(tessel_init(nullptr, &cx), 1);
    ASSERT_NE(cx, nullptr);
    EXPECT_EQ(cx->config.dir_separator, "/");
    EXPECT_NE(fallback_log().find("Failed initialization"), std::string::npos);
}

TEST_F(cartridge_test, ExecCommitsOnTheNormalPath) {
    std::filesystem::create_directories(dir / "logs");
    const std::string b = "owa_service=shop\nowa_user=web\nowa_log_dir=" + path("logs") + "\n";
    ASSERT_EQ(
        init("", b,
             {"SCRIPT_NAME=/shop", "PATH_INFO=/owa/p", "REQUEST_METHOD=GET", "QUERY_STRING=a=1"}),
        0);
    db->on("SYSDATE").outcomes = {{.row = row_values{"Mon Jan 01 10:00:00 2024"}}};
    db->on("owa.get_page").outcomes = {{.integers = {{"ndata", 0}}}};
    EXPECT_EQ(tessel_exec(nullptr, cx), 0);
    EXPECT_TRUE(called("ocom"));
    EXPECT_FALSE(called("orol"));
    EXPECT_EQ(cx->heap.head(), nullptr);
    EXPECT_TRUE(cx->args.empty());
    EXPECT_FALSE(cx->authenticated);
}

TEST_F(cartridge_test, RefusedLogonRollsBackAndShowsThePage) {
    std::filesystem::create_directories(dir / "logs");
    const std::string b = "owa_service=shop\nowa_user=web\nowa_log_dir=" + path("logs") + "\n";
    ASSERT_EQ(init("", b, {"SCRIPT_NAME=/shop", "PATH_INFO=/owa/p"}), 0);
    db->olog_rc = db::invalid_logon;
    db->connected = false;
    EXPECT_EQ(tessel_exec(nullptr, cx), 0);
    EXPECT_TRUE(client->written.starts_with(
        "Status: 503 Service Unavailable\nRetry-After: 30\nContent-type: text/plain\n\n\n\nUnable "
        "to Logon For This Service\n"));
    EXPECT_NE(client->written.find("\n  OWA SERVICE: shop\n"), std::string::npos);
    EXPECT_NE(read_file(path("logs/shop.err")).find("Unable to Logon For This Service"),
              std::string::npos);
    EXPECT_TRUE(called("orol"));
    EXPECT_FALSE(called("ocom"));
    EXPECT_EQ(cx->heap.head(), nullptr);
}

TEST_F(cartridge_test, AuthorizeLogOffVerdicts) {
    struct row {
        std::string user;  // empty: no credentials
        int flag;
    };
    for (const row& r : {row{"", 0}, row{"bye", 1}, row{"log", 1}, row{"alice", 0}}) {
        std::vector<std::string> env = {"SCRIPT_NAME=/shop", "PATH_INFO=/owa/LOGMEOFF"};
        if (!r.user.empty()) {
            const std::string encoded = r.user == "bye"   ? "Ynll"
                                        : r.user == "log" ? "bG9n"
                                                          : "YWxpY2U=";
            env.push_back("HTTP_AUTHORIZATION=Basic " + encoded);
        }
        ASSERT_EQ(init("", blocks, env), 0);
        set_user_password();
        EXPECT_EQ(authorize(), r.flag) << r.user;
        EXPECT_EQ(wrb().realm, "shop");
        EXPECT_FALSE(called("olog"));
        client->written.clear();
        wrb().answer = response();
        EXPECT_EQ(tessel_exec(nullptr, cx), 0);
        EXPECT_EQ(client->written,
                  "Content-type: text/html\n\n<h1>You have been de-authenticated</h1>\n\n");
        tessel_shut(nullptr, cx);
        cx = nullptr;
    }
}

TEST_F(cartridge_test, AuthorizeWithServiceAccountRecordsTheStart) {
    ASSERT_EQ(init("realm = Members\n", blocks, {"SCRIPT_NAME=/shop", "PATH_INFO=/owa/p"}), 0);
    db->on("SYSDATE").outcomes = {{.row = row_values{"Tue Jan 02 10:00:00 2024"}}};
    EXPECT_EQ(authorize(), 1);
    EXPECT_EQ(wrb().realm, "Members");
    ASSERT_EQ(db->logons.size(), 1u);
    EXPECT_EQ(db->logons[0].user, "web");
    EXPECT_EQ(cx->start_date, "Tue Jan 02 10:00:00 2024");
    EXPECT_TRUE(cx->authenticated);
}

TEST_F(cartridge_test, AuthorizeWithBrowserCredentials) {
    struct row {
        std::string header;
        int olog_rc;
        std::optional<std::string> verdict;  // of the logon check; none: it fails
        int flag;
        bool authenticated;
    };
    // YWxpY2U6cHc= is alice:pw.
    const std::string alice = "Basic YWxpY2U6cHc=";
    for (const row& r :
         {row{"", 0, "member", 0, true}, row{alice, 0, "member", 1, true},
          row{alice, db::invalid_logon, "member", 0, true}, row{alice, 12541, "member", 1, false},
          row{alice, 0, "superuser", 0, true}, row{alice, 0, "outsider", 0, true},
          row{alice, 0, std::nullopt, 0, true}}) {
        std::vector<std::string> env = {"SCRIPT_NAME=/shop", "PATH_INFO=/owa/p"};
        if (!r.header.empty()) {
            env.push_back("HTTP_AUTHORIZATION=" + r.header);
        }
        ASSERT_EQ(init("dbauth_services = shop\ndbauth_role = web'ers\n", blocks, env), 0);
        set_user_password();
        db->olog_rc = r.olog_rc;
        auto& check = db->on("pg_has_role(session_user, 'web''ers', 'member')");
        check.outcomes = {{.rc = r.verdict ? 0 : 1403}};
        if (r.verdict) {
            check.outcomes[0].row = row_values{*r.verdict};
        }
        const std::string label =
            r.header + " " + std::to_string(r.olog_rc) + " " + r.verdict.value_or("(check fails)");
        EXPECT_EQ(authorize(), r.flag) << label;
        EXPECT_EQ(cx->authenticated, r.authenticated) << label;
        // A refused browser logon leaves no session behind.
        EXPECT_EQ(called("ologof"), r.olog_rc == 0 && r.flag == 0 && !r.header.empty()) << label;
        if (!r.header.empty()) {
            ASSERT_EQ(db->logons.size(), 1u);
            EXPECT_EQ(db->logons[0].user, "alice");
            EXPECT_EQ(db->logons[0].password, "pw");
        }
        tessel_shut(nullptr, cx);
        cx = nullptr;
    }
}

}  // namespace
}  // namespace kestrel::test
