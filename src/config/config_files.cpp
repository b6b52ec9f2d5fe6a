// config_files.cpp - the service blocks of owa.cfg and the web server's
// svXXXX.cfg (MIME table, directory maps), read once by tessel_init.
// Lines hold at most 511 characters; the rest of a longer line is dropped,
// so that its tail is never read as a line of its own.
#include "config/config_files.hpp"

#include <array>
#include <cstdio>
#include <string>
#include <string_view>

#include "base/text_case.hpp"
#include "base/text_file.hpp"
#include "config/password.hpp"
#include "frame/diagnostics.hpp"
#include "frame/wrb.hpp"

namespace kestrel {
namespace {

constexpr std::size_t line_max = 511;
constexpr std::size_t section_max = 255;
constexpr std::size_t path_max = 255;

// One line of at most line_max characters through remove_nl; false at the
// end of the file.
bool read_config_line(std::FILE* f, std::string& line) {
    if (!read_line(f, line_max, line)) {
        return false;
    }
    remove_nl(line.data());
    return true;
}

bool is_blank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view skip_blanks(std::string_view text) {
    while (!text.empty() && is_blank(text.front())) {
        text.remove_prefix(1);
    }
    return text;
}

std::string_view first_word(std::string_view text) {
    text = skip_blanks(text);
    return text.substr(0, text.find_first_of(" \t"));
}

// The text after the first '=' and any run of further '='; null without '='.
std::optional<std::string_view> value_after_equals(std::string_view line) {
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) {
        return std::nullopt;
    }
    std::string_view value = line.substr(eq + 1);
    while (!value.empty() && value.front() == '=') {
        value.remove_prefix(1);
    }
    return value;
}

std::optional<std::string>* service_field(service_entry& e, std::string_view key) {
    static constexpr std::array<std::pair<const char*, std::optional<std::string> service_entry::*>,
                                12>
        fields{{{"oracle_home", &service_entry::oracle_home},
                {"oracle_sid", &service_entry::oracle_sid},
                {"owa_connect_string", &service_entry::owa_connect_string},
                {"owa_password", &service_entry::owa_password},
                {"owa_user", &service_entry::owa_user},
                {"owa_valid_ports", &service_entry::owa_valid_ports},
                {"owa_log_dir", &service_entry::owa_log_dir},
                {"owa_error_page", &service_entry::owa_error_page},
                {"owa_path_alias", &service_entry::owa_path_alias},
                {"owa_path_alias_procedure", &service_entry::owa_path_alias_procedure},
                {"owa_exposed_schemas", &service_entry::owa_exposed_schemas},
                {"owa_statement_timeout", &service_entry::owa_statement_timeout}}};
    for (const auto& [name, member] : fields) {
        if (equal_ignoring_case(key, name)) {
            return &(e.*member);
        }
    }
    return nullptr;
}

// A key line (first character 'o') of owa.cfg. A block line without a name
// opens no block; the key lines after it are dropped until the next block,
// so that they cannot change the block before it.
void owa_cfg_line(gateway_config& config, std::string_view line, bool& in_block) {
    const auto value = value_after_equals(line);
    if (starts_with_ignoring_case(line, "owa_service")) {
        in_block = value && !value->empty();
        if (in_block) {
            service_entry& e = config.services.emplace_back();
            e.owa_service = std::string(value->substr(0, field_max));
        }
        return;
    }
    if (!in_block || !value || value->empty()) {
        return;
    }
    std::optional<std::string>* field =
        service_field(config.services.back(), line.substr(0, line.find('=')));
    if (field == nullptr) {
        return;
    }
    *field = std::string(*value);
    if (field == &config.services.back().owa_password) {
        decrStr(**field);
    }
}

enum class server_section { other, server, mime_types, dir_maps };

server_section section_of(std::string_view line) {
    std::string_view name = line.substr(1, line.find(']') - 1);
    name = name.substr(0, section_max);
    const auto is = [name](const char* s) { return equal_ignoring_case(name, s); };
    if (is("SERVER")) {
        return server_section::server;
    }
    if (is("MimeTypes")) {
        return server_section::mime_types;
    }
    if (is("DirMaps")) {
        return server_section::dir_maps;
    }
    return server_section::other;
}

void server_key(gateway_config& config, std::string_view line) {
    if (!starts_with_ignoring_case(line, "DefaultMimeType")) {
        return;
    }
    const auto value = value_after_equals(line);
    // The key is the text before '=': a line without '=' sets nothing.
    if (!value || line.find('=') < 15) {
        return;
    }
    const std::string_view type = first_word(*value);
    if (!type.empty()) {
        config.default_mime_type = std::string(type);
    }
}

void mime_row_line(gateway_config& config, std::string_view line) {
    const std::string_view type = first_word(line);
    const std::string_view rest = skip_blanks(line.substr(type.size()));
    config.mime_table.push_back(
        mime_row{std::string(type), rest.empty() ? "na" : std::string(rest)});
}

// "physical unused virtual"; rows with fewer words or over-long paths are
// dropped.
void dir_map_line(request_ctx& ctx, gateway_config& config, std::string_view line) {
    const std::string_view physical = first_word(line);
    line = skip_blanks(line).substr(physical.size());
    const std::string_view unused = first_word(line);
    line = skip_blanks(line).substr(unused.size());
    const std::string_view virtual_path = first_word(line);
    if (virtual_path.empty()) {
        KESTREL_TRACE(ctx, "DirMaps row without three words ignored");
        return;
    }
    dir_map row{std::string(physical), std::string(virtual_path)};
    if (!row.physical.ends_with(config.dir_separator)) {
        row.physical += config.dir_separator;
    }
    if (!row.virtual_path.ends_with('/')) {
        row.virtual_path += '/';
    }
    if (row.physical.size() > path_max || row.virtual_path.size() > path_max) {
        KESTREL_TRACE(ctx, "DirMaps row with a path over %zu characters ignored", path_max);
        return;
    }
    config.dir_maps.push_back(std::move(row));
}

const char* owa_config_filename(request_ctx& ctx) {
    const char* path = WRBGetEnvironmentVariable(ctx.wrb_handle, "OWS_APPFILE");
    if (path == nullptr) {
        xdie(ctx,
             "You must set owa.cfg = /path/owa.cfg in the [DBAUTH] section of your server "
             ".app file");
    }
    return path;
}

const char* owa_server_filename(request_ctx& ctx) {
    const char* path = WRBGetConfigVal(ctx.wrb_handle, "server.cfg");
    if (path == nullptr) {
        xdie(ctx,
             "You must set server.cfg = /path/svXXXX.cfg in the [DBAUTH] section of your "
             "server .app file");
    }
    return path;
}

}  // namespace

char* remove_nl(char* line) {
    std::size_t len = 0;
    for (; line[len] != '\0'; ++len) {
        if (line[len] == '\n' || line[len] == '\r' || line[len] == '\t') {
            line[len] = ' ';
        }
    }
    while (len > 1 && line[len - 1] == ' ') {
        line[--len] = '\0';
    }
    return line;
}

void ReadConfigFiles(request_ctx& ctx, gateway_config& config) {
    read_owa_cfg(ctx, config);
    if (WRBGetConfigVal(ctx.wrb_handle, "server.cfg") != nullptr) {
        read_server_cfg(ctx, config);
        return;
    }
    config.default_mime_type = "application/octet-stream";
}

void read_owa_cfg(request_ctx& ctx, gateway_config& config) {
    const char* path = owa_config_filename(ctx);
    const file_handle f(std::fopen(path, "r"));
    if (!f) {
        xdie(ctx, "Unable to open owa.cfg '%s'\n", path);
    }
    std::string line;
    bool in_block = false;
    while (read_config_line(f.get(), line)) {
        if (line[0] == 'o') {
            owa_cfg_line(config, line.data(), in_block);
        }
    }
}

void read_server_cfg(request_ctx& ctx, gateway_config& config) {
    const char* path = owa_server_filename(ctx);
    const file_handle f(std::fopen(path, "r"));
    if (!f) {
        xdie(ctx, "Unable to open svXXXX.cfg '%s'\n", path);
    }
    std::string buffer;
    auto section = server_section::other;
    bool seen_section = false;
    while (read_config_line(f.get(), buffer)) {
        const std::string_view line = skip_blanks(buffer.data());
        if (line.empty() || line.front() == ';') {
            continue;
        }
        if (line.front() == '[') {
            section = section_of(line);
            seen_section = true;
            continue;
        }
        if (!seen_section) {
            continue;
        }
        switch (section) {
            case server_section::server:
                server_key(config, line);
                break;
            case server_section::mime_types:
                mime_row_line(config, line);
                break;
            case server_section::dir_maps:
                dir_map_line(ctx, config, line);
                break;
            case server_section::other:
                break;
        }
    }
    if (!config.default_mime_type) {
        config.default_mime_type = "application/octet-stream";
    }
}

}  // namespace kestrel
