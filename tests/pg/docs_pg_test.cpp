// docs_pg_test.cpp - stored documents and include files against PostgreSQL:
// the gateway's document statements, piecewise reads, the gzip road, include
// blocks run as DO blocks with their placeholders spliced as literals. The
// remaining roads (files, stored paths, fallbacks) are covered end to end by
// tests/e2e/docs_test.sh.
#include "db/errors.hpp"
#include "db/query.hpp"
#include "docs/download.hpp"
#include "docs/include.hpp"
#include "frame/diagnostics.hpp"
#include "pg/pg_fixture.hpp"
#include "support/gunzip.hpp"

namespace kestrel::test {
namespace {

class DocsPgTest : public pg_fixture {
  protected:
    void SetUp() override {
        pg_fixture::SetUp();
        serve_documents("application/octet-stream");
        config->mime_table.push_back({"application/x-gzip", "gz"});
        ASSERT_EQ(execute_immediate(ctx, {db::statement_kind::written,
                                          "begin perform owa.init_cgi_env(0, '{}', '{}'); end;"}),
                  0)
            << oerr_cda(ctx);
    }

    void store(const std::string& name, const std::string& mime, const std::string& bytes) {
        exec("insert into kestrel_app.image (name, mime_type, img_size, image) values ('" + name +
             "', '" + mime + "', " + std::to_string(bytes.size()) + ", decode('" + hex(bytes) +
             "', 'hex'))");
    }
};

TEST_F(DocsPgTest, StoredDocumentIsSentAsStoredInPieces) {
    // Stored uncompressed out of line, so that pieces are read without
    // decompressing the whole value.
    EXPECT_EQ(scalar("select attstorage from pg_attribute where "
                     "attrelid = 'kestrel_app.wwv_document'::regclass and attname = 'content'"),
              "e");
    const std::string content = binary_content(10000);
    store("report.pdf", "application/pdf", content);
    exec(
        "insert into kestrel_app.image values ('empty', 'application/pdf', 0, ''), "
        "('null', 'application/pdf', NULL, NULL)");
    set_config("blobPieceSize", "999");
    for (const auto& [name, bytes] : std::vector<std::pair<std::string, std::string>>{
             {"report.pdf", content}, {"empty", ""}, {"null", ""}}) {
        client->written.clear();
        wrb().answer = response();
        request(name, "/owai/");
        return_image(ctx);
        const std::string out = client->written;
        EXPECT_TRUE(out.starts_with("Content-type: application/pdf\nContent-Length: " +
                                    std::to_string(bytes.size()) + "\n"))
            << name;
        // A modification time, and the bytes exactly.
        EXPECT_NE(out.find("\nLast-Modified: "), std::string::npos) << name;
        EXPECT_TRUE(out.substr(out.find("\n\n") + 2) == bytes) << name;
    }
}

TEST_F(DocsPgTest, GzipRoadDecompressesToTheStoredBytes) {
    const std::string content = binary_content(300000);
    store("report.pdf", "application/pdf", content);
    request("report.pdf.gz", "/owaigz/");
    return_image(ctx);
    ASSERT_TRUE(client->written.starts_with("Content-type: application/x-gzip\n"));
    const gunzipped gz = gunzip(client->written.substr(client->written.find("\n\n") + 2));
    EXPECT_TRUE(gz.ok);
    EXPECT_EQ(gz.name, "report.pdf");
    EXPECT_TRUE(gz.data == content);  // not printed: binary
}

TEST_F(DocsPgTest, MissingDocumentUnderOwaiEndsWithTheDatabasesMessage) {
    request("nothing.pdf", "/owai/");
    EXPECT_THROW(return_image(ctx), fatal_error);
    EXPECT_NE(client->written.find("Content-type: text/plain"), std::string::npos);
    EXPECT_NE(client->written.find("Status: 404 Not Found\n"), std::string::npos);
}

TEST_F(DocsPgTest, IncludeBlocksRunInPlaceWithQuotedPlaceholders) {
    const std::string hostile = "x'); drop table kestrel_app.image; -- $kestrel$ \\ :n";
    set_args({{"who", hostile}, {"n", "2"}});
    store("stored.html", "text/html", "<ORACLE>begin perform htp.prn(:n); end;</ORACLE>!");
    write_file("docs/page.html",
               "<h1>T</h1>\n<ORACLE>begin perform htp.prn(current_user); end;</ORACLE>|"
               "<oracle TYPE=PLSQL>begin perform htp.prn('[' || :who || '] ' || "
               "(cast(:n as int) * 21)); end;</oracle>|end\n");
    request("docs/page.html");
    owassi(ctx);
    EXPECT_EQ(client->written, "Content-type: text/html; charset=utf-8\n\n<h1>T</h1>\n" +
                                   std::string(app_user) + "|[" + hostile + "] 42|end\n");
    EXPECT_EQ(scalar("select count(*) from kestrel_app.image"), "1");

    // An include text stored in the table is processed the same way.
    client->written.clear();
    wrb().answer = response();
    request("stored.html");
    owassi(ctx);
    EXPECT_EQ(client->written, "Content-type: text/html; charset=utf-8\n\n2!");
}

// Placeholders inside comments and dollar quotes stay as written: a value
// spliced there could end the comment or quote and run as code.
TEST_F(DocsPgTest, PlaceholdersInCommentsAndQuotesAreNotSpliced) {
    const std::string hostile = "x\nperform htp.prn(42); --";
    set_args({{"who", hostile}, {"tag", "$q$; perform htp.prn(1); --"}});
    write_file("docs/page.html",
               "<ORACLE>begin\n  -- greets :who\n  /* and :who */\n"
               "  perform htp.prn($q$[:tag]$q$ || :who);\nend;</ORACLE>");
    request("docs/page.html");
    owassi(ctx);
    EXPECT_EQ(client->written, "Content-type: text/html; charset=utf-8\n\n[:tag]" + hostile);
}

TEST_F(DocsPgTest, FailingBlockWritesOneErrorLineAndTheRestRuns) {
    write_file("docs/page.html",
               "a<ORACLE>begin perform htp.prn('x' ; end;</ORACLE>b"
               "<ORACLE>begin perform htp.prn('ok'); end;</ORACLE>c");
    request("docs/page.html");
    owassi(ctx);
    const std::string head = "Content-type: text/html; charset=utf-8\n\na<pre><b>";
    ASSERT_TRUE(client->written.starts_with(head)) << client->written;
    const std::size_t end = client->written.find("</b></pre>");
    ASSERT_NE(end, std::string::npos);
    EXPECT_NE(client->written.substr(head.size(), end - head.size()).find("SQLSTATE 42601"),
              std::string::npos)
        << client->written;
    EXPECT_EQ(client->written.substr(end), "</b></pre>bokc");
}

}  // namespace
}  // namespace kestrel::test
