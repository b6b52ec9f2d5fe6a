// include_tags_test.cpp - the ORACLE tag scanner.
#include "docs/include_tags.hpp"

#include <gtest/gtest.h>

#include <string>

namespace kestrel {
namespace {

TEST(FindOracleTag, FindsTheFirstQualifyingLessThan) {
    const struct {
        std::string text;
        bool closing;
        std::size_t expected;
    } cases[] = {
        {"<oracle>", false, 0},
        {"x<  Oracle >", false, 1},
        {"<ORACLEX>", false, no_tag},
        {"<ORACLE-1>", false, no_tag},
        {"<ORACLE TYPE=PLSQL>", false, 0},
        {"<\n\tORACLE\n", false, 0},
        {"ab<ORACLE", false, 2},
        {"<ORACLE\r\n>", false, no_tag},
        {"<\rORACLE>", false, no_tag},
        {"<ORACL", false, no_tag},
        {"", false, no_tag},
        {"<b><p><oracle>", false, 6},
        {"</ORACLE>", false, no_tag},
        {"</ORACLE>", true, 0},
        {"a< /oracle>", true, 1},
        {"</ ORACLE>", true, no_tag},
        {"<ORACLE>", true, no_tag},
        {"</ORACLEX>", true, no_tag},
        {"</oracle", true, 0},
        {"</ORACLE\r>", true, no_tag},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(findOracleTag(c.text, c.closing), c.expected) << c.text;
    }
    // The scan stops at the end of the view.
    const std::string_view text = "<ORACLE>";
    EXPECT_EQ(findOracleTag(text.substr(0, 4), false), no_tag);
    EXPECT_EQ(findOracleTag(text.substr(0, 7), false), 0u);
}

}  // namespace
}  // namespace kestrel
