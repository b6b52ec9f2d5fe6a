// docs_pg_test.cpp - stored documents and include files against PostgreSQL:
// the gateway's document statements, piecewise reads, the gzip road, include
// blocks run as DO blocks with their placeholders spliced as literals. The
// remaining roads (files, stored paths, fallbacks) are covered end to end by
// tests/e2e/docs_test.sh.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "db/errors.hpp"
#include "db/query.hpp"
#include "db/session.hpp"
#include "docs/docs_support.hpp"
#include "docs/download.hpp"
#include "docs/include.hpp"
#include "frame/diagnostics.hpp"
#include "frame/wrb_state.hpp"
#include "pg/pg_fixture.hpp"

namespace kestrel {
namespace {

std::string hex(const std::string& bytes) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string out;
    for (const char c : bytes) {
        out += digits[(static_cast<unsigned char>(c) >> 4) & 0xf];
        out += digits[static_cast<unsigned char>(c) & 0xf];
    }
    return out;
}

std::string binary_content(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>((i * 131 + i / 977) & 0xff);
    }
    return bytes;
}

class DocsPgTest : public test::pg_fixture {
  protected:
    test::captured_io* io = nullptr;
    std::filesystem::path dir;

    void SetUp() override {
        pg_fixture::SetUp();
        use_app_service(ctx);
        ctx.mime_table = {{"text/html", "html"},
                          {"text/csv", "csv"},
                          {"application/pdf", "pdf"},
                          {"application/x-gzip", "gz"}};
        ctx.default_mime_type = "application/octet-stream";
        dir = std::filesystem::path(::testing::TempDir()) / ("kestrel-docs-pg-" + database());
        std::filesystem::create_directories(dir / "docs");
        ctx.dir_maps = {{(dir / "docs").string() + "/", "/docs/"}};

        auto captured = std::make_unique<test::captured_io>();
        io = captured.get();
        wrb().begin_request(nullptr, std::move(captured));
        wrb().clientcxp = &ctx;
        wrb().ows_logfile = (dir / "").string();
        wrb().config_read = true;
        wrb().config.clear();
        ASSERT_TRUE(Logon(ctx, nullptr, nullptr)) << oerr_lda(ctx);
        ASSERT_EQ(execute_immediate(ctx, "begin perform owa.init_cgi_env(0, '{}', '{}'); end;"), 0)
            << oerr_cda(ctx);
    }

    void TearDown() override {
        Logoff(ctx, true);
        heap_release(ctx);
        wrb().begin_request(nullptr, nullptr);
        wrb().forget_config();
        wrb().clientcxp = nullptr;
        std::filesystem::remove_all(dir);
        pg_fixture::TearDown();
    }

    void request(const std::string& name, const std::string& prefix) {
        ctx.service_type = prefix;
        ctx.procedure_name = name;
        wrb().set_environment({"SCRIPT_NAME=/app", "PATH_INFO=" + prefix + name,
                               "REQUEST_METHOD=GET", "QUERY_STRING="});
        wrb().url.clear();
    }

    void store(const std::string& name, const std::string& mime, const std::string& bytes,
               int size) {
        exec("insert into kestrel_app.image (name, mime_type, img_size, image) values ('" + name +
             "', '" + mime + "', " + std::to_string(size) + ", decode('" + hex(bytes) +
             "', 'hex'))");
    }

    std::filesystem::path write_file(const std::string& relative, const std::string& content) {
        auto path = dir / relative;
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }

    std::string output() const { return io->out; }
};

TEST_F(DocsPgTest, StoredDocumentIsSentAsStoredInPieces) {
    const std::string content = binary_content(10000);
    store("report.pdf", "application/pdf", content, 10000);
    wrb().config.push_back({"blobPieceSize", "999"});
    request("report.pdf", "/owai/");
    return_image(ctx);
    EXPECT_EQ(output(), "Content-type: application/pdf\n\n" + content);
}

TEST_F(DocsPgTest, GzipRoadDecompressesToTheStoredBytes) {
    const std::string content = binary_content(300000);
    store("report.pdf", "application/pdf", content, 300000);
    request("report.pdf.gz", "/owaigz/");
    return_image(ctx);
    const std::string header = "Content-type: application/x-gzip\n\n";
    ASSERT_EQ(output().substr(0, header.size()), header);
    const test::gunzipped gz = test::gunzip(output().substr(header.size()));
    EXPECT_TRUE(gz.ok);
    EXPECT_EQ(gz.name, "report.pdf");
    EXPECT_EQ(gz.data, content);
}

TEST_F(DocsPgTest, MissingDocumentUnderOwaiEndsWithTheDatabasesMessage) {
    request("nothing.pdf", "/owai/");
    EXPECT_THROW(return_image(ctx), fatal_error);
    EXPECT_NE(output().find("Content-type: text/plain"), std::string::npos);
    EXPECT_EQ(output().find("Status: 404"), std::string::npos);
}

TEST_F(DocsPgTest, IncludeBlocksRunInPlaceWithQuotedPlaceholders) {
    const std::string hostile = "x'); drop table kestrel_app.image; --";
    ctx.args = {{"who", hostile}, {"n", "2"}};
    write_file(
        "docs/page.html",
        "<h1>T</h1>\n<ORACLE>begin perform htp.prn(current_user); end;</ORACLE>|"
        "<oracle TYPE=PLSQL>begin perform htp.prn('[' || :who || '] ' || (cast(:n as int) * 21));"
        " end;</oracle>|end\n");
    request("docs/page.html", "/owa/");
    owassi(ctx);
    EXPECT_EQ(output(), "Content-type: text/html\n\n<h1>T</h1>\n" + std::string(test::app_user) +
                            "|[" + hostile + "] 42|end\n");
    EXPECT_EQ(scalar("select count(*) from kestrel_app.image"), "0");
}

TEST_F(DocsPgTest, FailingBlockWritesOneErrorLineAndTheRestRuns) {
    write_file("docs/page.html",
               "a<ORACLE>begin perform htp.prn('x' ; end;</ORACLE>b"
               "<ORACLE>begin perform htp.prn('ok'); end;</ORACLE>c");
    request("docs/page.html", "/owa/");
    owassi(ctx);
    const std::string out = output();
    const std::string head = "Content-type: text/html\n\na<pre><b>";
    ASSERT_EQ(out.substr(0, head.size()), head) << out;
    const std::size_t end = out.find("</b></pre>");
    ASSERT_NE(end, std::string::npos);
    EXPECT_NE(out.substr(head.size(), end - head.size()).find("SQLSTATE 42601"), std::string::npos)
        << out;
    EXPECT_EQ(out.substr(end), "</b></pre>bokc");
    EXPECT_EQ(out.find("<pre>", end), std::string::npos);
}

}  // namespace
}  // namespace kestrel
