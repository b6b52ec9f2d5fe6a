// multipart_fuzz.cpp - multipart/form-data: the boundary of the content type,
// the cut at every boundary, the part headers (tokens, quoted strings,
// filename*) and the storing of file parts (into the recording database
// client); a body refused for its form stores nothing.
//
// Input: one byte of switches, the content type up to the first line feed,
// then the body.
//   bit 0: the body arrives in reads of 7 bytes (read_chunk_size 7)
//   bit 1: CONTENT_LENGTH claims more bytes than the body holds
//   bit 2: the type comes as HTTP_CONTENT_TYPE
#include <string>

#include "arglist_checks.hpp"
#include "args/arglist.hpp"
#include "fuzz_support.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using kestrel::fuzz::check;
    if (size == 0) {
        return 0;
    }
    const std::uint8_t switches = data[0];
    const auto [type, body] =
        kestrel::fuzz::split_at(kestrel::fuzz::as_text(data + 1, size - 1), '\n');
    const std::size_t claimed = body.size() + ((switches & 2) != 0 ? 17 : 0);
    const std::string type_name = (switches & 4) != 0 ? "HTTP_CONTENT_TYPE=" : "CONTENT_TYPE=";

    kestrel::fuzz::fuzz_request request(
        {"SCRIPT_NAME=/demo", "PATH_INFO=/owa/upload", "REQUEST_METHOD=POST",
         type_name + std::string(type), "CONTENT_LENGTH=" + std::to_string(claimed)},
        std::string(body), (switches & 1) != 0 ? 7 : 4096);
    kestrel::request_ctx& ctx = request.ctx;
    kestrel::service_entry demo;
    demo.owa_service = "demo";
    demo.owa_user = "demo";
    request.config->services.push_back(demo);
    ctx.service_index = 0;
    ctx.service_name = "demo";
    if ((switches & 1) != 0) {
        request.set_config("read_chunk_size", "7");
    }
    request.db.on("IMG_SEQ").outcomes = {{.row = kestrel::test::row_values{"42"}}};

    if (!request.run([&] { kestrel::build_arglist(ctx); })) {
        // Every part is read before the first file is stored.
        const bool refused_unread =
            request.io.out.find("Multipart body ends before its closing boundary") !=
                std::string::npos ||
            request.io.out.find("Not supported Content-Disposition") != std::string::npos;
        check(!refused_unread || request.db.statements.empty(), "a refused body stores nothing");
        return 0;
    }
    kestrel::fuzz::check_arglist(ctx);
    return 0;
}
