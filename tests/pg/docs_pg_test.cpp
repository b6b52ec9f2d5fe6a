// docs_pg_test.cpp - stored documents and include files against PostgreSQL:
// the gateway's document statements, piecewise reads, the gzip road, include
// blocks run as DO blocks with their placeholders spliced as literals. The
// remaining roads (files, stored paths, fallbacks) are covered end to end by
// tests/e2e/docs_test.sh.
#include "db/binds.hpp"
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

// The pieces of a planned read arrive ahead of the gateway, so a read left
// half done or failing midway must not leave rows in the session's way.
TEST_F(DocsPgTest, PiecesReadAheadLeaveTheSessionUsableWhenLeftOrFailingMidway) {
    constexpr std::size_t piece_size = 65536;
    exec(
        "insert into kestrel_app.image (name, mime_type, img_size, image) select 'big', "
        "'application/octet-stream', 0, decode(string_agg(md5(i::text), '' order by i), 'hex') "
        "from generate_series(1, 262144) as i");  // 4 MiB: more than the socket holds
    config->reuse_connection = true;
    const std::string pid = selected("select pg_backend_pid()::text");
    std::string piece(piece_size, '\0');
    const auto read = [&](std::size_t offset, std::size_t& returned) {
        return ctx.db->oflng(ctx.cda, 1, std::as_writable_bytes(std::span(piece)), offset,
                             returned);
    };
    const auto start = [&] {
        char name[] = "big";
        std::int16_t indicator = 0;
        std::uint16_t length = 0;
        std::uint16_t rc = 0;
        ASSERT_EQ(ctx.db->oparse(ctx.cda, {.kind = db::statement_kind::document_select,
                                           .text = "select image from kestrel_app.image where "
                                                   "name = :name",
                                           .relation = "kestrel_app.image"}),
                  0);
        ASSERT_EQ(sbind(ctx, ":name", name), 0);
        ASSERT_EQ(ctx.db->odefin(ctx.cda, {1, std::as_writable_bytes(std::span(piece)),
                                           db::data_type::long_raw, &indicator, &length, &rc}),
                  0);
        ASSERT_EQ(ctx.db->oexfet(ctx.cda), 0) << oerr_cda(ctx);
        ctx.db->plan_oflng(ctx.cda, 1, 0, 4 << 20);
        for (const std::size_t offset : {std::size_t{0}, piece_size, 2 * piece_size}) {
            std::size_t returned = 0;
            ASSERT_EQ(read(offset, returned), 0) << oerr_cda(ctx);
            ASSERT_EQ(returned, piece_size);
            EXPECT_EQ(hex(piece),
                      scalar("select encode(substring(image from " + std::to_string(offset + 1) +
                             " for 65536), 'hex') from kestrel_app.image "
                             "where name = 'big'"));
        }
    };

    // Left midway: the next statement runs in the same transaction.
    start();
    EXPECT_EQ(selected("select 'next'"), "next");

    // Failing midway (cancelled): the read reports it, and after the
    // rollback the session serves the next request.
    start();
    exec("select pg_cancel_backend(" + pid + ")");
    int rc = 0;
    for (std::size_t offset = 3 * piece_size; rc == 0 && offset < (4 << 20); offset += piece_size) {
        std::size_t returned = 0;
        rc = read(offset, returned);
    }
    EXPECT_NE(rc, 0);
    EXPECT_NE(oerr_cda(ctx).find("57014"), std::string::npos) << oerr_cda(ctx);
    next_request(true);
    EXPECT_EQ(selected("select pg_backend_pid()::text"), pid) << "the session was not kept";
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
