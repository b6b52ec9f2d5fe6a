// credentials.cpp - decoding of the browser's Basic credentials, once per
// request before the first callback. The decoded "user:password" text is
// limited to 49 characters and the header read to 127; longer input is cut.
#include <cstring>
#include <string_view>

#include "frame/wrb.hpp"
#include "frame/wrb_state.hpp"

namespace kestrel {
namespace {

int b64_value(char c) {
    if (c >= 'A' && c <= 'Z') {
        return c - 'A';
    }
    if (c >= 'a' && c <= 'z') {
        return c - 'a' + 26;
    }
    if (c >= '0' && c <= '9') {
        return c - '0' + 52;
    }
    if (c == '+') {
        return 62;
    }
    if (c == '/') {
        return 63;
    }
    return -1;
}

// Decodes groups of four characters into three bytes each; a character
// outside the alphabet (padding, a blank) still takes its six bits, as
// zeros. Zero bytes are dropped; output beyond the limit is cut.
void b64tobit(std::string_view text, std::string& out) {
    for (std::size_t at = 0; at < text.size(); at += 4) {
        unsigned bits = 0;
        for (std::size_t i = 0; i < 4; ++i) {
            const int v = at + i < text.size() ? b64_value(text[at + i]) : -1;
            bits |= static_cast<unsigned>(v < 0 ? 0 : v) << (18 - 6 * i);
        }
        for (int shift = 16; shift >= 0; shift -= 8) {
            const char byte = static_cast<char>((bits >> shift) & 0xff);
            if (byte != 0 && out.size() < credentials_max) {
                out.push_back(byte);
            }
        }
    }
}

// strtok(text, ":") then strtok(NULL, "\n"): leading ':' are skipped, the
// first ':' splits, the password ends at a newline.
void split_credentials(wrb_state& s) {
    const std::string& text = s.credentials;
    const std::size_t user_start = text.find_first_not_of(':');
    if (user_start == std::string::npos) {
        return;
    }
    const std::size_t user_end = text.find(':', user_start);
    s.user = text.substr(user_start, user_end - user_start);
    if (user_end == std::string::npos) {
        return;
    }
    const std::size_t pw_start = text.find_first_not_of('\n', user_end + 1);
    if (pw_start == std::string::npos) {
        return;
    }
    s.password = text.substr(pw_start, text.find('\n', pw_start) - pw_start);
}

}  // namespace

void set_user_password() {
    wrb_state& s = wrb();
    s.credentials.clear();
    s.user.reset();
    s.password.reset();
    const char* header = WRBGetEnvironmentVariable(nullptr, "HTTP_AUTHORIZATION");
    if (header == nullptr) {
        return;
    }
    const std::string_view value(header, strnlen(header, authorization_max));
    const std::size_t blank = value.find(' ');
    // No blank: no encoded part, so no credentials.
    if (blank == std::string_view::npos) {
        return;
    }
    b64tobit(value.substr(blank + 1), s.credentials);
    split_credentials(s);
}

const char* WRBGetUserID(void*) {
    const wrb_state& s = wrb();
    return s.user ? s.user->c_str() : nullptr;
}

const char* WRBGetPassword(void*) {
    const wrb_state& s = wrb();
    return s.password ? s.password->c_str() : nullptr;
}

}  // namespace kestrel
