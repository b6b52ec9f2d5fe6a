// include_tags_test.cpp - the ORACLE tag scanner.
#include "docs/include_tags.hpp"

#include <gtest/gtest.h>

#include <string>

namespace kestrel {
namespace {

struct tag_case {
    std::string text;
    bool closing;
    std::size_t expected;
};

class FindOracleTag : public ::testing::TestWithParam<tag_case> {};

TEST_P(FindOracleTag, FindsTheFirstQualifyingLessThan) {
    const tag_case& c = GetParam();
    EXPECT_EQ(findOracleTag(c.text, c.closing), c.expected) << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Grammar, FindOracleTag,
    ::testing::Values(tag_case{"<oracle>", false, 0}, tag_case{"x<  Oracle >", false, 1},
                      tag_case{"<ORACLEX>", false, no_tag}, tag_case{"<ORACLE-1>", false, no_tag},
                      tag_case{"<ORACLE TYPE=PLSQL>", false, 0},
                      tag_case{"<\n\tORACLE\n", false, 0}, tag_case{"ab<ORACLE", false, 2},
                      tag_case{"<ORACLE\r\n>", false, no_tag},
                      tag_case{"<\rORACLE>", false, no_tag}, tag_case{"<ORACL", false, no_tag},
                      tag_case{"", false, no_tag}, tag_case{"<b><p><oracle>", false, 6},
                      tag_case{"</ORACLE>", false, no_tag}, tag_case{"</ORACLE>", true, 0},
                      tag_case{"a< /oracle>", true, 1}, tag_case{"</ ORACLE>", true, no_tag},
                      tag_case{"<ORACLE>", true, no_tag}, tag_case{"</ORACLEX>", true, no_tag},
                      tag_case{"</oracle", true, 0}, tag_case{"</ORACLE\r>", true, no_tag}));

TEST(FindOracleTagText, StopsAtTheViewEnd) {
    const std::string text = "<ORACLE>";
    EXPECT_EQ(findOracleTag(std::string_view(text).substr(0, 4), false), no_tag);
    EXPECT_EQ(findOracleTag(std::string_view(text).substr(0, 7), false), 0u);
}

}  // namespace
}  // namespace kestrel
