// download_test.cpp - stored documents: the statement, the MIME choice, the
// piecewise transfer, files named by a row, the gzip road and the fallback to
// the include road.
#include "docs/download.hpp"

#include <gtest/gtest.h>

#include "docs_fixture.hpp"
#include "frame/diagnostics.hpp"

namespace kestrel {
namespace {

using row_t = std::vector<std::optional<std::string>>;

class ReturnImage : public test::docs_test {
  protected:
    void store(const std::optional<std::string>& image, const std::string& mime,
               const std::string& size = "0") {
        db->on("from demo.image").outcomes = {{.row = row_t{image, mime, size}}};
    }
    const test::statement_record& lookup() const { return db->statements.at(0); }
};

TEST_F(ReturnImage, SelectsByNameFromTheOwnersTable) {
    request("report.pdf", "/owai/");
    store("%PDF", "application/pdf");
    return_image(ctx);
    EXPECT_EQ(lookup().text,
              "select image, mime_type, img_size from demo.image where name = :name");
    EXPECT_EQ(lookup().find_bind("name")->text, "report.pdf");
    ASSERT_EQ(lookup().defines.size(), 3u);
    EXPECT_EQ(lookup().defines[0].type, db::data_type::long_raw);
    EXPECT_EQ(lookup().defines[0].buffer_size, 65536u);
    EXPECT_EQ(lookup().defines[1].buffer_size, 255u);
    EXPECT_EQ(lookup().defines[2].buffer_size, 255u);
    EXPECT_EQ(output(), "Content-type: application/pdf\n\n%PDF");
}

TEST_F(ReturnImage, TableNameComesFromTheServiceKey) {
    set_config("demo_image_tname", "docs_tab");
    request("a.pdf", "/owai/");
    db->on("demo.docs_tab").outcomes = {{.row = row_t{"x", "application/pdf", "1"}}};
    return_image(ctx);
    EXPECT_EQ(lookup().text,
              "select image, mime_type, img_size from demo.docs_tab where name = :name");
}

struct name_case {
    std::string prefix;
    std::string requested;
    std::string looked_up;
};

void PrintTo(const name_case& c, std::ostream* os) {
    *os << c.requested;
}

class DocumentName : public ReturnImage, public ::testing::WithParamInterface<name_case> {};

TEST_P(DocumentName, GzipRoadCutsGz) {
    request(GetParam().requested, GetParam().prefix);
    EXPECT_EQ(document_name(ctx, ctx.service_type == "/owaigz/"), GetParam().looked_up);
}

INSTANTIATE_TEST_SUITE_P(
    Names, DocumentName,
    ::testing::Values(name_case{"/owaigz/", "report.pdf.gz", "report.pdf"},
                      name_case{"/owaigz/", ".gz", ".gz"}, name_case{"/owaigz/", "a.gz", "a"},
                      name_case{"/owaigz/", "report.pdf", "report.pdf"},
                      name_case{"/owai/", "report.pdf.gz", "report.pdf.gz"},
                      name_case{"/owai/", std::string(300, 'n'), std::string(254, 'n')}));

struct mime_case {
    std::string label;
    std::string stored;
    bool gzip;
    std::string url_name;
    bool gzip_configured;
    bool octet_configured;
    std::string announced;
};

void PrintTo(const mime_case& c, std::ostream* os) {
    *os << c.label;
}

class MimeChoice : public ReturnImage, public ::testing::WithParamInterface<mime_case> {};

TEST_P(MimeChoice, AnnouncesTheFirstUsableType) {
    const mime_case& c = GetParam();
    if (c.gzip_configured) {
        ctx.mime_table.push_back({"application/x-gzip", "gz"});
    }
    if (!c.octet_configured) {
        std::erase_if(ctx.mime_table,
                      [](const mime_row& r) { return r.type == "application/octet-stream"; });
    }
    request(c.url_name);
    EXPECT_STREQ(choose_document_mime_type(ctx, c.stored.c_str(), c.gzip), c.announced.c_str())
        << c.label;
}

INSTANTIATE_TEST_SUITE_P(Rules, MimeChoice,
                         ::testing::Values(mime_case{"stored_valid", "application/pdf", false,
                                                     "a.html", false, true, "application/pdf"},
                                           mime_case{"stored_unknown_url_gif", "image/x-odd", false,
                                                     "a.gif", false, true, "image/gif"},
                                           mime_case{"stored_unknown_url_html", "image/x-odd",
                                                     false, "a.html", false, true, "text/plain"},
                                           mime_case{"stored_empty_no_extension", "", false, "doc",
                                                     false, true, "text/plain"},
                                           mime_case{"stored_case_differs", "Application/PDF",
                                                     false, "a.html", false, true, "text/plain"},
                                           mime_case{"gzip_configured", "application/pdf", true,
                                                     "a.pdf", true, true, "application/x-gzip"},
                                           mime_case{"gzip_not_configured", "application/pdf", true,
                                                     "a.pdf", false, true,
                                                     "application/octet-stream"},
                                           mime_case{"gzip_nor_octet", "application/pdf", true,
                                                     "a.pdf", false, false, "application/pdf"}),
                         [](const auto& info) { return info.param.label; });

TEST_F(ReturnImage, GzipWithoutConfiguredTypeIsLogged) {
    request("a.pdf", "/owaigz/");
    store("x", "application/pdf");
    return_image(ctx);
    const std::string header = "Content-type: application/octet-stream\n\n";
    EXPECT_EQ(output().substr(0, header.size()), header);
    std::string log;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        std::ifstream in(entry.path());
        log.append(std::istreambuf_iterator<char>(in), {});
    }
    EXPECT_NE(log.find("Application/x-gzip needs to be added to mime types"), std::string::npos);
}

struct transfer_case {
    std::string label;
    std::string piece_size;
    std::optional<std::string> image;
    std::size_t oflng_calls;
    std::size_t define_size;
};

void PrintTo(const transfer_case& c, std::ostream* os) {
    *os << c.label;
}

class Transfer : public ReturnImage, public ::testing::WithParamInterface<transfer_case> {};

TEST_P(Transfer, PiecesUntilTheFirstEmptyOne) {
    const transfer_case& c = GetParam();
    if (!c.piece_size.empty()) {
        set_config("blobPieceSize", c.piece_size);
    }
    request("doc.bin", "/owai/");
    store(c.image, "application/octet-stream", "3");
    return_image(ctx);
    EXPECT_EQ(output(), "Content-type: application/octet-stream\n\n" + c.image.value_or(""));
    EXPECT_EQ(count_calls("oflng"), c.oflng_calls);
    EXPECT_EQ(lookup().defines.at(0).buffer_size, c.define_size);
}

INSTANTIATE_TEST_SUITE_P(
    Pieces, Transfer,
    ::testing::Values(transfer_case{"several", "4", "abcdefghij", 4, 4},
                      transfer_case{"exactly_one_piece", "4", "abcd", 2, 4},
                      transfer_case{"empty", "4", "", 1, 4},
                      transfer_case{"null", "4", std::nullopt, 1, 4},
                      transfer_case{"default", "", std::string(70000, 'z'), 3, 65536},
                      transfer_case{"zero_falls_back", "0", "abc", 2, 65536},
                      transfer_case{"negative_falls_back", "-8", "abc", 2, 65536},
                      transfer_case{"text_falls_back", "big", "abc", 2, 65536}),
    [](const auto& info) { return info.param.label; });

TEST_F(ReturnImage, NegativeSizeServesTheStoredPath) {
    const std::string content(9000, 'f');
    const auto path = write_file("stored/a.pdf", content);
    set_config("blobPieceSize", "1024");
    request("a.pdf", "/owai/");
    store(path.string(), "application/pdf", "-1");
    return_image(ctx);
    EXPECT_EQ(output(), "Content-type: application/pdf\n\n" + content);
    EXPECT_EQ(count_calls("oflng"), 1u);
}

TEST_F(ReturnImage, MissingStoredPathEndsTheRequest) {
    const std::string path = (dir / "nowhere.pdf").string();
    request("a.pdf", "/owai/");
    store(path, "application/pdf", "-1");
    EXPECT_THROW(return_image(ctx), fatal_error);
    EXPECT_NE(output().find("Unable to Open " + path), std::string::npos);
}

TEST_F(ReturnImage, StoredPathLongerThanAPieceIsRefused) {
    set_config("blobPieceSize", "16");
    request("a.pdf", "/owai/");
    store("/a/path/of/exactly/32/chars/xxxx", "application/pdf", "-1");
    EXPECT_THROW(return_image(ctx), fatal_error);
    EXPECT_NE(output().find("does not fit in 16 bytes"), std::string::npos) << output();
    EXPECT_EQ(output().find("Unable to Open"), std::string::npos);
}

TEST_F(ReturnImage, GzipRoadCompressesUnderTheDocumentsName) {
    ctx.mime_table.push_back({"application/x-gzip", "gz"});
    std::string content;
    for (int i = 0; i < 5000; ++i) {
        content += std::to_string(i * 7919) + ";";
    }
    set_config("blobPieceSize", "1000");
    request("report.txt.gz", "/owaigz/");
    store(content, "text/plain");
    return_image(ctx);
    EXPECT_EQ(lookup().find_bind("name")->text, "report.txt");
    const std::string header = "Content-type: application/x-gzip\n\n";
    ASSERT_EQ(output().substr(0, header.size()), header);
    const test::gunzipped gz = test::gunzip(output().substr(header.size()));
    EXPECT_TRUE(gz.ok);
    EXPECT_EQ(gz.name, "report.txt");
    EXPECT_EQ(gz.data, content);
}

struct absent_case {
    std::string label;
    std::string prefix;
    bool parse_fails;  // else the fetch finds no row
    bool falls_back;
};

void PrintTo(const absent_case& c, std::ostream* os) {
    *os << c.label;
}

class AbsentDocument : public ReturnImage, public ::testing::WithParamInterface<absent_case> {};

TEST_P(AbsentDocument, FallsBackOnlyOutsideTheDocumentPrefixes) {
    const absent_case& c = GetParam();
    request("page.html", c.prefix);
    if (c.parse_fails) {
        db->on("img_size").parse_rc = 942;
    } else {
        db->on("img_size").outcomes = {{.rc = 1403}};
    }
    db->messages[942] = "relation \"demo.image\" does not exist";
    db->messages[1403] = "no data found";
    if (c.falls_back) {
        return_image(ctx);
        // The include road looked for the text and answered 404.
        EXPECT_EQ(db->statements.back().text, "select image from demo.image where name = :name");
        EXPECT_NE(output().find("Status: 404 Not found"), std::string::npos);
        return;
    }
    EXPECT_THROW(return_image(ctx), fatal_error);
    EXPECT_NE(output().find(db->messages[c.parse_fails ? 942 : 1403]), std::string::npos);
    EXPECT_EQ(db->statements.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Prefixes, AbsentDocument,
                         ::testing::Values(absent_case{"owa_no_row", "/owa/", false, true},
                                           absent_case{"owa_no_table", "/owa/", true, true},
                                           absent_case{"owai_no_row", "/owai/", false, false},
                                           absent_case{"owai_no_table", "/owai/", true, false},
                                           absent_case{"owaigz_no_row", "/owaigz/", false, false}),
                         [](const auto& info) { return info.param.label; });

TEST_F(ReturnImage, OtherDatabaseErrorsEndTheRequest) {
    request("page.html");
    db->on("img_size").outcomes = {{.rc = 1017}};
    db->messages[1017] = "permission denied for table image";
    EXPECT_THROW(return_image(ctx), fatal_error);
    EXPECT_NE(output().find("permission denied for table image"), std::string::npos);
}

}  // namespace
}  // namespace kestrel
