// host_test.cpp - one request after another through serve_request, as a
// persistent host drives them: nothing of a request (its resolution, its
// authorize verdict, its credentials, its request pool) reaches the next.
#include "host/host.hpp"

#include "frame/wrb.hpp"
#include "support/recording_client.hpp"
#include "support/request_fixture.hpp"

namespace kestrel::test {
namespace {

class host_test : public request_test {
  protected:
    callback_table table;
    recording_client* db = nullptr;  // owned by the context

    void SetUp() override {
        request_test::SetUp();
        std::filesystem::create_directories(dir / "logs");
        const std::string block =
            "owa_user=web\nowa_password=pw\nowa_log_dir=" + path("logs") + "\n)\n";
        set_app_file("[DBAUTH]\ndbauth_services = vault\n[Services]\n(\nowa_service=shop\n" +
                     block + "(\nowa_service=vault\n" + block);
        set_env({"OWS_APPFILE=" + wrb().ows_appfile});
        tessel_entry(table);
        ASSERT_EQ(table.init(nullptr, &wrb().clientcxp), 0);
        auto owned = std::make_unique<recording_client>();
        db = owned.get();
        db->connected = false;
        db->on("SYSDATE").outcomes = {{.row = row_values{"Mon Jan 01 10:00:00 2024"}}};
        db->on("owa.get_page").outcomes = {{.integers = {{"ndata", 0}}}};
        wrb().clientcxp->db = std::move(owned);
    }

    void TearDown() override {
        if (wrb().clientcxp != nullptr) {
            table.shutdown(nullptr, wrb().clientcxp);
        }
        request_test::TearDown();
    }

    // Serves one request for the URL, with Basic credentials when given;
    // returns what the client received.
    std::string request(const std::string& script, const std::string& path_info,
                        const std::string& credentials = "") {
        std::vector<std::string> env = {"OWS_APPFILE=" + wrb().ows_appfile, "SCRIPT_NAME=" + script,
                                        "PATH_INFO=" + path_info, "REQUEST_METHOD=GET",
                                        "QUERY_STRING="};
        if (!credentials.empty()) {
            env.push_back("HTTP_AUTHORIZATION=Basic " + credentials);
        }
        set_env(env);
        client->written.clear();
        wrb().answer = response();
        serve_request(table, nullptr);
        return client->written;
    }

    request_ctx& cx() { return *wrb().clientcxp; }
};

constexpr std::string_view deauthenticated = "<h1>You have been de-authenticated</h1>";

TEST_F(host_test, DeauthenticationIsNotInheritedByTheNextRequest) {
    // YnllOng= is bye:x, a user name that may log off.
    EXPECT_NE(request("/vault", "/owa/LogMeOff", "YnllOng=").find(deauthenticated),
              std::string::npos);
    EXPECT_TRUE(db->logons.empty());
    EXPECT_EQ(request("/shop", "/owa/p").find(deauthenticated), std::string::npos);
    ASSERT_EQ(db->logons.size(), 1u) << "exec took the previous verdict for its own";
    EXPECT_EQ(db->logons[0].user, "web");
}

TEST_F(host_test, RefusedRequestLeavesNothingBehind) {
    const std::string refused = request("/vault", "/owa/p");
    EXPECT_TRUE(
        refused.starts_with("Status: 401 Unauthorized\n"
                            "WWW-Authenticate: Basic realm=\"vault\"\n\n"))
        << refused;
    EXPECT_EQ(cx().heap.head(), nullptr);
    EXPECT_FALSE(cx().authenticated);
    EXPECT_TRUE(cx().procedure_name.empty());
    EXPECT_EQ(request("/shop", "/owa/p").find("401"), std::string::npos);
    EXPECT_EQ(db->logons.size(), 1u);
}

TEST_F(host_test, CredentialsBelongToOneRequest) {
    // YWxpY2U6c2VjcmV0 is alice:secret.
    request("/vault", "/owa/p", "YWxpY2U6c2VjcmV0");
    ASSERT_EQ(db->logons.size(), 1u);
    EXPECT_EQ(db->logons[0].user, "alice");
    EXPECT_EQ(db->logons[0].password, "secret");
    EXPECT_TRUE(request("/vault", "/owa/p").starts_with("Status: 401 Unauthorized\n"));
    EXPECT_EQ(db->logons.size(), 1u);
    EXPECT_EQ(WRBGetUserID(nullptr), nullptr);
}

TEST_F(host_test, UnresolvedRequestIsForgotten) {
    EXPECT_EQ(request("/nobody", "/owa/p"), "");
    EXPECT_EQ(cx().heap.head(), nullptr);
    EXPECT_NE(fallback_log().find("No OWA.CFG Configuration Found for this agent 'nobody'"),
              std::string::npos);
    request("/shop", "/owa/p");
    EXPECT_EQ(db->logons.size(), 1u);
}

}  // namespace
}  // namespace kestrel::test
