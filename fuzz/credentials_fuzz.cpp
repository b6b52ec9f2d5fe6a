// credentials_fuzz.cpp - the Basic credentials decoder: HTTP_AUTHORIZATION
// is the input. The decoded text is compared with a plain rendering of the
// decoding rule (groups of four alphabet positions, six bits each, zero bytes
// dropped), and the user/password split with its rule.
#include <cstring>
#include <string>

#include "frame/wrb.hpp"
#include "frame/wrb_state.hpp"
#include "fuzz_support.hpp"

namespace {

int position_in_alphabet(char c) {
    static const std::string alphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    const std::size_t at = alphabet.find(c);
    return at == std::string::npos ? -1 : static_cast<int>(at);
}

// The decoded "user:password" text for a header value, by the rule.
std::string expected_credentials(std::string header) {
    header = header.substr(0, kestrel::authorization_max);
    const std::size_t blank = header.find(' ');
    if (blank == std::string::npos) {
        return {};
    }
    const std::string encoded = header.substr(blank + 1);
    std::string decoded;
    for (std::size_t group = 0; group < encoded.size(); group += 4) {
        std::string bits(24, '0');
        for (std::size_t i = 0; i < 4 && group + i < encoded.size(); ++i) {
            const int v = position_in_alphabet(encoded[group + i]);
            for (int b = 0; b < 6 && v >= 0; ++b) {
                bits[i * 6 + b] = ((v >> (5 - b)) & 1) != 0 ? '1' : '0';
            }
        }
        for (std::size_t byte = 0; byte < 3; ++byte) {
            const auto c = static_cast<char>(std::stoi(bits.substr(byte * 8, 8), nullptr, 2));
            if (c != '\0') {
                decoded += c;
            }
        }
    }
    return decoded.substr(0, kestrel::credentials_max);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using kestrel::fuzz::check;
    std::string header(kestrel::fuzz::as_text(data, size));
    header = header.substr(0, header.find('\0'));  // an environment value ends there
    kestrel::fuzz::fuzz_request request({"HTTP_AUTHORIZATION=" + header});
    kestrel::set_user_password();

    const kestrel::wrb_state& s = kestrel::wrb();
    check(s.credentials == expected_credentials(header), "credentials decoded by the rule");
    // The split is strtok(text, ":") then strtok(NULL, "\n").
    std::string copy = s.credentials;
    const char* want_user = std::strtok(copy.data(), ":");
    const char* want_password = want_user != nullptr ? std::strtok(nullptr, "\n") : nullptr;
    const char* user = kestrel::WRBGetUserID(nullptr);
    const char* password = kestrel::WRBGetPassword(nullptr);
    check((user == nullptr) == (want_user == nullptr), "a user whenever a name was sent");
    check(user == nullptr || std::strcmp(user, want_user) == 0, "the user as strtok cuts it");
    check((password == nullptr) == (want_password == nullptr), "a password whenever one follows");
    check(password == nullptr || std::strcmp(password, want_password) == 0,
          "the password as strtok cuts it");
    return 0;
}
