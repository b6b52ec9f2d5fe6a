// placeholders_test.cpp - the placeholder scan and literal splicing of
// blocks sent as written.
#include "db_interface/postgres/placeholders.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrel::db::pg {
namespace {

std::vector<std::string> names(std::string_view text) {
    std::vector<std::string> found;
    for (const auto& p : find_placeholders(text)) {
        found.emplace_back(p.name);
    }
    return found;
}

TEST(PgPlaceholders, ScanFindsPlaceholdersOnlyInCode) {
    const std::string long_name(35, 'n');
    const struct {
        std::string text;
        std::vector<std::string> expected;
    } cases[] = {
        {"begin htp.print(:greeting); end;", {"greeting"}},
        {"begin htp.print('a:b'); end;", {}},
        {"begin htp.print('a:b' || :c); end;", {"c"}},
        {"begin x := 1; end;", {}},
        {"select 1::text", {}},
        {":" + long_name, {std::string(31, 'n')}},
        {":" + long_name + ":b", {std::string(31, 'n')}},  // the run ends the name
        {":a:b", {"a"}},                                   // the character after a name is skipped
        {"begin htp.print('it''s :a'); end;", {}},
        // A literal spliced into these could end them: they hold no placeholder.
        {"-- :c in a comment\n:d", {"d"}},
        {"/* :c /* nested :e */ :f */ :d", {"d"}},
        {"begin perform $q$ :c $q$ || :d || $$:e$$; end;", {"d"}},
        {"select \"col:c\", :d", {"d"}},
        {"select E'\\' :c', :d, e'\\\\', :f", {"d", "f"}},
        {"select $1, a$b, :d", {"d"}},
        {"select 'open :c", {}},
        // A colon right before a quote: the quote still opens a literal.
        {":a':b' || :d", {"a", "d"}},
        {"select x[1:'2'] || :':c' || :d", {"d"}},
        {":a\"x:c\" :b--:e\n:f", {"a", "b", "f"}},
        // After a name the server sees a literal: "$$" opens a dollar quote.
        {":e$$ :c $$ :d", {"e", "d"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(names(c.text), c.expected) << c.text;
    }
}

TEST(PgPlaceholders, OnlyBoundPlaceholdersAreReplaced) {
    const std::string out = splice_literals(
        "begin f(:a, ':a', :b, :a); end;", [](std::string_view name) -> std::optional<std::string> {
            if (name == "a") {
                return "'it''s'";
            }
            return std::nullopt;
        });
    EXPECT_EQ(out, "begin f( 'it''s' , ':a', :b,  'it''s' ); end;");
}

// A value with a line end spliced into a "--" comment would run as code.
TEST(PgPlaceholders, ValuesNeverLandInsideComments) {
    const std::string out =
        splice_literals("begin\n  -- greets :who\n  perform htp.prn(:who);\nend;",
                        [](std::string_view) -> std::optional<std::string> {
                            return "'x\nperform drop_everything(); --'";
                        });
    EXPECT_EQ(out,
              "begin\n  -- greets :who\n  perform htp.prn( 'x\nperform drop_everything(); "
              "--' );\nend;");
}

// Spliced next to an "e" or a quote, a literal would become an E'' string or
// join the next one, and the next value would end it and run as code.
TEST(PgPlaceholders, SplicedLiteralsStayTokensOfTheirOwn) {
    const std::string out = splice_literals(
        "e:b'\\'\\%:r", [](std::string_view) { return std::optional<std::string>("'v'"); });
    EXPECT_EQ(out, "e 'v' '\\'\\% 'v' ");
    // The rest of a name over 31 characters goes with it: an "e" left
    // behind would open an E'' string before the next literal.
    const std::string long_name = std::string(31, 'n') + "e";
    EXPECT_EQ(splice_literals(":" + long_name + "'\\' :r",
                              [](std::string_view) { return std::optional<std::string>("'v'"); }),
              " 'v' '\\'  'v' ");
}

TEST(PgPlaceholders, DoBlockTagNeverOccursInTheBody) {
    EXPECT_EQ(do_block("begin null; end;"), "DO $kestrel$\nbegin null; end;\n$kestrel$");
    const std::string body = "begin perform '$kestrel$' || '$kestrel1$'; end;";
    EXPECT_EQ(do_block(body), "DO $kestrel2$\n" + body + "\n$kestrel2$");
}

}  // namespace
}  // namespace kestrel::db::pg
