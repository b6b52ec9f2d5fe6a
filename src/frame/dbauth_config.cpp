// dbauth_config.cpp - the [DBAUTH] section of the web server's application
// file: read on the first WRBGetConfigVal of the process and kept. Every
// setting of the gateway that no service block carries is looked up here.
#include <cstdio>
#include <string_view>

#include "base/text_file.hpp"
#include "frame/wrb.hpp"
#include "frame/wrb_state.hpp"

namespace kestrel {
namespace {

constexpr std::size_t read_max = 4095;

bool is_blank(char c) {
    return c == ' ' || c == '\t';
}

// A section line "key = value": the key ends at a tab, blank or '='; the
// value follows the character that ended it, without leading blanks, tabs
// and '=' and without trailing blanks and tabs. Nothing after '=' gives an
// empty value. A line without a key gives nothing.
std::optional<config_entry> parse_entry(std::string_view line) {
    const std::size_t key_end = line.find_first_of("\t =");
    if (key_end == 0 || key_end == std::string_view::npos) {
        return std::nullopt;
    }
    std::string_view value = line.substr(key_end + 1);
    value = value.substr(0, value.find('\n'));
    const std::size_t start = value.find_first_not_of(" \t=");
    value.remove_prefix(start == std::string_view::npos ? value.size() : start);
    while (value.size() > 1 && is_blank(value.back())) {
        value.remove_suffix(1);
    }
    return config_entry{std::string(line.substr(0, key_end)), std::string(value)};
}

void read_dbauth(wrb_state& s) {
    const file_handle f(std::fopen(s.ows_appfile.c_str(), "r"));
    if (!f) {
        return;
    }
    bool in_section = false;
    std::string raw;
    while (s.config.size() < config_entry_max && read_line(f.get(), read_max, raw)) {
        std::string_view line(raw);
        const std::size_t start = line.find_first_not_of(" \t");
        line.remove_prefix(start == std::string_view::npos ? line.size() : start);
        if (line.starts_with("[DBAUTH]")) {
            in_section = true;
            continue;
        }
        if (line.starts_with('[')) {
            in_section = false;
            continue;
        }
        if (!in_section || line.starts_with(';') || line.find('=') == std::string_view::npos) {
            continue;
        }
        if (auto entry = parse_entry(line)) {
            s.config.push_back(std::move(*entry));
        }
    }
}

}  // namespace

const char* WRBGetConfigVal(void*, std::string_view key) {
    wrb_state& s = wrb();
    if (!s.config_read) {
        s.config_read = true;
        read_dbauth(s);
    }
    for (const config_entry& e : s.config) {
        if (e.key == key) {
            return e.value.c_str();
        }
    }
    return nullptr;
}

}  // namespace kestrel
