// page_test.cpp - the page fetch and post-actions where they fail or meet
// a download.
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

// Whole pages in batches of 27 lines, on a real server: tests/pg/exec_pg_test.cpp.
TEST_F(Page, FetchFailureDiesAfterWhatWasWritten) {
    page_of(numbered(27)).outcomes.back() = {.rc = 1};  // the second batch fails
    EXPECT_THROW(dump_page(ctx), fatal_error);
    EXPECT_TRUE(client->written.starts_with("line 0\n"));
}

TEST_F(Page, FailingPostActionEndsTheRequest) {
    set_config("post_demo", "demo.after");
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
