// include_test.cpp - the include road: stored and file include texts, the
// block loop, and the rule that a request never reaches a file outside the
// mapped directories. Files sent as they are or compressed are proven end to
// end (tests/e2e/docs_test.sh).
#include "docs/include.hpp"

#include "docs/request_file.hpp"
#include "support/request_fixture.hpp"

namespace kestrel::test {
namespace {

const std::string html_header = "Content-type: text/html\n\n";
const std::string header_sent = "select owa.header_sent()";
const std::string not_found = "Content-type: text/html\nStatus: 404 Not found\n\nURL Not Found";

class Owassi : public request_test {
  protected:
    void SetUp() override {
        request_test::SetUp();
        serve_documents("text/plain");
        request("page.html");
    }
    // The include text stored under the request's name; each block's page
    // is one line "PAGE<n>" in execution order.
    void store_include(const std::string& text, int blocks = 0) {
        db->on("select image from demo.image").outcomes = {{.row = row_values{text}}};
        std::vector<outcome> pages;
        for (int i = 1; i <= blocks; ++i) {
            pages.push_back(
                {.integers = {{"ndata", 1}}, .arrays = {{"data", {"PAGE" + std::to_string(i)}}}});
        }
        db->on("owa.get_page").outcomes = pages;
    }

    std::vector<std::string> blocks_run() const {
        std::vector<std::string> texts;
        for (const std::string& text : db->statement_texts()) {
            if (text.find("image") == std::string::npos &&
                text.find("get_page") == std::string::npos && text != header_sent) {
                texts.push_back(text);
            }
        }
        return texts;
    }
};

TEST_F(Owassi, ReplacesEachBlockByItsPage) {
    const struct {
        std::string text;
        int blocks;
        std::string body;
        std::vector<std::string> run;
    } cases[] = {
        {"<p>plain</p>\n", 0, "<p>plain</p>\n", {}},
        {"<p>a</p><ORACLE>begin b1; end;</ORACLE> mid <oracle>begin b2; end;</oracle>!",
         2,
         "<p>a</p>PAGE1 mid PAGE2!",
         {"begin b1; end;", "begin b2; end;"}},
        {"x<ORACLE TYPE=PLSQL>begin b; end;</ORACLE>y", 1, "xPAGE1y", {"begin b; end;"}},
        {"a<ORACLE>begin b; end; rest", 0, "a<ORACLE>begin b; end; rest", {}},
        {"a<ORACLE </ORACLE>b", 0, "a<ORACLE </ORACLE>b", {}},
        {"<ORACLE>begin b; end;</ORACLE>|<ORACLE>tail", 1, "PAGE1|<ORACLE>tail", {"begin b; end;"}},
        {"a<ORACLE>begin b; end;</ORACLE", 1, "aPAGE1", {"begin b; end;"}},
        {"<ORACLE>begin b; end;< /oracle >z", 1, "PAGE1z", {"begin b; end;"}},
        {"<ORACLE>begin b; end;</ ORACLE>z", 0, "<ORACLE>begin b; end;</ ORACLE>z", {}},
    };
    for (const auto& c : cases) {
        restart();
        store_include(c.text, c.blocks);
        owassi(ctx);
        EXPECT_EQ(client->written, html_header + c.body) << c.text;
        EXPECT_EQ(blocks_run(), c.run) << c.text;
        // The toolkit hears once, before the first block, that the header is out.
        const auto texts = db->statement_texts();
        EXPECT_EQ(std::count(texts.begin(), texts.end(), header_sent), c.run.empty() ? 0 : 1);
        if (!c.run.empty()) {
            EXPECT_LT(std::find(texts.begin(), texts.end(), header_sent),
                      std::find(texts.begin(), texts.end(), c.run.front()));
        }
    }
}

TEST_F(Owassi, StoredTextWinsOverTheFileAndAMissingTableFallsThrough) {
    write_file("docs/page.html", "<b><ORACLE>begin x; end;</ORACLE></b>");
    request("docs/page.html");
    store_include("from the table");
    owassi(ctx);
    EXPECT_EQ(client->written, html_header + "from the table");
    EXPECT_EQ(db->statements[0].find_bind("name")->text, "docs/page.html");

    restart();
    write_file("docs/page.html", "<b><ORACLE>begin x; end;</ORACLE></b>");
    request("docs/page.html");
    db->on("from demo.image").parse_rc = 942;
    db->on("owa.get_page").outcomes = {{.integers = {{"ndata", 1}}, .arrays = {{"data", {"X"}}}}};
    owassi(ctx);
    EXPECT_EQ(client->written, html_header + "<b>X</b>");
}

// Every road that turns the request into a file answers 404 for a path that
// leaves the mapped directories, even when the file exists.
TEST_F(Owassi, PathsOutsideTheMapsAreNotFound) {
    for (const std::string& name : std::vector<std::string>{
             "docs/../secret.html", "docs/sub/../../secret.html", "docs/../secret.csv",
             "docs/../secret.csv.gz", "other/page.html", "secret.html",
             std::string("docs/../secret.html\0.x", 22), "docs/sub", "docs/none.csv",
             "docs/none.csv.gz", "docs/none.html"}) {
        restart();
        write_file("secret.html", "secret");
        write_file("secret.csv", "secret");
        write_file("other/page.html", "secret");
        write_file("docs/sub/x.html", "inside");
        request(name);
        owassi(ctx);
        EXPECT_EQ(client->written.find("secret"), std::string::npos) << name;
        EXPECT_NE(client->written.find("Status: 404 Not found"), std::string::npos) << name;
    }
    // Missing HTML gets a header line of its own before the error's.
    EXPECT_EQ(client->written, "Content-type: text/html\n" + not_found);
}

TEST(RequestFile, EscapingPathsAndMaps) {
    for (const std::string_view path : std::vector<std::string_view>{
             "/docs/../x", "/..", "/docs/..", std::string_view("/docs/a\0b", 9)}) {
        EXPECT_TRUE(is_escaping_path(path)) << path;
    }
    EXPECT_FALSE(is_escaping_path("/docs/..a/b..c/.../x"));
    EXPECT_FALSE(is_escaping_path("/docs/./x"));

    const auto config = std::make_shared<gateway_config>();
    config->dir_maps = {{"/srv/img/", "/docs/img/"}, {"/srv/docs/", "/docs/"}};
    const request_ctx ctx(config);
    EXPECT_TRUE(has_dir_map(ctx, "/docs/b.html"));
    EXPECT_TRUE(has_dir_map(ctx, "/docs/img/a.gif"));
    EXPECT_TRUE(has_dir_map(ctx, "/docs/"));
    EXPECT_FALSE(has_dir_map(ctx, "/docs"));
    EXPECT_FALSE(has_dir_map(ctx, "/docsx/a"));
    EXPECT_FALSE(has_dir_map(ctx, "/a"));
    config->dir_maps.push_back({"/srv/", "/"});
    EXPECT_TRUE(has_dir_map(ctx, "/a"));
}

}  // namespace
}  // namespace kestrel::test
