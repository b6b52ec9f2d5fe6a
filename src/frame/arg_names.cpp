// arg_names.cpp - distinct argument names, ignoring case.
#include "frame/arg_names.hpp"

#include <algorithm>
#include <cctype>
#include <string>
#include <unordered_set>

namespace kestrel {
namespace {

std::string folded(std::string_view name) {
    std::string key(name);
    for (char& c : key) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return key;
}

}  // namespace

bool same_name(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// A set keeps this linear: a hostile form may hold millions of fields.
std::vector<std::string_view> get_unique_names(const request_ctx& ctx) {
    std::vector<std::string_view> names;
    std::unordered_set<std::string> seen;
    for (const arg_pair& pair : ctx.args) {
        if (seen.insert(folded(pair.name)).second) {
            names.push_back(pair.name);
        }
    }
    return names;
}

}  // namespace kestrel
