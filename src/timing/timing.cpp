// timing.cpp - the timing log: request phases measured with the database
// clock and stored as rows of the timing table, in the request's
// transaction. Off (no query at all) unless the timing table is configured.
#include "timing/timing.hpp"

#include <array>
#include <cstdlib>
#include <string>

#include "config/service_resolution.hpp"
#include "db/binds.hpp"
#include "db/errors.hpp"
#include "db/query.hpp"
#include "db/session.hpp"
#include "frame/diagnostics.hpp"
#include "frame/wrb.hpp"

namespace kestrel {
namespace {

constexpr const char* insert_format =
    "insert into %s (url,msg,start_hsecs,stop_hsecs,userid,remote_addr, "
    "\t\t\t\thttp_user_agent) values (:url,:msg,:start_hsecs,:stop_hsecs,:userid,:remote_addr, "
    "\t\t:http_user_agent)";

std::string user_of(request_ctx& ctx) {
    if (const char* user = WRBGetUserID(ctx.wrb_handle); user != nullptr) {
        return user;
    }
    const service_entry* service = ctx.service();
    return service != nullptr ? service->owa_user.value_or("") : "";
}

std::string env_or_null(request_ctx& ctx, const char* name) {
    const char* value = wrbgetenv(ctx, name);
    return value != nullptr ? value : "null";
}

// Binds every placeholder of the row, stopping at the first failure.
bool bind_row(request_ctx& ctx, const std::array<char*, 5>& texts, std::int32_t* start,
              std::int32_t* stop) {
    return sbind(ctx, ":url", texts[0]) == 0 && sbind(ctx, ":msg", texts[1]) == 0 &&
           nbind(ctx, ":start_hsecs", start) == 0 && nbind(ctx, ":stop_hsecs", stop) == 0 &&
           sbind(ctx, ":userid", texts[2]) == 0 && sbind(ctx, ":remote_addr", texts[3]) == 0 &&
           sbind(ctx, ":http_user_agent", texts[4]) == 0;
}

}  // namespace

std::uint32_t get_hsecs(request_ctx& ctx) {
    if (!ctx.config.timing_table) {
        return 0;
    }
    std::array<char, 25> reading{};
    if (select_into(ctx, {db::statement_kind::clock, "select hsecs from sys.v_$timer"}, reading) !=
        0) {
        return 0;
    }
    return static_cast<std::uint32_t>(std::strtoul(reading.data(), nullptr, 10));
}

void log_timings(request_ctx& ctx, std::uint32_t start, std::uint32_t stop, const char* tag) {
    if (!ctx.config.timing_table || !isTimed(ctx, tag)) {
        return;
    }
    const std::string statement =
        format_text(8191, insert_format, ctx.config.timing_table->c_str());
    db::client& db = session_client(ctx);
    if (const int rc = db.oparse(ctx.cda, {.kind = db::statement_kind::timing_insert,
                                           .text = statement,
                                           .relation = *ctx.config.timing_table});
        rc != 0) {
        KESTREL_TRACE(ctx, "Return code %d from %s", rc, statement.c_str());
        KESTREL_TRACE(ctx, "%s", oerr_cda(ctx).c_str());
        return;
    }
    const std::array<char*, 5> texts = {bindable_copy(ctx, ctx.url), bindable_copy(ctx, tag),
                                        bindable_copy(ctx, user_of(ctx)),
                                        bindable_copy(ctx, env_or_null(ctx, "REMOTE_ADDR")),
                                        bindable_copy(ctx, env_or_null(ctx, "HTTP_USER_AGENT"))};
    // The readings travel as the signed 32-bit integers the binds carry.
    auto start_value = static_cast<std::int32_t>(start);
    auto stop_value = static_cast<std::int32_t>(stop);
    if (!bind_row(ctx, texts, &start_value, &stop_value)) {
        KESTREL_TRACE(ctx, "Bind Failed");
        KESTREL_TRACE(ctx, "%s", oerr_cda(ctx).c_str());
        return;
    }
    if (const int rc = db.oexec(ctx.cda); rc != 0) {
        KESTREL_TRACE(ctx, "reeturn code %d from oexec of %s", rc, statement.c_str());
        KESTREL_TRACE(ctx, "%s", oerr_cda(ctx).c_str());
    }
}

}  // namespace kestrel
