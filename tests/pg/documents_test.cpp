// documents_test.cpp - uploads into the document table and documents read
// back piece by piece, with the gateway's statements.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "db/binds.hpp"
#include "db/errors.hpp"
#include "db/query.hpp"
#include "db/session.hpp"
#include "pg/pg_fixture.hpp"

namespace kestrel {
namespace {

constexpr const char* insert_text =
    "insert into kestrel_app.wwv_document (name,mime_type,doc_size,content) values "
    "(:seqno,:mime_type,:length,:image)";
constexpr const char* select_text =
    "select image, mime_type, img_size from kestrel_app.image where name = :name";

std::string binary_content(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>((i * 7919 + i / 251) & 0xff);
    }
    return bytes;
}

struct read_document {
    int rc = 0;
    std::string content;
    std::string mime_type;
    std::string size;
    int pieces = 0;
};

class DocumentsTest : public test::pg_fixture {
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

    int insert(std::string name, std::string mime, const std::string& bytes) {
        std::vector<std::byte> image(4 + bytes.size());
        const auto length = static_cast<std::uint32_t>(bytes.size());
        std::memcpy(image.data(), &length, 4);
        std::memcpy(image.data() + 4, bytes.data(), bytes.size());
        auto doc_size = static_cast<std::int32_t>(length);
        name.append(2, '\0');
        mime.append(2, '\0');
        if (const int rc = ctx.db->oparse(ctx.cda, insert_text); rc != 0) {
            return rc;
        }
        EXPECT_EQ(sbind(ctx, ":seqno", name.data()), 0);
        EXPECT_EQ(sbind(ctx, ":mime_type", mime.data()), 0);
        EXPECT_EQ(nbind(ctx, ":length", &doc_size), 0);
        EXPECT_EQ(rbind(ctx, ":image", image.data()), 0);
        return ctx.db->oexec(ctx.cda);
    }

    read_document read(const std::string& statement, std::string name, std::size_t piece_size) {
        read_document doc;
        std::vector<std::byte> piece(piece_size);
        std::array<char, 255> mime{};
        std::array<char, 255> size{};
        name.append(2, '\0');
        if ((doc.rc = ctx.db->oparse(ctx.cda, statement)) != 0) {
            return doc;
        }
        EXPECT_EQ(sbind(ctx, ":name", name.data()), 0);
        EXPECT_EQ(ctx.db->odefin(ctx.cda,
                                 {.position = 1, .buffer = piece, .type = db::data_type::long_raw}),
                  0);
        EXPECT_EQ(ctx.db->odefin(
                      ctx.cda, {.position = 2, .buffer = std::as_writable_bytes(std::span(mime))}),
                  0);
        EXPECT_EQ(ctx.db->odefin(
                      ctx.cda, {.position = 3, .buffer = std::as_writable_bytes(std::span(size))}),
                  0);
        if ((doc.rc = ctx.db->oexfet(ctx.cda)) != 0) {
            return doc;
        }
        doc.mime_type = mime.data();
        doc.size = size.data();
        std::size_t offset = 0;
        std::size_t returned = 0;
        do {
            EXPECT_EQ(ctx.db->oflng(ctx.cda, 1, piece, offset, returned), 0);
            doc.content.append(reinterpret_cast<const char*>(piece.data()), returned);
            offset += returned;
            ++doc.pieces;
        } while (returned != 0 && doc.pieces < 10000);
        return doc;
    }
};

TEST_F(DocumentsTest, UploadStoresBytesUncompressedAndReadsBackInPieces) {
    const std::string bytes = binary_content(200000);
    ASSERT_EQ(insert("U0000001.bin", "application/x-test", bytes), 0) << oerr_cda(ctx);
    Logoff(ctx, false);
    EXPECT_EQ(scalar("select doc_size || ' ' || mime_type || ' ' || octet_length(content) from "
                     "kestrel_app.wwv_document where name = 'U0000001.bin'"),
              "200000 application/x-test 200000");
    EXPECT_EQ(scalar("select attstorage from pg_attribute where attrelid = "
                     "'kestrel_app.wwv_document'::regclass and attname = 'content'"),
              "e");
    exec(
        "insert into kestrel_app.image select name, mime_type, -1, content || ''::bytea "
        "from kestrel_app.wwv_document");
    ASSERT_TRUE(Logon(ctx, nullptr, nullptr));
    const read_document doc = read(select_text, "U0000001.bin", 65536);
    ASSERT_EQ(doc.rc, 0) << oerr_cda(ctx);
    EXPECT_EQ(doc.content.size(), bytes.size());
    EXPECT_TRUE(doc.content == bytes);  // not printed: binary
    EXPECT_EQ(doc.mime_type, "application/x-test");
    EXPECT_EQ(doc.size, "-1");
    EXPECT_EQ(doc.pieces, 5);  // four pieces and the empty one that ends it
}

TEST_F(DocumentsTest, ContentOnlySelectAndTheFirstPieceInTheDefine) {
    exec(
        "insert into kestrel_app.image values ('page.html', 'text/html', 5, 'hello'), "
        "('empty', 'text/plain', 0, ''), ('null', 'text/plain', NULL, NULL)");
    for (const auto& [name, content] : std::vector<std::pair<std::string, std::string>>{
             {"page.html", "hello"}, {"empty", ""}, {"null", ""}}) {
        const read_document doc =
            read("select image from kestrel_app.image where name = :name", name, 3);
        EXPECT_EQ(doc.rc, 0) << name << ": " << oerr_cda(ctx);
        EXPECT_EQ(doc.content, content) << name;
    }
}

TEST_F(DocumentsTest, MissingTableAndMissingRowAreExpectedOutcomes) {
    EXPECT_EQ(read("select image from kestrel_app.nosuch where name = :name", "x", 64).rc,
              db::no_such_table);
    EXPECT_EQ(read("select image from kestrel_app.x;drop where name = :name", "x", 64).rc,
              db::no_such_table);
    EXPECT_EQ(read(select_text, "absent", 64).rc, db::no_data_found);
    // Neither spoiled the transaction: an upload still works and commits.
    ASSERT_EQ(insert("U1", "text/plain", "ok"), 0) << oerr_cda(ctx);
    Logoff(ctx, false);
    EXPECT_EQ(scalar("select convert_from(content, 'UTF8') from kestrel_app.wwv_document"), "ok");
    ASSERT_TRUE(Logon(ctx, nullptr, nullptr));
}

}  // namespace
}  // namespace kestrel
