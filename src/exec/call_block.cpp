// call_block.cpp - the procedure call: route and resolve the name (as
// given, else qualified with the service's user), describe it, write a
// one-statement block with named arguments (or the two arrays of flexible
// arguments), bind scalars and arrays, execute.
// Runs inside do_block (host/dispatch.cpp), before dump_page.
#include "exec/call_block.hpp"

#include <algorithm>
#include <optional>

#include "args/arglist.hpp"
#include "base/identifier.hpp"
#include "base/text_case.hpp"
#include "db/binds.hpp"
#include "db/errors.hpp"
#include "db/session.hpp"
#include "exec/call_route.hpp"
#include "exec/describe.hpp"
#include "exec/routine_names.hpp"
#include "frame/diagnostics.hpp"
#include "timing/timing.hpp"

namespace kestrel {
namespace {

struct resolved_routine {
    std::string name;
    std::vector<std::string> tables;
};

// The name as given, else qualified with the service's user; nullopt when
// neither names a callable routine that exists.
std::optional<resolved_routine> resolve_routine(request_ctx& ctx, std::string_view name) {
    resolved_routine found{std::string(name), {}};
    if (!is_callable_routine(ctx, found.name)) {
        return std::nullopt;
    }
    int count = 0;
    found.tables = oci_describe(ctx, found.name.c_str(), count);
    if (count != -1) {
        return found;
    }

    const service_entry* service = ctx.service();
    if (service == nullptr || !service->owa_user) {
        return std::nullopt;
    }
    found.name = *service->owa_user + "." + std::string(name);
    if (found.name.size() > field_max || !is_callable_routine(ctx, found.name)) {
        return std::nullopt;
    }
    found.tables = oci_describe(ctx, found.name.c_str(), count);
    if (count == -1) {
        return std::nullopt;
    }
    return found;
}

bool is_table_argument(std::string_view name, const std::vector<std::string>& tables) {
    return std::any_of(tables.begin(), tables.end(), [name](const std::string& table) {
        return equal_ignoring_case(name, table);
    });
}

// A field name that is no identifier never enters the block: the request
// fails as a call with a field the procedure does not take.
void check_field_names(request_ctx& ctx, const std::vector<std::string_view>& names) {
    for (const std::string_view name : names) {
        if (is_identifier(name)) {
            continue;
        }
        const std::string report = mismatch_report(ctx);
        die_status(ctx, 400, "Form field name '%.*s' is not a valid argument name%s",
                   static_cast<int>(std::min<std::size_t>(name.size(), 200)), name.data(),
                   report.c_str());
    }
}

void bind_arguments(request_ctx& ctx, const std::vector<std::string_view>& names,
                    const std::vector<std::string>& tables) {
    for (const std::string_view name : names) {
        const std::vector<std::string_view> values = get_array_of_values(ctx, name);
        int rc = 0;
        if (is_table_argument(name, tables)) {
            rc = abind(ctx, name, values);
        } else {
            rc = sbind(ctx, name, bindable_copy(ctx, values.empty() ? "" : values.front()));
        }
        if (rc != 0) {
            die_with_cursor_error(ctx);
        }
    }
}

// Flexible arguments: every field, in request order, whatever its name.
void bind_flexible_arguments(request_ctx& ctx) {
    std::vector<std::string_view> names;
    std::vector<std::string_view> values;
    for (const arg_pair& pair : ctx.args) {
        names.push_back(pair.name);
        values.push_back(pair.value);
    }
    if (abind(ctx, "name_array", names) != 0 || abind(ctx, "value_array", values) != 0) {
        die_with_cursor_error(ctx);
    }
}

// The argument names of the call; p_path of an aliased path takes the place
// of a field of that name.
std::vector<std::string_view> call_argument_names(request_ctx& ctx, const call_route& route) {
    std::vector<std::string_view> names;
    if (route.flexible) {
        names = {"name_array", "value_array"};
    } else {
        names = get_unique_names(ctx);
        check_field_names(ctx, names);
    }
    if (route.path) {
        std::erase_if(names,
                      [](std::string_view name) { return equal_ignoring_case(name, "p_path"); });
        names.emplace_back("p_path");
    }
    return names;
}

void bind_call(request_ctx& ctx, const call_route& route,
               const std::vector<std::string_view>& names, const std::vector<std::string>& tables) {
    if (route.flexible) {
        bind_flexible_arguments(ctx);
    } else {
        std::vector<std::string_view> fields = names;
        if (route.path) {
            fields.pop_back();
        }
        bind_arguments(ctx, fields, tables);
    }
    if (route.path && sbind(ctx, "p_path", bindable_copy(ctx, *route.path)) != 0) {
        die_with_cursor_error(ctx);
    }
}

}  // namespace

std::string call_block_text(std::string_view routine, const std::vector<std::string_view>& names) {
    std::string block = "begin ";
    block += routine;
    block += names.empty() ? "" : "(";
    const char* separator = "";
    for (const std::string_view name : names) {
        block += separator;
        block += name;
        block += "=>:";
        block += name;
        separator = ",";
    }
    block += names.empty() ? "" : ")";
    block += "; end;";
    return block;
}

int oci_do_block(request_ctx& ctx) {
    const call_route route = route_of(ctx);
    const std::optional<resolved_routine> routine = resolve_routine(ctx, route.routine);
    if (!routine) {
        return 0;
    }
    const std::vector<std::string_view> names = call_argument_names(ctx, route);
    const std::string block = call_block_text(routine->name, names);
    KESTREL_TRACE(ctx, "call block: %s", block.c_str());

    // With timing on, what the request did so far is committed, so that its
    // timing rows outlive a failing call; never the rows of its uploads,
    // which live and die with the call's transaction.
    const std::uint32_t start = get_hsecs(ctx);
    if (start != 0 && ctx.stored_documents == 0) {
        session_client(ctx).ocom(ctx.lda);
    }
    if (session_client(ctx).oparse(ctx.cda, {.kind = db::statement_kind::call,
                                             .text = block,
                                             .routine = routine->name,
                                             .arguments = names,
                                             .page_follows = true}) != 0) {
        die_with_cursor_error(ctx);
    }
    bind_call(ctx, route, names, routine->tables);
    if (session_client(ctx).oexec(ctx.cda) != 0) {
        die_with_cursor_error(ctx);
    }
    log_timings(ctx, start, get_hsecs(ctx), "EXEC-BLOCK");
    return 1;
}

}  // namespace kestrel
