// session_reuse_test.cpp - connection reuse against a real server: a kept
// session starts the next request clean, after a normal end and after a
// procedure that failed; it is lent only to the same service and exact
// credentials; one that the server ended costs a fresh logon, not an error;
// the descriptions it keeps follow every change of the routine.
#include <chrono>
#include <thread>

#include "db/errors.hpp"
#include "db/query.hpp"
#include "db/session.hpp"
#include "exec/describe.hpp"
#include "pg/pg_fixture.hpp"

namespace kestrel::test {
namespace {

// Session state a request can leave behind, and how the next request sees it.
const std::pair<const char*, const char*> leftovers[] = {
    {"select set_config('app.left', 'over', false)",
     "select coalesce(current_setting('app.left', true), '')"},
    {"begin perform htp.print('left over'); end;",
     "select coalesce(current_setting('owa.pg_cur', true), '') || "
     "coalesce(current_setting('owa.hdr', true), '')"},
    {"begin perform cgi_args.add('a', 'b'); end;", "select cgi_args.argc()::text"},
    {"set default_transaction_isolation = 'serializable'",
     "select current_setting('default_transaction_isolation')"},
    {"select pg_advisory_lock(4711)",
     "select count(*)::text from pg_locks where locktype = 'advisory' and pid = pg_backend_pid()"},
    {"prepare left_over as select 1", "select count(*)::text from pg_prepared_statements"},
    {"create temp table left_over (x integer)",
     "select count(*)::text from pg_class where relname = 'left_over'"},
    {"listen left_over", "select count(*)::text from pg_listening_channels()"},
    {"set search_path = pg_catalog", "select current_setting('search_path')"},
};

class PgReuse : public pg_fixture {
  protected:
    void SetUp() override {
        pg_fixture::SetUp();
        config->reuse_connection = true;
    }

    std::string backend() { return selected("select pg_backend_pid()::text"); }

    std::vector<std::string> probe_all() {
        std::vector<std::string> values;
        for (const auto& [setter, probe] : leftovers) {
            values.push_back(selected(probe));
        }
        return values;
    }

    // The server ends a backend asynchronously: waits until it is gone.
    void terminate(const std::string& pid) {
        exec("select pg_terminate_backend(" + pid + ")");
        for (int i = 0; i < 200; ++i) {
            if (scalar("select count(*) from pg_stat_activity where pid = " + pid) == "0") {
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        FAIL() << "backend " << pid << " still there";
    }
};

TEST_F(PgReuse, NextRequestFindsNoStateAfterANormalEndOrAFailedProcedure) {
    exec(
        "create procedure kestrel_app.leaky() language plpgsql as $$ begin "
        "perform set_config('app.left', 'over', false); perform pg_advisory_lock(4712); "
        "perform htp.print('half a page'); raise exception 'failed on purpose'; end $$");
    const std::string pid = backend();
    const std::vector<std::string> clean = probe_all();
    for (const bool fails : {false, true}) {
        for (const auto& [setter, probe] : leftovers) {
            EXPECT_EQ(execute_immediate(ctx, {db::statement_kind::written, setter}), 0)
                << setter << ": " << oerr_cda(ctx);
        }
        if (fails) {
            EXPECT_NE(execute_immediate(
                          ctx, {db::statement_kind::written, "begin kestrel_app.leaky; end;"}),
                      0);
        }
        next_request(fails);
        EXPECT_EQ(backend(), pid) << "the session was not kept";
        EXPECT_EQ(probe_all(), clean) << (fails ? "after the failed procedure" : "after commit");
        EXPECT_EQ(scalar("select count(*) from pg_locks where locktype = 'advisory' and "
                         "database = (select oid from pg_database where datname = '" +
                         database() + "')"),
                  "0");
    }
}

TEST_F(PgReuse, KeptDescriptionsFollowEveryChangeTheDdlTriggerSees) {
    const auto describe = [&] {
        int count = 0;
        const std::vector<std::string> tables = oci_describe(ctx, "shape", count);
        std::string text;
        for (const auto& name : ctx.proc_arg_names) {
            text += name + ",";
        }
        for (const auto& name : tables) {
            text += "/" + name;
        }
        return count < 0 ? std::string("none") : text;
    };
    const std::string body = " language sql as $$ select 1 $$";
    exec("create procedure kestrel_app.shape(a text)" + body);
    next_request();  // from the first reset on, the session caches
    EXPECT_EQ(describe(), "a,");
    const struct {
        std::string ddl;
        const char* seen;
    } changes[] = {
        {"", "a,"},
        {"drop procedure kestrel_app.shape; "
         "create procedure kestrel_app.shape(a text, b text default 'x')" +
             body,
         "a,b,"},
        {"drop procedure kestrel_app.shape; create procedure kestrel_app.shape(c text[])" + body,
         "c,/c"},
        {"alter procedure kestrel_app.shape rename to gone", "none"},
        {"create procedure kestrel_app.shape(d integer)" + body, "d,"},
        // Unseen by the trigger (replica mode): the cached description stays,
        // which shows that the ones above were not simply described afresh.
        {"set session_replication_role = replica; drop procedure kestrel_app.shape; "
         "create procedure kestrel_app.shape(d integer, e text default '')" +
             body + "; reset session_replication_role",
         "d,"},
    };
    for (const auto& change : changes) {
        if (!change.ddl.empty()) {
            exec(change.ddl);
        }
        next_request();
        EXPECT_EQ(describe(), change.seen) << change.ddl;
    }
    exec("alter event trigger owa_ddl_generation disable");
    next_request();
    EXPECT_EQ(describe(), "d,e,") << "without the trigger nothing is cached";
}

TEST_F(PgReuse, KeptSessionWaitsOutsideATransaction) {
    const std::string pid = backend();
    Logoff(ctx, false);
    EXPECT_EQ(scalar("select state from pg_stat_activity where pid = " + pid), "idle");
    // The next request's work is one transaction again: a rollback undoes it.
    exec("create table kestrel_app.t (x integer); grant all on kestrel_app.t to kestrel_app");
    ASSERT_TRUE(Logon(ctx, nullptr, nullptr));
    ASSERT_EQ(execute_immediate(
                  ctx, {db::statement_kind::written, "insert into kestrel_app.t values (1)"}),
              0)
        << oerr_cda(ctx);
    Logoff(ctx, true);
    EXPECT_EQ(scalar("select count(*) from kestrel_app.t"), "0");
}

TEST_F(PgReuse, SessionEndedByTheServerCostsAFreshLogon) {
    const std::string pid = backend();
    Logoff(ctx, false);
    terminate(pid);
    ASSERT_TRUE(Logon(ctx, nullptr, nullptr)) << oerr_lda(ctx);
    const std::string fresh = backend();
    EXPECT_NE(fresh, pid);
    EXPECT_EQ(selected("select user from dual", db::statement_kind::session_user), app_user);
    // Ended in the middle of a request: the rollback finds nothing to undo,
    // and the next request logs on again.
    terminate(fresh);
    next_request(true);
    EXPECT_NE(backend(), fresh);
}

TEST_F(PgReuse, LentOnlyToTheSameServiceAndExactCredentials) {
    const char* user = "kestrel_reuse_web";
    const char* password = "Case-Matters-1";
    ensure_role(user, password);
    Logoff(ctx, false);
    ASSERT_TRUE(Logon(ctx, user, password)) << oerr_lda(ctx);
    const std::string first = backend();
    Logoff(ctx, false);

    // Same user, the password in another case: a case-blind check would
    // lend the open session; the server refuses the password.
    EXPECT_FALSE(Logon(ctx, user, "case-matters-1"));
    EXPECT_EQ(ctx.lda.rc, db::invalid_logon);
    Logoff(ctx, true);

    ASSERT_TRUE(Logon(ctx, user, password)) << oerr_lda(ctx);
    const std::string second = backend();
    EXPECT_NE(second, first);
    Logoff(ctx, false);

    // Another service with the very same account gets a session of its own.
    config->services.push_back(config->services[0]);
    config->services[1].owa_service = "other";
    ctx.service_index = 1;
    ctx.service_name = "other";
    ASSERT_TRUE(Logon(ctx, user, password)) << oerr_lda(ctx);
    EXPECT_NE(backend(), second);
    EXPECT_EQ(selected("select user from dual", db::statement_kind::session_user), user);
}

}  // namespace
}  // namespace kestrel::test
