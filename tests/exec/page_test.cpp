// page_test.cpp - the page fetch: batches of 27 lines, each line written
// with exactly its own length.
#include "exec/page.hpp"

#include <gtest/gtest.h>

#include "exec/dispatch.hpp"
#include "exec_fixture.hpp"
#include "frame/diagnostics.hpp"

namespace kestrel {
namespace {

using test::outcome;

class Page : public test::exec_test {
  protected:
    // Scripts the page buffer as batches of at most 27 lines.
    test::statement_script& page_of(const std::vector<std::string>& lines) {
        std::vector<outcome> batches;
        for (std::size_t at = 0;; at += 27) {
            const std::size_t n = std::min<std::size_t>(27, lines.size() - at);
            outcome o;
            o.integers["ndata"] = static_cast<std::int32_t>(n);
            o.arrays["data"] = std::vector(lines.begin() + static_cast<long>(at),
                                           lines.begin() + static_cast<long>(at + n));
            batches.push_back(std::move(o));
            if (n != 27) {
                break;
            }
        }
        test::statement_script& script = db->on("owa.get_page");
        script.outcomes = std::move(batches);
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

struct batch_case {
    std::size_t lines;
    std::size_t executions;
};

class PageBatches : public Page, public ::testing::WithParamInterface<batch_case> {};

TEST_P(PageBatches, FetchesUntilABatchIsShort) {
    const auto lines = numbered(GetParam().lines);
    page_of(lines);
    dump_page(ctx);

    ASSERT_EQ(db->statements.size(), 1u);
    EXPECT_EQ(db->statements[0].text, "begin owa.get_page(:data,:ndata);end;");
    EXPECT_EQ(db->statements[0].executions.size(), GetParam().executions);
    std::string expected;
    for (const auto& l : lines) {
        expected += l;
    }
    EXPECT_EQ(client->written, expected);
    EXPECT_EQ(client->write_sizes.size(), lines.size());
}

INSTANTIATE_TEST_SUITE_P(Table, PageBatches,
                         ::testing::Values(batch_case{0, 1}, batch_case{1, 1}, batch_case{27, 2},
                                           batch_case{28, 2}, batch_case{54, 3},
                                           batch_case{60, 3}));

TEST_F(Page, BindsSlotsOf256AndAsks27LinesEachTime) {
    page_of(numbered(30));
    dump_page(ctx);
    const test::statement_record& fetch = db->statements[0];
    ASSERT_EQ(fetch.binds.size(), 2u);
    EXPECT_EQ(fetch.binds[0].name, ":ndata");
    EXPECT_EQ(fetch.binds[0].type, db::data_type::integer);
    EXPECT_EQ(fetch.binds[1].name, ":data");
    EXPECT_TRUE(fetch.binds[1].is_array);
    EXPECT_EQ(fetch.binds[1].buffer_size, 256u);
    EXPECT_EQ(fetch.binds[1].max_elements, 27u);
    for (const auto& exec : fetch.executions) {
        EXPECT_EQ(exec.find("ndata")->integer, 27);
    }
}

TEST_F(Page, WritesEachLineWithItsOwnLength) {
    // A full slot, an empty line, a line without a line end, binary zero free
    // text: each is written as long as its length entry says.
    const std::vector<std::string> lines = {std::string(255, 'x'), "", "tail", "\n"};
    page_of(lines);
    dump_page(ctx);
    EXPECT_EQ(client->write_sizes, (std::vector<std::size_t>{255, 0, 4, 1}));
    EXPECT_EQ(client->written, std::string(255, 'x') + "tail\n");
}

TEST_F(Page, FetchFailureDiesAfterWhatWasWritten) {
    page_of(numbered(27)).outcomes.back() = {.rc = 1};  // the second batch fails
    EXPECT_THROW(dump_page(ctx), fatal_error);
    EXPECT_EQ(client->written.rfind("line 0\n", 0), 0u);
}

TEST_F(Page, PostActionRunsAndItsPageFollows) {
    write_appfile({"post_demo = demo.after"});
    page_of({"after\n"});
    do_post_action(ctx);
    ASSERT_EQ(db->statements.size(), 2u);
    EXPECT_EQ(db->statements[0].text, "begin demo.after; end;");
    EXPECT_EQ(db->statements[0].executions.size(), 1u);
    EXPECT_EQ(client->written, "after\n");
}

TEST_F(Page, NoPostActionDoesNothing) {
    do_post_action(ctx);
    EXPECT_TRUE(db->calls.empty());
}

TEST_F(Page, FailingPostActionDies) {
    write_appfile({"post_demo = demo.broken"});
    db->on("demo.broken").outcomes = {{.rc = 20001}};
    EXPECT_THROW(do_post_action(ctx), fatal_error);
}

TEST_F(Page, ProcedureRoadDescribesCallsAndFetches) {
    db->on("dbms_describe").outcomes = {{.texts = {{"CountOfTables", "0"}}}};
    page_of({"Content-type: text/html\n", "\n", "hi\n"});
    ctx.procedure_name = "hello";
    do_block(ctx);
    const auto texts = db->statement_texts();
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[1], "begin hello; end;");
    EXPECT_EQ(texts[2], "begin owa.get_page(:data,:ndata);end;");
    EXPECT_EQ(client->written, "Content-type: text/html\n\nhi\n");
}

}  // namespace
}  // namespace kestrel
