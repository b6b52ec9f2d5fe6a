// owa_cfg_fuzz.cpp - the service blocks of owa.cfg: the input is the file.
// Encrypted passwords ("{enc}" values) are decrypted with a fixed key, so
// that the base64 and secretbox paths see hostile text too.
#include <string>

#include "config/config_files.hpp"
#include "frame/wrb_state.hpp"
#include "fuzz_support.hpp"

namespace {

// The key of the seed corpus's encrypted passwords.
constexpr const char* key_hex = "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f";

bool is_one_clean_line(const std::optional<std::string>& field) {
    return !field || field->find_first_of("\n\r\t") == std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using kestrel::fuzz::check;
    static const std::string key_file = kestrel::fuzz::write_work_file("owa.key", key_hex);
    const std::string path =
        kestrel::fuzz::write_work_file("owa.cfg", kestrel::fuzz::as_text(data, size));
    kestrel::fuzz::fuzz_request request({"OWS_APPFILE=" + path});
    request.set_config("password_key_file", key_file);
    kestrel::request_ctx& ctx = request.ctx;

    check(request.run([&] { kestrel::read_owa_cfg(ctx, *request.config); }),
          "a readable owa.cfg is accepted");
    for (const kestrel::service_entry& e : ctx.config.services) {
        check(e.owa_service && !e.owa_service->empty(), "every block has a name");
        check(e.owa_service->size() <= kestrel::field_max, "a name fits its field");
        for (const auto* field :
             {&e.owa_service, &e.oracle_home, &e.oracle_sid, &e.owa_connect_string, &e.owa_user,
              &e.owa_valid_ports, &e.owa_log_dir, &e.owa_error_page}) {
            check(is_one_clean_line(*field), "values hold no line end or tab");
        }
    }
    return 0;
}
