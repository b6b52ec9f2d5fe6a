// cartridge.cpp - the lifecycle callbacks: init reads the configuration,
// authorize and exec resolve the request and log on, exec runs it and
// cleans up on both paths, shutdown releases what init built. Each
// callback's recovery point is a catch of fatal_error (thrown by die/xdie).
#include "host/cartridge.hpp"

#include <sys/wait.h>

#include <array>
#include <cstring>
#include <exception>
#include <memory>

#include "args/arglist.hpp"
#include "args/document_store.hpp"
#include "base/text_case.hpp"
#include "config/config_files.hpp"
#include "config/service_resolution.hpp"
#include "db/errors.hpp"
#include "db/query.hpp"
#include "db/session.hpp"
#include "db/web_logon.hpp"
#include "exec/cgi_env.hpp"
#include "exec/page.hpp"
#include "frame/diagnostics.hpp"
#include "frame/error_page.hpp"
#include "frame/pool.hpp"
#include "frame/wrb.hpp"
#include "frame/wrb_state.hpp"
#include "host/dispatch.hpp"
#include "timing/timing.hpp"

namespace kestrel {
namespace {

constexpr const char* start_date_query =
    "select TO_CHAR(SYSDATE,'Dy Mon DD HH24:MI:SS YYYY') from dual";

bool is_log_off(const request_ctx& ctx) {
    return equal_ignoring_case(ctx.procedure_name, "LogMeOff");
}

// The database date and clock at the start of the request.
void record_start(request_ctx& ctx) {
    std::array<char, 80> date{};
    select_into(ctx, {db::statement_kind::start_date, start_date_query}, date);
    date.back() = '\0';
    ctx.start_date = date.data();
    ctx.start_hsecs = get_hsecs(ctx);
}

// Resolution and logon when no authorize step did them.
void authenticate(request_ctx& ctx) {
    set_session_state(ctx);
    // Credentials the database refused never get here (the authorize step
    // answers 401): what is left is a database that cannot be reached.
    if (ctx.use_database_auth) {
        die_status(ctx, 503, "%s", oerr_lda(ctx).c_str());
    }
    if (!Logon(ctx, nullptr, nullptr)) {
        die_status(ctx, 503, "Unable to Logon For This Service\n%s", oerr_lda(ctx).c_str());
    }
    record_start(ctx);
}

// The page goes out only once the commit has succeeded: until then every
// byte is held, so a failed commit can still answer with an error page.
void serve(request_ctx& ctx) {
    response& answer = wrb().answer;
    answer.hold();
    if (!ctx.authenticated) {
        authenticate(ctx);
    }
    build_arglist(ctx);
    if (set_cgi_env(ctx)) {
        do_block(ctx);
    } else {
        dump_page(ctx);
    }
    do_post_action(ctx);
    log_timings(ctx, ctx.start_hsecs, get_hsecs(ctx), "TOTAL");
    if (answer.is_holding() && answer.hold_failed()) {
        die(ctx, "Unable to hold a page of %llu bytes",
            static_cast<unsigned long long>(answer.bytes_held()));
    }
    Logoff(ctx, false);
    answer.release(*wrb().io);
}

// Rollback after a failure; a failure in it has been reported already, and
// nothing may escape the recovery point. The rows that named this request's
// upload files are gone: so are they.
void roll_back(request_ctx& ctx) noexcept {
    discard_uploaded_files(ctx);
    try {
        Logoff(ctx, true);
    } catch (...) {
        logMessage(ctx, "rollback failed", 1);
    }
}

// The session kept for reuse ends with the process: rolled back and closed.
void end_kept_session(request_ctx& ctx) noexcept {
    try {
        session_client(ctx).orol(ctx.lda);
        close_session(ctx);
    } catch (...) {
        logMessage(ctx, "rollback failed", 1);
    }
}

// The recovery of an exception that no die raised (std::bad_alloc, a bug):
// answered and logged like a fatal error, then rolled back.
void recover_unexpected(request_ctx& ctx, const char* what) noexcept {
    try {
        answer_failure(ctx, 500, std::string("Unexpected failure: ") + what);
    } catch (...) {
        WRBLogMessage(ctx.wrb_handle, "Unexpected failure while answering a failure", 1);
    }
    roll_back(ctx);
}

// The authorize step after resolution: the verdict for the flag.
int authorize_request(request_ctx& ctx, void* handle) {
    const std::string realm = ctx.config.realm ? *ctx.config.realm : ctx.service_name;
    WRBSetAuthorization(handle, 1, realm.c_str(), 0);
    if (is_log_off(ctx)) {
        const char* user = WRBGetUserID(handle);
        return user != nullptr && std::strstr("/logoff/bye/quit/exit/log/", user) != nullptr;
    }
    if (!ctx.use_database_auth) {
        return Logon(ctx, nullptr, nullptr) ? 1 : 0;
    }
    const char* user = WRBGetUserID(handle);
    const char* password = WRBGetPassword(handle);
    // No password is no password check: libpq would look one up in the
    // password file of the host's own user.
    if (user == nullptr || password == nullptr || *password == '\0') {
        return 0;
    }
    if (Logon(ctx, user, password)) {
        if (is_allowed_web_logon(ctx)) {
            return 1;
        }
        close_session(ctx);
        return 0;
    }
    // Not a refusal of the credentials: let exec report the database error.
    if (ctx.lda.rc != db::invalid_logon) {
        ctx.authenticated = false;
        return 1;
    }
    return 0;
}

}  // namespace

void end_request(request_ctx& ctx) {
    heap_release(ctx);
    static_cast<request_state&>(ctx) = request_state{};
    while (waitpid(-1, nullptr, WNOHANG) > 0) {
    }
}

request_scope::~request_scope() {
    try {
        end_request(ctx_);
    } catch (const std::exception& e) {
        WRBLogMessage(ctx_.wrb_handle, std::string("Unexpected failure: ") + e.what(), 1);
    }
}

int tessel_entry(callback_table& table) {
    table.init = tessel_init;
    table.exec = tessel_exec;
    table.shutdown = tessel_shut;
    table.authorize = tessel_auth;
    return 0;
}

// The configuration is written here and nowhere else: the context already
// reads it while it is built (the trace starts with the settings), and only
// ever as const; the writable handle ends with init.
int tessel_init(void* handle, request_ctx** ctxp) {
    const auto config = std::make_shared<gateway_config>();
    const char sep = wrb().dir_sep;
    config->dir_separator = std::string(1, sep != 0 ? sep : '/');
    auto owned = std::make_unique<request_ctx>(config);
    request_ctx& ctx = *owned;
    ctx.wrb_handle = handle;
    *ctxp = owned.release();
    wrb().clientcxp = &ctx;
    try {
        read_settings(ctx, *config);
        ctx.db = db::make_client();
        ReadConfigFiles(ctx, *config);
    } catch (...) {
        Message(ctx, "Failed initialization");
        return 1;
    }
    KESTREL_TRACE(ctx, "Initialized successfully");
    return 0;
}

int tessel_auth(void* handle, request_ctx* ctx, int* flag) {
    ctx->wrb_handle = handle;
    try {
        set_session_state(*ctx);
        ctx->authenticated = true;
        *flag = authorize_request(*ctx, handle);
        if (*flag == 1 && ctx->authenticated && !is_log_off(*ctx)) {
            record_start(*ctx);
        }
    } catch (const fatal_error&) {
        *flag = 0;
        logMessage(*ctx, "Failure", 1);
    } catch (const std::exception& e) {
        // Not a verdict on the credentials: exec logs on again and reports.
        *flag = 1;
        ctx->authenticated = false;
        logMessage(*ctx, std::string("Failure: ") + e.what(), 1);
    }
    return 0;
}

int tessel_exec(void* handle, request_ctx* ctx) {
    ctx->wrb_handle = handle;
    const request_scope scope(*ctx);
    if (is_log_off(*ctx)) {
        static constexpr std::string_view page =
            "Content-type: text/html\n\n<h1>You have been de-authenticated</h1>\n\n";
        WRBClientWrite(handle, page.data(), page.size());
        return 0;
    }
    try {
        serve(*ctx);
    } catch (const fatal_error&) {
        wrb().answer.discard();  // xdie answers nothing: nothing held may leak out
        roll_back(*ctx);
    } catch (const std::exception& e) {
        recover_unexpected(*ctx, e.what());
    } catch (...) {
        recover_unexpected(*ctx, "unknown exception");
    }
    return 0;
}

int tessel_shut(void* handle, request_ctx* ctx) {
    ctx->wrb_handle = handle;
    const std::unique_ptr<request_ctx> owned(ctx);
    if (ctx->config.reuse_connection) {
        end_kept_session(*ctx);
    }
    pheap_release(*ctx);
    if (wrb().clientcxp == ctx) {
        wrb().clientcxp = nullptr;
    }
    return 0;
}

}  // namespace kestrel
