// form_fuzz.cpp - the query string and the posted form: splitting at '&' and
// '=', URL decoding, image-button names, distinct names and the getters the
// call block uses, and generic mode. Also the tokenizer over the same text.
//
// Input: one byte of switches, then the form text.
//   bit 0: POST (body) rather than GET (QUERY_STRING)
//   bit 1: CONTENT_LENGTH claims more bytes than the body holds (refused)
//   bit 2: the service runs in generic-argument mode
#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "arglist_checks.hpp"
#include "args/arglist.hpp"
#include "frame/form_text.hpp"
#include "fuzz_support.hpp"

namespace {

using kestrel::fuzz::check;

void check_tokens(kestrel::request_ctx& ctx, std::string text) {
    const char* delimiters = "&=";
    for (char* token = kestrel::mystrtok(ctx, text.data(), delimiters); token != nullptr;
         token = kestrel::mystrtok(ctx, nullptr, delimiters)) {
        check(*token != '\0', "no empty token");
        check(std::strpbrk(token, delimiters) == nullptr, "no delimiter inside a token");
    }
}

// The fields the text holds as the gateway cuts it: non-empty runs between
// '&', up to the first NUL (where an environment value or the text ends).
std::size_t field_count(std::string_view text) {
    text = text.substr(0, text.find('\0'));
    std::size_t count = 0;
    std::size_t at = 0;
    while (at <= text.size()) {
        const std::size_t amp = std::min(text.find('&', at), text.size());
        count += amp > at ? 1 : 0;
        at = amp + 1;
    }
    return count;
}

constexpr std::size_t max_fields = 50;

void check_decode(std::string text) {
    const std::size_t before = std::strlen(text.c_str());
    const std::size_t after = kestrel::url_decode(text.data());
    check(after <= before, "decoding never lengthens a text");
    check(text[after] == '\0', "decoded text terminated at its length");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::uint8_t switches = data[0];
    const std::string text(kestrel::fuzz::as_text(data + 1, size - 1));
    const bool post = (switches & 1) != 0;
    const std::size_t claimed = text.size() + ((switches & 2) != 0 ? 17 : 0);

    std::vector<std::string> env{"SCRIPT_NAME=/demo", "PATH_INFO=/owa/p"};
    if (post) {
        env.push_back("REQUEST_METHOD=POST");
        env.push_back("CONTENT_TYPE=application/x-www-form-urlencoded");
        env.push_back("CONTENT_LENGTH=" + std::to_string(claimed));
    } else {
        env.push_back("REQUEST_METHOD=GET");
        env.push_back("QUERY_STRING=" + text);
    }
    kestrel::fuzz::fuzz_request request(env, post ? text : std::string());
    kestrel::request_ctx& ctx = request.ctx;
    ctx.service_name = "demo";
    if ((switches & 4) != 0) {
        request.set_config("demo_argv_only", "1");
    }
    request.set_config("max_form_fields", std::to_string(max_fields));
    const bool built = request.run([&] { kestrel::build_arglist(ctx); });
    const bool refused = (post && claimed > text.size()) || field_count(text) > max_fields;
    check(built != refused, "only a short body or too many fields end the request");
    check(ctx.args.size() <= max_fields, "never more fields than the limit");
    kestrel::fuzz::check_arglist(ctx);

    check_tokens(ctx, text);
    check_decode(text);
    return 0;
}
