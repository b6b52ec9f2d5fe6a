// arg_names.cpp - distinct argument names, ignoring case.
#include "frame/arg_names.hpp"

#include <string>
#include <unordered_set>

#include "base/text_case.hpp"

namespace kestrel {
// A set keeps this linear: a hostile form may hold millions of fields.
std::vector<std::string_view> get_unique_names(const request_ctx& ctx) {
    std::vector<std::string_view> names;
    std::unordered_set<std::string> seen;
    for (const arg_pair& pair : ctx.args) {
        if (seen.insert(lowered(pair.name)).second) {
            names.push_back(pair.name);
        }
    }
    return names;
}

}  // namespace kestrel
