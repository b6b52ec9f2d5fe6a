// form_text_test.cpp - URL decoding (and so its hex digits) and the tokenizer.
#include "frame/form_text.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace kestrel {
namespace {

TEST(UrlDecode, DecodesInPlaceAndNeverReadsPastTheText) {
    struct Case {
        std::string in;
        std::string out;
    };
    const std::vector<Case> cases = {
        {"%41", "A"},
        {"%2b", "+"},
        {"a+b", "a b"},
        {"%2B%2b+", "++ "},
        // Digits that are not hex still count: 16 * ('%' - 55) + 4 and
        // 16 * 35 + 35, modulo 256.
        {"%%41", std::string("\xe4") + "1"},
        {"%zz", "S"},
        {"x%00y", std::string("x\0y", 3)},
        {"%252B", "%2B"},  // a decoded '%' is not decoded again
        {"", ""},
        {"%", "%"},
        {"ab%", "ab%"},
        {"ab%4", "ab%4"},
        {"plain", "plain"},
    };
    for (const auto& c : cases) {
        // Bytes behind the terminator must not be consumed.
        std::string buffer = c.in + '\0' + "41";
        const std::size_t length = url_decode(buffer.data());
        EXPECT_EQ(std::string(buffer.data(), length), c.out) << c.in;
        EXPECT_EQ(buffer[length], '\0') << c.in;
        EXPECT_EQ(buffer.substr(buffer.size() - 2), "41") << c.in;
    }
}

TEST(Mystrtok, ReturnsTokensAndKeepsItsPositionInTheContext) {
    struct Case {
        std::string text;
        std::vector<std::string> delimiters;  // one per call
        std::vector<const char*> tokens;      // null: no token
    };
    const std::vector<Case> cases = {
        {"a==b", {"=", "=", "="}, {"a", "b", nullptr}},
        {"a=b c", {"=", ""}, {"a", "b c"}},
        {",,a,;b", {",;", ",;", ",;"}, {"a", "b", nullptr}},
        {"a,;b", {",;", ","}, {"a", ";b"}},  // only the ending character's run is skipped
        {"", {"="}, {nullptr}},
        {"===", {"=", "="}, {nullptr, nullptr}},
        {"abc", {"", ""}, {"abc", nullptr}},
    };
    for (const auto& c : cases) {
        request_ctx ctx(std::make_shared<gateway_config>());
        std::string text = c.text;
        for (std::size_t i = 0; i < c.tokens.size(); ++i) {
            const char* token =
                mystrtok(ctx, i == 0 ? text.data() : nullptr, c.delimiters[i].c_str());
            if (c.tokens[i] == nullptr) {
                EXPECT_EQ(token, nullptr) << c.text << " call " << i;
            } else {
                ASSERT_NE(token, nullptr) << c.text << " call " << i;
                EXPECT_STREQ(token, c.tokens[i]) << c.text << " call " << i;
            }
        }
    }
}

}  // namespace
}  // namespace kestrel
