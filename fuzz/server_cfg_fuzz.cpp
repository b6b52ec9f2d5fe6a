// server_cfg_fuzz.cpp - the web server's svXXXX.cfg: the input is the file.
// The MIME table and directory maps it yields are then used the way requests
// use them (type of a URL, path translation).
#include <string>

#include "config/config_files.hpp"
#include "config/mime.hpp"
#include "config/service_resolution.hpp"
#include "frame/wrb_state.hpp"
#include "fuzz_support.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using kestrel::fuzz::check;
    const std::string path =
        kestrel::fuzz::write_work_file("sv.cfg", kestrel::fuzz::as_text(data, size));
    kestrel::fuzz::fuzz_request request({"SCRIPT_NAME=/demo", "PATH_INFO=/owa/docs/a.html"});
    request.set_config("server.cfg", path);
    kestrel::request_ctx& ctx = request.ctx;

    check(request.run([&] { kestrel::read_server_cfg(ctx, *request.config); }),
          "a readable svXXXX.cfg is accepted");
    check(ctx.config.default_mime_type && !ctx.config.default_mime_type->empty() &&
              ctx.config.default_mime_type->find_first_of(" \t") == std::string::npos,
          "a default MIME type, one word");
    for (const kestrel::mime_row& row : ctx.config.mime_table) {
        check(!row.type.empty() && !row.extensions.empty(), "MIME rows have type and extensions");
    }
    for (const kestrel::dir_map& map : ctx.config.dir_maps) {
        check(map.physical.ends_with('/') && map.virtual_path.ends_with('/'),
              "mapped directories end with a separator");
        check(map.physical.size() <= 255 && map.virtual_path.size() <= 255,
              "mapped directories fit their fields");
    }

    for (const kestrel::dir_map& map : ctx.config.dir_maps) {
        ctx.procedure_name = map.virtual_path.substr(1) + "page.html";
        const std::string translated = kestrel::path_translated(ctx);
        check(translated.ends_with("page.html"), "a translated path keeps the file name");
    }
    check(kestrel::MyGetReqMimeType(ctx) != nullptr, "every URL has a type");
    return 0;
}
