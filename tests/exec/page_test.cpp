// page_test.cpp - the page fetch: batches of 27 lines, each line written
// with exactly its own length; post-actions.
#include "exec/page.hpp"

#include "docs/procedure_download.hpp"
#include "frame/diagnostics.hpp"
#include "frame/wrb.hpp"
#include "frame/wrb_state.hpp"
#include "host/dispatch.hpp"
#include "support/request_fixture.hpp"

namespace kestrel::test {
namespace {

class Page : public request_test {
  protected:
    // Scripts the page buffer as batches of at most 27 lines.
    statement_script& page_of(const std::vector<std::string>& lines) {
        std::vector<outcome> batches;
        for (std::size_t at = 0;; at += 27) {
            const std::size_t n = std::min<std::size_t>(27, lines.size() - at);
            const auto first = lines.begin() + static_cast<std::ptrdiff_t>(at);
            batches.push_back(
                {.integers = {{"ndata", static_cast<std::int32_t>(n)}},
                 .arrays = {{"data", std::vector(first, first + static_cast<std::ptrdiff_t>(n))}}});
            if (n != 27) {
                break;
            }
        }
        statement_script& script = db->on("owa.get_page");
        script.outcomes = std::move(batches);
        script.used = 0;
        return script;
    }

    static std::vector<std::string> numbered(std::size_t n) {
        std::vector<std::string> lines;
        for (std::size_t i = 0; i < n; ++i) {
            lines.push_back("line " + std::to_string(i) + "\n");
        }
        return lines;
    }
};

TEST_F(Page, FetchesBatchesOf27UntilABatchIsShort) {
    const std::pair<std::size_t, std::size_t> cases[] = {{0, 1},  {1, 1},  {27, 2},
                                                         {28, 2}, {54, 3}, {60, 3}};
    for (const auto& [lines, executions] : cases) {
        restart();
        const auto page = numbered(lines);
        page_of(page);
        dump_page(ctx);
        ASSERT_EQ(db->statements.size(), 1u);
        EXPECT_EQ(db->statements[0].executions.size(), executions) << lines;
        std::string expected;
        for (const auto& l : page) {
            expected += l;
        }
        EXPECT_EQ(client->written, expected);
        EXPECT_EQ(client->write_sizes.size(), lines);
    }
}

TEST_F(Page, WritesEachLineWithItsOwnLength) {
    // A full slot, an empty line, a line without a line end.
    page_of({std::string(255, 'x'), "", "tail", "\n"});
    dump_page(ctx);
    EXPECT_EQ(client->write_sizes, (std::vector<std::size_t>{255, 0, 4, 1}));
    EXPECT_EQ(client->written, std::string(255, 'x') + "tail\n");
}

TEST_F(Page, FetchFailureDiesAfterWhatWasWritten) {
    page_of(numbered(27)).outcomes.back() = {.rc = 1};  // the second batch fails
    EXPECT_THROW(dump_page(ctx), fatal_error);
    EXPECT_TRUE(client->written.starts_with("line 0\n"));
}

TEST_F(Page, PostActionRunsAndItsPageFollows) {
    do_post_action(ctx);
    EXPECT_TRUE(db->calls.empty()) << "none configured";

    set_config("post_demo", "demo.after");
    page_of({"after\n"});
    do_post_action(ctx);
    ASSERT_EQ(db->statements.size(), 2u);
    EXPECT_EQ(db->statements[0].text, "begin demo.after; end;");
    EXPECT_EQ(db->statements[0].executions.size(), 1u);
    EXPECT_EQ(client->written, "after\n");

    db->on("demo.after").outcomes = {{.rc = 20001}};
    EXPECT_THROW(do_post_action(ctx), fatal_error);
}

// owa.download_* leave one marker line: the procedure road stops there and
// asks what to send; other roads write it like any line.
TEST_F(Page, ADownloadMarkerReplacesTheProcedurePage) {
    const std::vector<std::string> marked = {"X-Kestrel-Download: bytes\n", "ignored\n"};
    page_of(marked);
    EXPECT_TRUE(dump_page_unless_download(ctx));
    EXPECT_EQ(client->written, "");

    page_of(marked);
    dump_page(ctx);
    EXPECT_EQ(client->written, "X-Kestrel-Download: bytes\nignored\n");

    // A marker that no download call left (kind NULL) ends the request.
    restart();
    db->on("owa.get_download").outcomes = {
        {.row = row_values{std::nullopt, std::nullopt, std::string()}}};
    EXPECT_THROW(send_procedure_download(ctx), fatal_error);
    EXPECT_NE(client->written.find("no owa.download call"), std::string::npos);
}

TEST_F(Page, NoPostActionPageAfterAStreamedDocument) {
    set_config("post_demo", "demo.after");
    wrb().answer.hold();
    begin_streaming();
    page_of({"after\n"});
    do_post_action(ctx);
    EXPECT_EQ(db->statements.at(0).text, "begin demo.after; end;");
    EXPECT_EQ(client->written, "");
}

}  // namespace
}  // namespace kestrel::test
