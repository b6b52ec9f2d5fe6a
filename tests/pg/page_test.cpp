// page_test.cpp - the page fetch on the toolkit's page buffer, driven the way
// the gateway drives it: one parse, then batches of 27 slots of 256 bytes.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "db/binds.hpp"
#include "db/errors.hpp"
#include "db/query.hpp"
#include "db/session.hpp"
#include "pg/pg_fixture.hpp"

namespace kestrel {
namespace {

struct fetched_page {
    std::string text;
    std::vector<int> batches;  // lines delivered per execution
    std::size_t longest_slot = 0;
};

class PageTest : public test::pg_fixture {
  protected:
    void SetUp() override {
        pg_fixture::SetUp();
        use_app_service(ctx);
        ASSERT_TRUE(Logon(ctx, nullptr, nullptr)) << oerr_lda(ctx);
    }
    void TearDown() override {
        Logoff(ctx, true);
        pg_fixture::TearDown();
    }

    void write_page(const std::string& body) {
        ASSERT_EQ(execute_immediate(
                      ctx, "begin perform owa.init_cgi_env(0, '{}', '{}'); " + body + " end;"),
                  0)
            << oerr_cda(ctx);
    }

    fetched_page fetch() {
        constexpr int slots = 27;
        constexpr std::size_t slot_size = 256;
        fetched_page page;
        std::array<char, slots * slot_size> data{};
        std::array<std::int16_t, slots> indicators{};
        std::array<std::uint16_t, slots> lengths{};
        std::array<std::uint16_t, slots> codes{};
        std::uint32_t count = slots;
        std::int32_t ndata = slots;
        EXPECT_EQ(ctx.db->oparse(ctx.cda, "begin owa.get_page(:data,:ndata);end;"), 0);
        EXPECT_EQ(nbind(ctx, ":ndata", &ndata), 0);
        EXPECT_EQ(ctx.db->obndra(ctx.cda, {.name = ":data",
                                           .buffer = data,
                                           .element_size = slot_size,
                                           .indicators = indicators,
                                           .lengths = lengths,
                                           .return_codes = codes,
                                           .max_elements = slots,
                                           .current_count = &count}),
                  0);
        do {
            data.fill(0);
            lengths.fill(0);
            ndata = slots;
            const int rc = ctx.db->oexec(ctx.cda);
            EXPECT_EQ(rc, 0) << oerr_cda(ctx);
            if (rc != 0 || page.batches.size() > 1000) {
                break;
            }
            page.batches.push_back(ndata);
            for (int i = 0; i < ndata; ++i) {
                page.text.append(&data[i * slot_size], lengths[i]);
                page.longest_slot = std::max<std::size_t>(page.longest_slot, lengths[i]);
            }
        } while (ndata == slots);
        return page;
    }

    // A page of exactly n lines: a two-line header and n - 2 body lines.
    static std::string lines_body(int n, std::string& expected) {
        expected = "Content-type: text/plain\n\n";
        std::string body = "perform owa_util.mime_header('text/plain');";
        for (int i = 3; i <= n; ++i) {
            body += " perform htp.print('line " + std::to_string(i) + "');";
            expected += "line " + std::to_string(i) + "\n";
        }
        return body;
    }
};

TEST_F(PageTest, BatchesOfTwentySevenLines) {
    const struct {
        int lines;
        std::vector<int> batches;
    } cases[] = {{0, {0}}, {2, {2}}, {27, {27, 0}}, {28, {27, 1}}, {60, {27, 27, 6}}};
    for (const auto& c : cases) {
        std::string expected;
        const std::string body = c.lines == 0 ? "" : lines_body(c.lines, expected);
        write_page(body);
        const fetched_page page = fetch();
        EXPECT_EQ(page.batches, c.batches) << c.lines << " lines";
        EXPECT_EQ(page.text, expected) << c.lines << " lines";
    }
}

TEST_F(PageTest, LongLinesArriveWholeOverSeveralSlots) {
    const std::string long_line(1000, 'x');
    const std::string exact(255, 'y');
    std::string accents;
    for (int i = 0; i < 200; ++i) {
        accents += "\xc3\xa9";  // two bytes each: slots split characters
    }
    write_page(
        "perform htp.print(repeat('x', 1000)); perform htp.print(repeat('y', 255)); "
        "perform htp.prn(repeat(chr(233), 200));");
    const fetched_page page = fetch();
    EXPECT_EQ(page.text, "Content-type: text/html\n\n" + long_line + "\n" + exact + "\n" + accents);
    EXPECT_EQ(page.longest_slot, 255u);
    // header 2, 1001 bytes in 4 slots, 256 bytes in 2, 400 bytes in 2
    EXPECT_EQ(page.batches, std::vector<int>{10});
}

TEST_F(PageTest, LargePageIsFetchedCompletelyAndInOrder) {
    write_page(
        "for i in 1 .. 3000 loop perform htp.print('<tr><td>' || i || '</td></tr>'); "
        "end loop;");
    std::string expected = "Content-type: text/html\n\n";
    for (int i = 1; i <= 3000; ++i) {
        expected += "<tr><td>" + std::to_string(i) + "</td></tr>\n";
    }
    const fetched_page page = fetch();
    EXPECT_EQ(page.text, expected);
    EXPECT_EQ(page.batches.size(), 3002u / 27 + 1);
    // Output written after a fetch is fetched next time, once.
    write_page("perform htp.print('again');");
    EXPECT_EQ(fetch().text, "Content-type: text/html\n\nagain\n");
}

}  // namespace
}  // namespace kestrel
