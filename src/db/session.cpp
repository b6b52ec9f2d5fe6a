// session.cpp - logon and logoff: the first and last database work of every
// request. The account comes from the service block (or the browser's Basic
// credentials), the connection string from owa_connect_string; one session
// and one cursor serve the whole request.
#include "db/session.hpp"

#include <array>
#include <cstdlib>
#include <string>

#include "db/errors.hpp"
#include "db/query.hpp"
#include "frame/diagnostics.hpp"
#include "frame/wrb.hpp"

namespace kestrel {
namespace {

constexpr db::statement reset_statement = {db::statement_kind::reset_package,
                                           "begin dbms_session.reset_package; end;"};

// The prefix put before a browser's user name: the service's own setting,
// else the [DBAUTH] fallback, else none.
std::string web_authent_prefix(request_ctx& ctx) {
    const std::string key = ctx.service_name + "_web_authent_prefix";
    if (const char* prefix = WRBGetConfigVal(ctx.wrb_handle, key); prefix != nullptr) {
        return prefix;
    }
    return ctx.config.default_web_authent_prefix.value_or("");
}

// setenv copies its arguments, so nothing has to outlive the call.
void export_oracle_environment(request_ctx& ctx, const service_entry& service) {
    if (service.oracle_home) {
        setenv("ORACLE_HOME", service.oracle_home->c_str(), 1);
        KESTREL_TRACE(ctx, "ORACLE_HOME=%s", service.oracle_home->c_str());
    }
    if (service.oracle_sid) {
        setenv("ORACLE_SID", service.oracle_sid->c_str(), 1);
        KESTREL_TRACE(ctx, "ORACLE_SID=%s", service.oracle_sid->c_str());
    }
}

}  // namespace

void close_session(request_ctx& ctx) {
    db::client& db = session_client(ctx);
    db.oclose(ctx.cda);
    db.ologof(ctx.lda);
    ctx.logon_password.clear();
    ctx.logon_service.clear();
}

db::client& session_client(request_ctx& ctx) {
    if (!ctx.db) {
        ctx.db = db::make_client();
    }
    return *ctx.db;
}

int reUseConnect(request_ctx& ctx, const std::string& user, const std::string& password) {
    std::array<char, 35> current{};
    // Fails when no session is open, and when the server ended it (restart,
    // terminated backend): the logon that follows replaces it.
    if (select_into(ctx, {db::statement_kind::session_user, "select user from dual"}, current) !=
        0) {
        return 0;
    }
    // Everything compares exactly: a wrong-case password must not inherit the
    // session, and PostgreSQL role names are case-sensitive (a user name in
    // another case would be refused by a fresh logon, so whether it got in
    // must not depend on what the process served before). A session of
    // another service (another database, perhaps) is never lent.
    if (current.data() == user && ctx.logon_password == password &&
        ctx.logon_service == ctx.service_name) {
        KESTREL_TRACE(ctx, "Reusing the session of %s", current.data());
        return 1;
    }
    close_session(ctx);
    return 0;
}

int get_userid(request_ctx& ctx, const char* user, const char* password, db::logon_request& who) {
    const service_entry* service = ctx.service();
    if (user == nullptr && password == nullptr) {
        who.user = service != nullptr ? service->owa_user.value_or("") : "";
        who.password = service != nullptr ? service->owa_password.value_or("") : "";
    } else {
        who.user = web_authent_prefix(ctx) + (user != nullptr ? user : "");
        who.password = password != nullptr ? password : "";
    }
    if (reUseConnect(ctx, who.user, who.password) != 0) {
        return 0;
    }
    ctx.logon_password = who.password;
    ctx.logon_service = ctx.service_name;
    who.connect = service != nullptr ? service->owa_connect_string.value_or("") : "";
    who.exposed_schemas = service != nullptr ? service->owa_exposed_schemas.value_or("") : "";
    who.statement_timeout = service != nullptr ? service->owa_statement_timeout.value_or("") : "";
    if (service != nullptr) {
        export_oracle_environment(ctx, *service);
    }
    return 1;
}

bool Logon(request_ctx& ctx, const char* user, const char* password) {
    db::logon_request who;
    if (get_userid(ctx, user, password, who) == 0) {
        return true;
    }
    KESTREL_TRACE(ctx, "Logon as %s", who.user.c_str());
    db::client& db = session_client(ctx);
    if (db.olog(ctx.lda, who) != 0) {
        KESTREL_TRACE(ctx, "Logon failed with %d", ctx.lda.rc);
        return false;
    }
    if (db.oopen(ctx.cda, ctx.lda) != 0) {
        KESTREL_TRACE(ctx, "Opening the cursor failed with %d", ctx.cda.rc);
        db.ologof(ctx.lda);
        return false;
    }
    return true;
}

namespace {

// A failed commit (a deferred constraint, a serialization failure): the work
// is lost and the page must not claim otherwise.
[[noreturn]] void die_lost_work(request_ctx& ctx) {
    die(ctx, "%s", oerr_lda(ctx).c_str());
}

}  // namespace

void Logoff(request_ctx& ctx, bool rollback) {
    db::client& db = session_client(ctx);
    if (ctx.config.reuse_connection && !rollback) {
        if (db.commit_and_reset(ctx.lda, ctx.cda, reset_statement) == 0) {
            return;
        }
        if (ctx.lda.rc != 0) {
            die_lost_work(ctx);
        }
        close_session(ctx);
        return;
    }
    if (rollback) {
        db.orol(ctx.lda);
    } else if (db.ocom(ctx.lda) != 0) {
        die_lost_work(ctx);
    }
    if (ctx.config.reuse_connection && execute_immediate(ctx, reset_statement) == 0) {
        return;
    }
    close_session(ctx);
}

}  // namespace kestrel
