// session_test.cpp - logon, logoff and single-row queries on a real server.
#include "db/session.hpp"

#include <array>

#include "db/errors.hpp"
#include "db/query.hpp"
#include "pg/pg_fixture.hpp"

namespace kestrel::test {
namespace {

class PgSession : public pg_fixture {
  protected:
    void SetUp() override {
        pg_fixture::SetUp();
        exec("CREATE TABLE kestrel_app.t (x integer); GRANT ALL ON kestrel_app.t TO kestrel_app");
    }
};

TEST_F(PgSession, WrongPasswordIsRefusedWith1017AndTheServersMessage) {
    Logoff(ctx, false);
    config->services[0].owa_password = "wrong";
    EXPECT_FALSE(Logon(ctx, nullptr, nullptr));
    EXPECT_EQ(ctx.lda.rc, db::invalid_logon);
    const std::string message = oerr_lda(ctx);
    EXPECT_NE(message.find("password authentication failed"), std::string::npos) << message;
    EXPECT_NE(message.find("28P01"), std::string::npos) << message;
}

TEST_F(PgSession, AnyCharacterWorksInUserAndPassword) {
    for (const std::string user : {"web/user", "we@b user", "o'brien \"x\"", "a b/c@d"}) {
        const std::string password = "p/w@ 'x\" " + user;
        ensure_role(user, password);
        Logoff(ctx, false);
        config->services[0].owa_user = user;
        config->services[0].owa_password = password;
        ASSERT_TRUE(Logon(ctx, nullptr, nullptr)) << user << ": " << oerr_lda(ctx);
        EXPECT_EQ(selected("select user from dual", db::statement_kind::session_user), user);
    }
}

TEST_F(PgSession, NormalEndCommitsAndFatalErrorRollsBack) {
    for (const bool rollback : {false, true}) {
        const std::string x = rollback ? "2" : "1";
        ASSERT_EQ(execute_immediate(ctx, {db::statement_kind::written,
                                          "insert into kestrel_app.t values (" + x + ")"}),
                  0)
            << oerr_cda(ctx);
        // Not visible elsewhere before the end of the request.
        EXPECT_EQ(scalar("select count(*) from kestrel_app.t where x = " + x), "0");
        next_request(rollback);
    }
    EXPECT_EQ(scalar("select string_agg(x::text, ',') from kestrel_app.t"), "1");
}

TEST_F(PgSession, SelectIntoWantsExactlyOneRowAndFailuresKeepTheTransaction) {
    exec("insert into kestrel_app.t values (1), (2), (2)");
    const std::pair<std::string, int> cases[] = {
        {"select x from kestrel_app.t where x = 1", 0},
        {"select x from kestrel_app.t where x = 3", db::no_data_found},
        {"select x from kestrel_app.t where x = 2", -1},  // two rows: some failure
        {"select x from kestrel_app.nosuch", db::no_such_table},
    };
    for (const auto& [query, rc] : cases) {
        std::array<char, 80> value{};
        const int got = select_into(ctx, {db::statement_kind::written, query}, value);
        EXPECT_TRUE(rc == -1 ? got != 0 : got == rc) << query << ": " << got;
        if (rc == 0) {
            EXPECT_STREQ(value.data(), "1");
        }
    }
    // e.g. "Mon Jan 01 10:00:00 2024", as the server writes it (read from this
    // machine's clock: retried when a second turned in between); none of the
    // failures spoiled the transaction.
    std::string date;
    std::string servers;
    for (int i = 0; i < 3 && (date.empty() || date != servers); ++i) {
        date = selected("select TO_CHAR(SYSDATE,'Dy Mon DD HH24:MI:SS YYYY') from dual",
                        db::statement_kind::start_date);
        servers = scalar("select to_char(localtimestamp, 'Dy Mon DD HH24:MI:SS YYYY')");
    }
    EXPECT_EQ(date, servers);
    EXPECT_EQ(selected("select user from dual", db::statement_kind::session_user), app_user);
}

}  // namespace
}  // namespace kestrel::test
