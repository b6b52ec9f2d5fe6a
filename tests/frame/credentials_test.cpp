// credentials_test.cpp - decoding of HTTP_AUTHORIZATION into user name and
// password: splitting rules, padding, characters outside the alphabet and
// over-long input.
#include <optional>

#include "frame/wrb.hpp"
#include "support/request_fixture.hpp"

namespace kestrel::test {
namespace {

using credentials_test = request_test;

std::string b64(std::string_view text) {
    static constexpr char alphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < text.size(); i += 3) {
        unsigned v = static_cast<unsigned char>(text[i]) << 16;
        if (i + 1 < text.size())
            v |= static_cast<unsigned char>(text[i + 1]) << 8;
        if (i + 2 < text.size())
            v |= static_cast<unsigned char>(text[i + 2]);
        out += alphabet[(v >> 18) & 63];
        out += alphabet[(v >> 12) & 63];
        out += i + 1 < text.size() ? alphabet[(v >> 6) & 63] : '=';
        out += i + 2 < text.size() ? alphabet[v & 63] : '=';
    }
    return out;
}

std::optional<std::string> as_optional(const char* text) {
    return text != nullptr ? std::optional<std::string>(text) : std::nullopt;
}

TEST_F(credentials_test, DecodingTable) {
    struct row {
        std::optional<std::string> header;
        std::optional<std::string> user;
        std::optional<std::string> password;
    };
    const std::optional<std::string> none;
    const std::vector<row> rows = {
        {none, none, none},
        {"Basic " + b64("alice:secret"), "alice", "secret"},
        {"Basic " + b64("alice:pa:ss"), "alice", "pa:ss"},
        {"Basic " + b64(":secret"), "secret", none},
        {"Basic " + b64("::secret"), "secret", none},
        {"Basic " + b64("alice:"), "alice", none},
        {"Basic " + b64("alice"), "alice", none},
        {"Basic " + b64("alice:pw\nrest"), "alice", "pw"},
        {"Basic " + b64("alice:\npw"), "alice", "pw"},
        {"Basic ", none, none},
        {"Basic", none, none},
        {"Digest " + b64("bob:x"), "bob", "x"},  // the scheme is not checked
        // Two padding characters decode like none: "ab:c" is 4 bytes.
        {"Basic YWI6Yw==", "ab", "c"},
        {"Basic YWI6Yw", "ab", "c"},
        // A second blank takes six zero bits and shifts what follows.
        {"Basic  YWI6Yw==", "\x01\x85\x88\xe9\x8c", none},
    };
    for (const row& r : rows) {
        set_env(r.header ? std::vector<std::string>{"HTTP_AUTHORIZATION=" + *r.header}
                         : std::vector<std::string>{});
        set_user_password();
        const std::string label = r.header.value_or("(none)");
        EXPECT_EQ(as_optional(WRBGetUserID(nullptr)), r.user) << label;
        EXPECT_EQ(as_optional(WRBGetPassword(nullptr)), r.password) << label;
    }
}

TEST_F(credentials_test, LongInputIsCutAtBothLimits) {
    // 60 decoded characters: only the first 49 are kept.
    const std::string text = std::string(20, 'u') + ":" + std::string(39, 'p');
    set_env({"HTTP_AUTHORIZATION=Basic " + b64(text)});
    set_user_password();
    EXPECT_STREQ(WRBGetUserID(nullptr), std::string(20, 'u').c_str());
    EXPECT_STREQ(WRBGetPassword(nullptr), std::string(28, 'p').c_str());

    // A header of 200 characters is read up to its 127th.
    const std::string user(150, 'a');
    set_env({"HTTP_AUTHORIZATION=Basic " + b64(user)});
    set_user_password();
    EXPECT_EQ(std::string(WRBGetUserID(nullptr)), std::string(49, 'a'));
}

}  // namespace
}  // namespace kestrel::test
