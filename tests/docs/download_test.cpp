// download_test.cpp - stored documents: the statement, the MIME choice, the
// piecewise transfer, files named by a row, the gzip road and the fallback to
// the include road.
#include "docs/download.hpp"

#include <filesystem>

#include "frame/diagnostics.hpp"
#include "support/request_fixture.hpp"

namespace kestrel::test {
namespace {

class ReturnImage : public request_test {
  protected:
    void SetUp() override {
        request_test::SetUp();
        serve_documents("text/plain");
        request("page.html");
    }
    // The stored size may say anything; the length column is the content's
    // (a stored size that is no measure: tests/e2e/docs_test.sh).
    void store(const std::optional<std::string>& image, const std::string& mime,
               const std::optional<std::string>& size = std::nullopt) {
        const std::string length = std::to_string(image.value_or("").size());
        db->on("from demo.image").outcomes = {
            {.row = row_values{image, mime, size.value_or(length), length, std::nullopt}}};
    }
    // The header of a whole document without validators.
    static std::string head(const std::string& type, std::size_t length) {
        return "Content-type: " + type + "\nContent-Length: " + std::to_string(length) +
               "\nAccept-Ranges: bytes\nCache-Control: no-cache\n\n";
    }
};

// The service's own table by default: tests/pg/docs_pg_test.cpp.
TEST_F(ReturnImage, ConfiguredTableOfTheOwner) {
    set_config("demo_image_tname", "docs_tab");
    request("a.pdf", "/owai/");
    db->on("demo.docs_tab").outcomes = {
        {.row = row_values{"x", "application/pdf", "1", "1", std::nullopt}}};
    return_image(ctx);
    EXPECT_EQ(client->written, head("application/pdf", 1) + "x");
}

TEST_F(ReturnImage, GzipRoadCutsGzFromTheName) {
    const struct {
        std::string prefix;
        std::string requested;
        std::string looked_up;
    } cases[] = {
        {"/owaigz/", "report.pdf.gz", "report.pdf"},
        {"/owaigz/", ".gz", ".gz"},
        {"/owaigz/", "a.gz", "a"},
        {"/owaigz/", "report.pdf", "report.pdf"},
        {"/owai/", "report.pdf.gz", "report.pdf.gz"},
        {"/owai/", std::string(300, 'n'), std::string(254, 'n')},
    };
    for (const auto& c : cases) {
        request(c.requested, c.prefix);
        EXPECT_EQ(document_name(ctx, c.prefix == "/owaigz/"), c.looked_up) << c.requested;
    }
}

TEST_F(ReturnImage, AnnouncesTheFirstUsableMimeType) {
    const struct {
        std::string stored;
        bool gzip;
        std::string url_name;
        bool gzip_configured;
        bool octet_configured;
        std::string announced;
    } cases[] = {
        {"application/pdf", false, "a.html", false, true, "application/pdf"},
        {"image/x-odd", false, "a.gif", false, true, "image/gif"},
        {"image/x-odd", false, "a.html", false, true, "text/plain"},
        {"", false, "doc", false, true, "text/plain"},
        {"Application/PDF", false, "a.html", false, true, "text/plain"},
        {"application/pdf", true, "a.pdf", true, true, "application/x-gzip"},
        {"application/pdf", true, "a.pdf", false, true, "application/octet-stream"},
        {"application/pdf", true, "a.pdf", false, false, "application/pdf"},
    };
    for (const auto& c : cases) {
        restart();
        if (c.gzip_configured) {
            config->mime_table.push_back({"application/x-gzip", "gz"});
        }
        if (!c.octet_configured) {
            std::erase_if(config->mime_table,
                          [](const mime_row& r) { return r.type == "application/octet-stream"; });
        }
        request(c.url_name);
        EXPECT_STREQ(choose_document_mime_type(ctx, c.stored.c_str(), c.gzip), c.announced.c_str())
            << c.stored << " " << c.url_name;
    }
    // Without the gzip type the road logs what is missing.
    restart();
    request("a.pdf", "/owaigz/");
    store("x", "application/pdf");
    return_image(ctx);
    EXPECT_TRUE(
        client->written.starts_with("Content-type: application/octet-stream\nCache-Control"));
    EXPECT_NE(logs().find("Application/x-gzip needs to be added to mime types"), std::string::npos);
}

TEST_F(ReturnImage, PiecesUpToTheContentsLength) {
    const struct {
        std::string piece_size;
        std::optional<std::string> image;
        std::size_t oflng_calls;
    } cases[] = {
        {"4", "abcdefghij", 3},
        {"4", "abcd", 1},
        {"4", "", 0},
        {"4", std::nullopt, 0},
        {"", std::string(70000, 'z'), 2},
        {"0", "abc", 1},
        {"-8", "abc", 1},
        {"big", "abc", 1},
    };
    for (const auto& c : cases) {
        restart();
        if (!c.piece_size.empty()) {
            set_config("blobPieceSize", c.piece_size);
        }
        request("doc.bin", "/owai/");
        store(c.image, "application/octet-stream");
        return_image(ctx);
        const std::string body = c.image.value_or("");
        EXPECT_EQ(client->written, head("application/octet-stream", body.size()) + body);
        EXPECT_EQ(db->count("oflng"), c.oflng_calls) << c.piece_size;
    }
}

// What the browser's headers make of a 10-byte document in pieces of 4:
// the answer, and how many pieces were read for it.
TEST_F(ReturnImage, ConditionalRangeAndHeadRequests) {
    const std::string tag = "\"a-5f5e100\"";  // 10 bytes, 100000000 microseconds
    const struct {
        std::vector<std::string> env;
        std::string prefix;
        std::string answer_starts;
        std::string body;
        std::size_t pieces;
    } cases[] = {
        {{}, "/owai/", "Content-type: text/plain\nContent-Length: 10\n", "abcdefghij", 3},
        {{"REQUEST_METHOD=HEAD"},
         "/owai/",
         "Content-type: text/plain\nContent-Length: 10\n",
         "",
         0},
        {{"HTTP_IF_NONE_MATCH=" + tag}, "/owai/", "Status: 304 Not Modified\nETag: " + tag, "", 0},
        {{"HTTP_IF_MODIFIED_SINCE=Thu, 01 Jan 1970 00:01:40 GMT"},
         "/owai/",
         "Status: 304 Not Modified\n",
         "",
         0},
        {{"HTTP_RANGE=bytes=5-6"},
         "/owai/",
         "Status: 206 Partial Content\nContent-type: text/plain\nContent-Length: 2\n",
         "fg",
         1},
        {{"HTTP_RANGE=bytes=-3"}, "/owai/", "Status: 206 Partial Content\n", "hij", 1},
        {{"HTTP_RANGE=bytes=10-"},
         "/owai/",
         "Status: 416 Range Not Satisfiable\nContent-Range: bytes */10\n",
         "",
         0},
        {{"HTTP_RANGE=bytes=5-6", "HTTP_IF_RANGE=\"old\""},
         "/owai/",
         "Content-type: text/plain\n",
         "abcdefghij",
         3},
        // The gzip road: no length, no ranges, a weak tag.
        {{"HTTP_RANGE=bytes=5-6"},
         "/owaigz/",
         "Content-type: application/octet-stream\nETag: W/",
         "",
         3},
    };
    for (const auto& c : cases) {
        restart();
        set_config("blobPieceSize", "4");
        request("a.txt", c.prefix);
        std::vector<std::string> env = c.env;
        env.push_back("REQUEST_METHOD=GET");  // unless the case named a method first
        set_env(env);
        db->on("from demo.image").outcomes = {
            {.row = row_values{"abcdefghij", "text/plain", "10", "10", "100000000"}}};
        return_image(ctx);
        const std::string out = client->written;
        const std::string label = c.prefix + (c.env.empty() ? "" : c.env.front());
        EXPECT_TRUE(out.starts_with(c.answer_starts)) << label << "\n" << out;
        if (c.prefix == "/owai/") {
            EXPECT_EQ(out.substr(out.find("\n\n") + 2), c.body) << label;
        } else {
            EXPECT_EQ(out.find("Content-Length"), std::string::npos) << label;
        }
        EXPECT_EQ(db->count("oflng"), c.pieces) << label;
    }
}

TEST_F(ReturnImage, NegativeSizeServesTheStoredPath) {
    const std::string content(9000, 'f');
    set_config("blobPieceSize", "1024");
    set_config("demo_filedir", (dir / "stored").string());
    request("a.pdf", "/owai/");
    store(write_file("stored/a.pdf", content), "application/pdf", "-1");
    return_image(ctx);
    EXPECT_EQ(client->written, head("application/pdf", 9000) + content);
    EXPECT_EQ(db->count("oflng"), 1u);

    // A missing file, or a path longer than a piece, ends the request.
    const std::string path = (dir / "stored" / "nowhere.pdf").string();
    client->written.clear();
    wrb().answer = response();
    store(path, "application/pdf", "-1");
    EXPECT_THROW(return_image(ctx), fatal_error);
    EXPECT_NE(client->written.find("Stored file " + path + " is not inside demo_filedir"),
              std::string::npos);

    restart();
    set_config("blobPieceSize", "16");
    request("a.pdf", "/owai/");
    store("/a/path/of/exactly/32/chars/xxxx", "application/pdf", "-1");
    EXPECT_THROW(return_image(ctx), fatal_error);
    EXPECT_NE(client->written.find("does not fit in 16 bytes"), std::string::npos)
        << client->written;
    EXPECT_EQ(client->written.find("Unable to Open"), std::string::npos);
}

TEST_F(ReturnImage, StoredPathsStayInsideTheFileDirectory) {
    // restart() empties dir: each case lays the files out again.
    const auto lay_out = [this] {
        write_file("app/kestrel.app", "owa_password=x");
        write_file("stored/ok.pdf", "ok");
        write_file("stored2/sibling.pdf", "no");
        std::filesystem::create_symlink(dir / "app" / "kestrel.app", dir / "stored" / "link.pdf");
    };
    const std::string stored = (dir / "stored").string();
    const std::string secret = (dir / "app" / "kestrel.app").string();
    const struct {
        std::optional<std::string> filedir;
        std::string path;
        std::string served_or_message;
    } cases[] = {
        {stored, stored + "/ok.pdf", "ok"},
        {stored + "/", stored + "/../stored/ok.pdf", "ok"},
        {stored, secret, "is not inside demo_filedir"},
        {stored, stored + "/../app/kestrel.app", "is not inside demo_filedir"},
        {stored, stored + "/link.pdf", "is not inside demo_filedir"},
        {stored, (dir / "stored2" / "sibling.pdf").string(), "is not inside demo_filedir"},
        {stored, stored, "is not inside demo_filedir"},
        {std::nullopt, stored + "/ok.pdf", "No directory set in demo_filedir"},
        {"", stored + "/ok.pdf", "No directory set in demo_filedir"},
    };
    for (const auto& c : cases) {
        restart();
        lay_out();
        if (c.filedir) {
            set_config("demo_filedir", *c.filedir);
        }
        request("a.pdf", "/owai/");
        store(c.path, "application/pdf", "-1");
        if (c.served_or_message == "ok") {
            return_image(ctx);
            EXPECT_EQ(client->written, head("application/pdf", 2) + "ok") << c.path;
            continue;
        }
        EXPECT_THROW(return_image(ctx), fatal_error) << c.path;
        EXPECT_NE(client->written.find(c.served_or_message), std::string::npos) << c.path;
        EXPECT_EQ(client->written.find("owa_password"), std::string::npos) << c.path;
    }
}

TEST_F(ReturnImage, AbsentDocumentFallsBackOnlyOutsideTheDocumentPrefixes) {
    const struct {
        std::string prefix;
        int code;  // 942: the parse fails; 1403: the fetch finds no row
        bool falls_back;
    } cases[] = {
        {"/owa/", 1403, true},  {"/owa/", 942, true},      {"/owai/", 1403, false},
        {"/owai/", 942, false}, {"/owaigz/", 1403, false},
    };
    for (const auto& c : cases) {
        restart();
        request("page.html", c.prefix);
        auto& script = db->on("img_size");
        script.parse_rc = c.code == 942 ? 942 : 0;
        script.outcomes = {{.rc = c.code == 942 ? 0 : 1403}};
        db->messages = {{942, "relation \"demo.image\" does not exist"}, {1403, "no data found"}};
        if (c.falls_back) {
            return_image(ctx);
            // The include road looked for the text and answered 404.
            EXPECT_GT(db->statements.size(), 1u);
            EXPECT_NE(client->written.find("Status: 404 Not found"), std::string::npos);
            continue;
        }
        EXPECT_THROW(return_image(ctx), fatal_error);
        EXPECT_NE(client->written.find(db->messages[c.code]), std::string::npos)
            << c.prefix << c.code;
        EXPECT_EQ(db->statements.size(), 1u);
    }
    // Any other database error ends the request.
    restart();
    db->on("img_size").outcomes = {{.rc = 1017}};
    db->messages[1017] = "permission denied for table image";
    EXPECT_THROW(return_image(ctx), fatal_error);
    EXPECT_NE(client->written.find("permission denied for table image"), std::string::npos);
}

}  // namespace
}  // namespace kestrel::test
