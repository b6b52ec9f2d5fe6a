// call_route.cpp - the route of a procedure request: path alias, flexible
// arguments, image points. Runs in the call block before the routine is
// resolved; names it returns still pass the usual validation there.
#include "exec/call_route.hpp"

#include "exec/routine_names.hpp"

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

// "pos.x" -> "pos" when pos is an identifier; other names stay.
std::string_view point_base(std::string_view name) {
    if (name.size() < 3 || name[name.size() - 2] != '.') {
        return name;
    }
    const char axis = name.back();
    if (axis != 'x' && axis != 'y' && axis != 'X' && axis != 'Y') {
        return name;
    }
    const std::string_view base = name.substr(0, name.size() - 2);
    return is_valid_identifier(base) ? base : name;
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

void fold_image_points(request_ctx& ctx) {
    // Browsers send <name>.x before <name>.y, so request order is x, y.
    for (arg_pair& pair : ctx.args) {
        pair.name = point_base(pair.name);
    }
}

}  // namespace kestrel
