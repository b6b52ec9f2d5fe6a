// call_route.cpp - the route of a procedure request: path alias and flexible
// arguments. Runs in the call block before the routine is
// resolved; names it returns still pass the usual validation there.
#include "exec/call_route.hpp"

namespace kestrel {
namespace {

std::string_view trim_slashes(std::string_view text) {
    while (!text.empty() && text.front() == '/') {
        text.remove_prefix(1);
    }
    while (!text.empty() && text.back() == '/') {
        text.remove_suffix(1);
    }
    return text;
}

// The rest of path after alias ("" for the alias alone); nullopt when the
// path does not start with the alias as a whole segment.
std::optional<std::string_view> rest_after_alias(std::string_view path, std::string_view alias) {
    if (alias.empty() || !path.starts_with(alias)) {
        return std::nullopt;
    }
    const std::string_view rest = path.substr(alias.size());
    if (rest.empty()) {
        return rest;
    }
    if (rest.front() != '/') {
        return std::nullopt;
    }
    return rest.substr(1);
}

}  // namespace

call_route route_of(const request_ctx& ctx) {
    call_route route{ctx.procedure_name, false, std::nullopt};
    const service_entry* service = ctx.service();
    if (service != nullptr && service->owa_path_alias && service->owa_path_alias_procedure) {
        const auto rest =
            rest_after_alias(ctx.procedure_name, trim_slashes(*service->owa_path_alias));
        if (rest) {
            route.routine = *service->owa_path_alias_procedure;
            route.path = std::string(*rest);
        }
    }
    if (route.routine.starts_with('!')) {
        route.routine.erase(0, 1);
        route.flexible = true;
    }
    return route;
}

}  // namespace kestrel
