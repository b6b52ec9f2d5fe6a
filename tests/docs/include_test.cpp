// include_test.cpp - the include road: stored and file include texts, the
// block loop, files sent as they are or compressed, and the rule that a
// request never reaches a file outside the mapped directories.
#include "docs/include.hpp"

#include <gtest/gtest.h>

#include <algorithm>

#include "docs/request_file.hpp"
#include "docs_fixture.hpp"

namespace kestrel {
namespace {

const std::string html_header = "Content-type: text/html\n\n";
const std::string header_sent = "select owa.header_sent()";
const std::string not_found = "Content-type: text/html\nStatus: 404 Not found\n\nURL Not Found";

class Owassi : public test::docs_test {
  protected:
    // The include text stored under the request's name; each block's page
    // is one line "PAGE<n>" in execution order.
    void store_include(const std::string& text, int blocks = 0) {
        db->on("select image from demo.image").outcomes = {
            {.row = std::vector<std::optional<std::string>>{text}}};
        std::vector<test::outcome> pages;
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

struct loop_case {
    std::string label;
    std::string text;
    int blocks;
    std::string body;
    std::vector<std::string> run;
};

void PrintTo(const loop_case& c, std::ostream* os) {
    *os << c.label;
}

class IncludeLoop : public Owassi, public ::testing::WithParamInterface<loop_case> {};

TEST_P(IncludeLoop, ReplacesEachBlockByItsPage) {
    const loop_case& c = GetParam();
    store_include(c.text, c.blocks);
    owassi(ctx);
    EXPECT_EQ(output(), html_header + c.body) << c.label;
    EXPECT_EQ(blocks_run(), c.run) << c.label;
    // The toolkit hears once, before the first block, that the header is out.
    const auto texts = db->statement_texts();
    const auto told = std::find(texts.begin(), texts.end(), header_sent);
    EXPECT_EQ(std::count(texts.begin(), texts.end(), header_sent), c.run.empty() ? 0 : 1);
    if (!c.run.empty()) {
        EXPECT_LT(told, std::find(texts.begin(), texts.end(), c.run.front()));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, IncludeLoop,
    ::testing::Values(
        loop_case{"no tags", "<p>plain</p>\n", 0, "<p>plain</p>\n", {}},
        loop_case{"two blocks in order",
                  "<p>a</p><ORACLE>begin b1; end;</ORACLE> mid <oracle>begin b2; end;</oracle>!",
                  2,
                  "<p>a</p>PAGE1 mid PAGE2!",
                  {"begin b1; end;", "begin b2; end;"}},
        loop_case{"type attribute",
                  "x<ORACLE TYPE=PLSQL>begin b; end;</ORACLE>y",
                  1,
                  "xPAGE1y",
                  {"begin b; end;"}},
        loop_case{"unterminated tag",
                  "a<ORACLE>begin b; end; rest",
                  0,
                  "a<ORACLE>begin b; end; rest",
                  {}},
        loop_case{"opening tag without its >", "a<ORACLE </ORACLE>b", 0, "a<ORACLE </ORACLE>b", {}},
        loop_case{"second block unterminated",
                  "<ORACLE>begin b; end;</ORACLE>|<ORACLE>tail",
                  1,
                  "PAGE1|<ORACLE>tail",
                  {"begin b; end;"}},
        loop_case{"closing tag without >",
                  "a<ORACLE>begin b; end;</ORACLE",
                  1,
                  "aPAGE1",
                  {"begin b; end;"}},
        loop_case{"spaced closing tag",
                  "<ORACLE>begin b; end;< /oracle >z",
                  1,
                  "PAGE1z",
                  {"begin b; end;"}},
        loop_case{"slashed word is no closing tag",
                  "<ORACLE>begin b; end;</ ORACLE>z",
                  0,
                  "<ORACLE>begin b; end;</ ORACLE>z",
                  {}}),
    [](const auto& info) {
        std::string name = info.param.label;
        for (char& c : name) {
            c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        }
        return name;
    });

TEST_F(Owassi, StoredDocumentWinsOverTheFile) {
    map_docs();
    write_file("docs/page.html", "from the file");
    request("docs/page.html");
    store_include("from the table");
    owassi(ctx);
    EXPECT_EQ(output(), html_header + "from the table");
    ASSERT_FALSE(db->statements.empty());
    EXPECT_EQ(db->statements[0].text, "select image from demo.image where name = :name");
    EXPECT_EQ(db->statements[0].find_bind("name")->text, "docs/page.html");
}

TEST_F(Owassi, MappedFileIsProcessed) {
    map_docs();
    write_file("docs/page.html", "<b><ORACLE>begin x; end;</ORACLE></b>");
    request("docs/page.html");
    db->on("owa.get_page").outcomes = {{.integers = {{"ndata", 1}}, .arrays = {{"data", {"X"}}}}};
    owassi(ctx);
    EXPECT_EQ(output(), html_header + "<b>X</b>");
}

TEST_F(Owassi, MissingTableFallsThroughToTheFile) {
    map_docs();
    write_file("docs/page.html", "file");
    request("docs/page.html");
    db->on("from demo.image").parse_rc = 942;
    owassi(ctx);
    EXPECT_EQ(output(), html_header + "file");
}

struct path_case {
    std::string label;
    std::string name;
};

void PrintTo(const path_case& c, std::ostream* os) {
    *os << c.label;
}

class RequestPath : public Owassi, public ::testing::WithParamInterface<path_case> {};

// Every road that turns the request into a file answers 404 for a path that
// leaves the mapped directories, even when the file exists.
TEST_P(RequestPath, OutsideTheMapsIsNotFound) {
    map_docs();
    write_file("secret.html", "secret");
    write_file("secret.csv", "secret");
    write_file("other/page.html", "secret");
    write_file("docs/sub/x.html", "inside");
    request(GetParam().name);
    owassi(ctx);
    EXPECT_EQ(output().find("secret"), std::string::npos);
    EXPECT_NE(output().find("Status: 404 Not found"), std::string::npos) << output();
}

INSTANTIATE_TEST_SUITE_P(
    Confinement, RequestPath,
    ::testing::Values(path_case{"dotdot_html", "docs/../secret.html"},
                      path_case{"dotdot_deep", "docs/sub/../../secret.html"},
                      path_case{"dotdot_csv", "docs/../secret.csv"},
                      path_case{"dotdot_gz", "docs/../secret.csv.gz"},
                      path_case{"unmapped", "other/page.html"},
                      path_case{"unmapped_root", "secret.html"},
                      path_case{"nul_byte", std::string("docs/../secret.html\0.x", 22)},
                      path_case{"directory", "docs/sub"}, path_case{"missing", "docs/none.html"}),
    [](const auto& info) { return info.param.label; });

TEST(RequestFile, EscapingPaths) {
    EXPECT_TRUE(is_escaping_path("/docs/../x"));
    EXPECT_TRUE(is_escaping_path("/.."));
    EXPECT_TRUE(is_escaping_path("/docs/.."));
    EXPECT_TRUE(is_escaping_path(std::string_view("/docs/a\0b", 9)));
    EXPECT_FALSE(is_escaping_path("/docs/..a/b..c/.../x"));
    EXPECT_FALSE(is_escaping_path("/docs/./x"));
}

TEST(RequestFile, MapsFollowPathTranslated) {
    request_ctx ctx;
    ctx.dir_maps = {{"/srv/img/", "/docs/img/"}, {"/srv/docs/", "/docs/"}};
    EXPECT_TRUE(has_dir_map(ctx, "/docs/b.html"));
    EXPECT_TRUE(has_dir_map(ctx, "/docs/img/a.gif"));
    EXPECT_TRUE(has_dir_map(ctx, "/docs/"));
    EXPECT_FALSE(has_dir_map(ctx, "/docs"));
    EXPECT_FALSE(has_dir_map(ctx, "/docsx/a"));
    EXPECT_FALSE(has_dir_map(ctx, "/a"));
    ctx.dir_maps.push_back({"/srv/", "/"});
    EXPECT_TRUE(has_dir_map(ctx, "/a"));
}

class FileRoad : public Owassi {};

TEST_F(FileRoad, NonHtmlFileIsSentUnchanged) {
    map_docs();
    std::string data(10000, 'x');
    data += "end";
    write_file("docs/data.csv", data);
    request("docs/data.csv");
    owassi(ctx);
    EXPECT_EQ(output(), "Content-type: text/csv\n\n" + data);
    EXPECT_TRUE(db->statements.empty());
}

TEST_F(FileRoad, GzNameIsCompressedFromTheFile) {
    ctx.mime_table.push_back({"application/x-gzip", "gz"});
    map_docs();
    std::string data;
    for (int i = 0; i < 3000; ++i) {
        data += "row," + std::to_string(i) + "\n";
    }
    write_file("docs/data.csv", data);
    request("docs/data.csv.gz");
    owassi(ctx);
    const std::string header = "Content-type: application/x-gzip\n\n";
    ASSERT_EQ(output().substr(0, header.size()), header);
    const test::gunzipped gz = test::gunzip(output().substr(header.size()));
    EXPECT_TRUE(gz.ok);
    EXPECT_EQ(gz.name, "data.csv");
    EXPECT_EQ(gz.data, data);
}

TEST_F(FileRoad, ExistingGzFileIsSentAsItIs) {
    map_docs();
    write_file("docs/a.csv.gz", "already compressed");
    request("docs/a.csv.gz");
    owassi(ctx);
    EXPECT_EQ(output(), "Content-type: text/plain\n\nalready compressed");
}

TEST_F(FileRoad, MissingFileAndMissingSourceAreNotFound) {
    map_docs();
    request("docs/none.csv");
    owassi(ctx);
    EXPECT_EQ(output(), not_found);
    io->out.clear();
    request("docs/none.csv.gz");
    owassi(ctx);
    EXPECT_EQ(output(), not_found);
}

TEST_F(Owassi, MissingHtmlAnswersNotFound) {
    map_docs();
    request("docs/none.html");
    owassi(ctx);
    EXPECT_EQ(output(), "Content-type: text/html\n" + not_found);
}

}  // namespace
}  // namespace kestrel
