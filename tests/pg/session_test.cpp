// session_test.cpp - logon, logoff and single-row queries on a real server.
#include "db/session.hpp"

#include <gtest/gtest.h>

#include <array>
#include <string>

#include "db/errors.hpp"
#include "db/query.hpp"
#include "pg/pg_fixture.hpp"

namespace kestrel {
namespace {

class PgSessionTest : public test::pg_fixture {
  protected:
    void SetUp() override {
        pg_fixture::SetUp();
        use_app_service(ctx);
        exec(std::string("CREATE TABLE ") + test::app_user + ".t (x integer)");
        exec(std::string("GRANT ALL ON ") + test::app_user + ".t TO " + test::app_user);
    }

    std::string selected(std::string_view query, int* rc = nullptr) {
        std::array<char, 80> buffer{};
        const int code = select_into(ctx, query, buffer);
        if (rc != nullptr) {
            *rc = code;
        }
        return code == 0 ? buffer.data() : "";
    }
};

TEST_F(PgSessionTest, LogsOnAndReadsUserAndDate) {
    ASSERT_TRUE(Logon(ctx, nullptr, nullptr)) << oerr_lda(ctx);
    EXPECT_EQ(selected("select user from dual"), test::app_user);
    const std::string date =
        selected("select TO_CHAR(SYSDATE,'Dy Mon DD HH24:MI:SS YYYY') from dual");
    EXPECT_EQ(date.size(), 24u) << date;  // e.g. "Mon Jan 01 10:00:00 2024"
    Logoff(ctx, false);
}

TEST_F(PgSessionTest, WrongPasswordIsRefusedWith1017AndTheServersMessage) {
    ctx.services[0].owa_password = "wrong";
    EXPECT_FALSE(Logon(ctx, nullptr, nullptr));
    EXPECT_EQ(ctx.lda.rc, db::invalid_logon);
    const std::string message = oerr_lda(ctx);
    EXPECT_NE(message.find("password authentication failed"), std::string::npos) << message;
    EXPECT_NE(message.find("28P01"), std::string::npos) << message;
}

TEST_F(PgSessionTest, AnyCharacterWorksInUserAndPassword) {
    const std::string users[] = {"web/user", "we@b user", "o'brien \"x\"", "a b/c@d"};
    for (const auto& user : users) {
        const std::string password = "p/w@ 'x\" " + user;
        test::ensure_role(user, password);
        ctx.services[0].owa_user = user;
        ctx.services[0].owa_password = password;
        ASSERT_TRUE(Logon(ctx, nullptr, nullptr)) << user << ": " << oerr_lda(ctx);
        EXPECT_EQ(selected("select user from dual"), user);
        Logoff(ctx, false);
    }
}

TEST_F(PgSessionTest, NormalEndCommitsAndFatalErrorRollsBack) {
    for (const bool rollback : {false, true}) {
        ASSERT_TRUE(Logon(ctx, nullptr, nullptr)) << oerr_lda(ctx);
        const std::string insert = std::string("insert into ") + test::app_user + ".t values (" +
                                   (rollback ? "2" : "1") + ")";
        ASSERT_EQ(execute_immediate(ctx, insert), 0) << oerr_cda(ctx);
        // Not visible elsewhere before the end of the request.
        EXPECT_EQ(scalar(std::string("select count(*) from ") + test::app_user +
                         ".t where x = " + (rollback ? "2" : "1")),
                  "0");
        Logoff(ctx, rollback);
    }
    EXPECT_EQ(scalar(std::string("select string_agg(x::text, ',') from ") + test::app_user + ".t"),
              "1");
}

TEST_F(PgSessionTest, SelectIntoWantsExactlyOneRow) {
    exec(std::string("insert into ") + test::app_user + ".t values (1), (2), (2)");
    ASSERT_TRUE(Logon(ctx, nullptr, nullptr)) << oerr_lda(ctx);
    const std::string from = std::string(" from ") + test::app_user + ".t where x = ";
    int rc = -1;
    EXPECT_EQ(selected("select x" + from + "1", &rc), "1");
    EXPECT_EQ(rc, 0);
    selected("select x" + from + "3", &rc);
    EXPECT_EQ(rc, db::no_data_found);
    selected("select x" + from + "2", &rc);
    EXPECT_NE(rc, 0);
    // None of these failures spoils the transaction.
    EXPECT_EQ(selected("select user from dual"), test::app_user);
    Logoff(ctx, false);
}

TEST_F(PgSessionTest, WithoutSessionQueriesFailQuietly) {
    int rc = 0;
    selected("select user from dual", &rc);
    EXPECT_NE(rc, 0);
    Logoff(ctx, true);  // nothing open: ignored
}

TEST_F(PgSessionTest, ReusedSessionStartsClean) {
    ctx.reuse_connection = true;
    ASSERT_TRUE(Logon(ctx, nullptr, nullptr)) << oerr_lda(ctx);
    const std::string pid = selected("select pg_backend_pid()");
    ASSERT_EQ(execute_immediate(ctx,
                                "begin perform htp.print('left over'); "
                                "perform cgi_args.add('a', 'b'); "
                                "perform set_config('app.x', 'y', false); end;"),
              0)
        << oerr_cda(ctx);
    Logoff(ctx, false);  // commits, then resets the session
    ASSERT_TRUE(Logon(ctx, test::app_user, test::app_password));
    EXPECT_EQ(selected("select pg_backend_pid()"), pid);  // the same session
    EXPECT_EQ(selected("select coalesce(current_setting('owa.pg_cur', true), '') || "
                       "cgi_args.argc() || coalesce(current_setting('app.x', true), '')"),
              "0");
    ctx.reuse_connection = false;
    Logoff(ctx, true);
}

}  // namespace
}  // namespace kestrel
