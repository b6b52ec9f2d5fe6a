// resolution_fuzz.cpp - service resolution of SCRIPT_NAME and PATH_INFO
// against a small configuration, then the file road of the request: path
// confinement, translation through the directory maps, type and sending.
// Whatever the URL, a file path must stay inside a mapped directory.
//
// Input: one byte of switches, SCRIPT_NAME up to the first line feed, then
// PATH_INFO.
//   bit 0: no Owa_Default_Service block
#include <algorithm>
#include <array>
#include <filesystem>
#include <string>

#include "config/mime.hpp"
#include "config/service_resolution.hpp"
#include "docs/include.hpp"
#include "docs/request_file.hpp"
#include "fuzz_support.hpp"

namespace {

using kestrel::fuzz::check;

constexpr std::array<std::string_view, 6> request_types{"",         "/owa/",   "/owai/",
                                                        "/owaigz/", "/owaup/", "/webdb/"};

// The mapped directories and a few files in them, made once per process.
const std::string& docs_root() {
    static const std::string& root = []() -> const std::string& {
        const std::string& dir = kestrel::fuzz::work_dir();
        std::filesystem::create_directories(dir + "docs/sub");
        std::filesystem::create_directories(dir + "img");
        kestrel::fuzz::write_work_file("docs/a.txt", "plain text\n");
        kestrel::fuzz::write_work_file("docs/page.html", "<p>page</p>\n");
        kestrel::fuzz::write_work_file("docs/sub/data.csv", "a,b\n1,2\n");
        kestrel::fuzz::write_work_file("img/b.gif", "GIF89a");
        kestrel::fuzz::write_work_file("secret.txt", "outside every mapped directory\n");
        std::filesystem::create_symlink("/dev/null", dir + "sales.err");
        return dir;
    }();
    return root;
}

kestrel::service_entry service(const char* name) {
    kestrel::service_entry e;
    e.owa_service = name;
    e.owa_user = "demo";
    return e;
}

void configure(kestrel::gateway_config& config, bool with_default) {
    const std::string& root = docs_root();
    config.services.push_back(service("Sales"));
    config.services.back().owa_log_dir = root.substr(0, root.size() - 1);
    config.services.push_back(service("demo"));
    if (with_default) {
        config.services.push_back(service("Owa_Default_Service"));
    }
    config.dir_maps = {{root + "docs/", "/docs/"}, {root + "img/", "/docs/img/"}};
    config.mime_table = {{"text/html", "html htm"}, {"image/gif", "gif"}, {"text/csv", "csv"}};
    config.default_mime_type = "text/plain";
    config.dbauth_services = {"sales"};
    config.timed_services = "TOTAL,GET-IMAGE-FILE";
}

bool has_dotdot_segment(const std::string& path) {
    return path == ".." || path.starts_with("../") || path.ends_with("/..") ||
           path.find("/../") != std::string::npos;
}

void check_file_road(kestrel::request_ctx& ctx) {
    const std::optional<std::string> path = kestrel::request_file_path(ctx);
    if (path) {
        check(path->find('\0') == std::string::npos, "no NUL in a file path");
        check(!has_dotdot_segment(*path), "no .. segment in a file path");
        check(std::any_of(ctx.config.dir_maps.begin(), ctx.config.dir_maps.end(),
                          [&](const kestrel::dir_map& m) { return path->starts_with(m.physical); }),
              "a file path lies inside a mapped directory");
    }
    kestrel::put_filedata(ctx, kestrel::MyGetReqMimeType(ctx));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const bool with_default = (data[0] & 1) == 0;
    const auto [script, path_info] =
        kestrel::fuzz::split_at(kestrel::fuzz::as_text(data + 1, size - 1), '\n');
    kestrel::fuzz::fuzz_request request(
        {"SCRIPT_NAME=" + std::string(script), "PATH_INFO=" + std::string(path_info)});
    kestrel::request_ctx& ctx = request.ctx;
    configure(*request.config, with_default);

    if (!request.run([&] { kestrel::set_session_state(ctx); })) {
        check(!with_default, "with a default block every URL is served");
        return 0;
    }
    check(std::find(request_types.begin(), request_types.end(), ctx.service_type) !=
              request_types.end(),
          "the request type is a known prefix or none");
    check(ctx.procedure_name.size() <= kestrel::field_max &&
              ctx.service_name.size() <= kestrel::field_max &&
              ctx.error_log_name.size() <= kestrel::field_max,
          "resolved names fit their fields");
    const kestrel::service_entry* chosen = ctx.service();
    check(chosen != nullptr, "a resolved request has its block");
    std::string expected = *chosen->owa_service;
    kestrel::lower_string(expected);
    check(ctx.service_name == expected, "the service runs under its block's lower-case name");
    check(ctx.use_database_auth == (ctx.service_name == "sales"),
          "database authentication exactly for the listed service");
    check(kestrel::isTimed(ctx, "TOTAL"), "a listed tag is timed");

    request.run([&] { check_file_road(ctx); });
    return 0;
}
