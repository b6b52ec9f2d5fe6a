// text_encoding_test.cpp - which form values the database encoding accepts,
// and the charset names pages announce.
#include "frame/text_encoding.hpp"

#include <gtest/gtest.h>

#include <string>

namespace kestrel {
namespace {

TEST(TextEncoding, Utf8IsCheckedSingleByteSetsTakeAnyByteButZero) {
    const struct {
        const char* encoding;
        std::string text;
        bool valid;
    } cases[] = {
        {"UTF8", "Zo\xc3\xab O'Brien", true},
        {"UTF8", "", true},
        {"UTF8", "\xf0\x9f\x98\x80 \xe2\x82\xac \xf4\x8f\xbf\xbf", true},
        {"UTF8", "Zo\xeb O'Brien", false},        // the same name in windows-1252
        {"UTF8", "\xc3", false},                  // cut short
        {"UTF8", "\xc0\xaf", false},              // overlong '/'
        {"UTF8", "\xe0\x80\xaf", false},          // overlong, three bytes
        {"UTF8", "\xed\xa0\x80", false},          // a surrogate
        {"UTF8", "\xf4\x90\x80\x80", false},      // past U+10FFFF
        {"UTF8", "\xe2\x82", false},              // cut inside a sequence
        {"UTF8", "\x80", false},                  // a lone continuation byte
        {"UTF8", std::string("a\0b", 3), false},  // the database takes no zero byte
        {"LATIN1", "Zo\xeb O'Brien", true},
        {"WIN1252", "\x81\x8d\xff", true},
        {"LATIN1", std::string("a\0b", 3), false},
        {"SQL_ASCII", "\xff\xfe", true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(is_valid_text(c.encoding, c.text), c.valid) << c.encoding << " " << c.text;
    }
}

TEST(TextEncoding, HttpNamesOfServerEncodings) {
    const std::pair<const char*, const char*> cases[] = {
        {"UTF8", "utf-8"},           {"LATIN1", "iso-8859-1"},
        {"LATIN9", "iso-8859-15"},   {"WIN1252", "windows-1252"},
        {"WIN1251", "windows-1251"}, {"KOI8R", "koi8-r"},
        {"SQL_ASCII", ""},           {"", ""},
    };
    for (const auto& [server, http] : cases) {
        EXPECT_EQ(http_charset(server), http) << server;
    }
}

}  // namespace
}  // namespace kestrel
