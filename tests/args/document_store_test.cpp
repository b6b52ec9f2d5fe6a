// document_store_test.cpp - ldimage: the generated name, the stored type and
// every way it can fail. The bytes and paths stored in table and directory
// mode are checked on a real server (tests/pg/args_pg_test.cpp).
#include "args/document_store.hpp"

#include <sys/resource.h>

#include <csignal>
#include <optional>

#include "frame/diagnostics.hpp"
#include "support/request_fixture.hpp"

namespace kestrel::test {
namespace {

class DocumentStore : public request_test {
  protected:
    void next_value(const std::string& value) {
        auto& script = db->on("IMG_SEQ");
        script.outcomes = {{.row = row_values{value}}};
        script.used = 0;
    }
    const char* store(const std::string& content, const std::string& file_name,
                      const std::string& mime = "application/pdf") {
        return ldimage(ctx, content, mime, file_name);
    }
    void expect_death(const std::string& message) {
        EXPECT_THROW(store("data", "a.txt"), fatal_error);
        EXPECT_NE(client->written.find(message), std::string::npos) << client->written;
    }
};

// Only the extension of the browser's name reaches the generated name, and
// no part of it reaches a statement's text.
TEST_F(DocumentStore, NameIsTheSequenceValueAndTheFilteredExtension) {
    const struct {
        std::string file;
        const char* value;
        const char* name;
        const char* kept;  // the file_name column
    } cases[] = {
        {"report.final.docx", "6", "U0000006.docx", "report.final.docx"},
        {"archive.tar.gz", "7", "U0000007.gz", "archive.tar.gz"},
        {"README", "1", "U0000001", "README"},
        {"trailing.", "1", "U0000001", "trailing."},
        {"O'Brien.txt", "2", "U0000002.txt", "O'Brien.txt"},
        {"x'); drop table t; --.t'x;t", "3", "U0000003.txt", "x'); drop table t; --.t'x;t"},
        {"a\"b.pdf", "4", "U0000004.pdf", "a\"b.pdf"},
        {"r\u00e9sum\u00e9 2026 (v2).pdf", "5", "U0000005.pdf", "r\u00e9sum\u00e9 2026 (v2).pdf"},
        {"photo.\u00e9\u00e9", "5", "U0000005", "photo.\u00e9\u00e9"},
        {"data.0123456789abcdefXYZ", "8", "U0000008.0123456789abcde", "data.0123456789abcdefXYZ"},
        {"C:\\docs.d\\photo", "9", "U0000009", "photo"},
        {"../../etc/.bashrc", "10", "U0000010.bashrc", ".bashrc"},
        {"a/..", "11", "U0000011", ".."},
        {"big.bin", "123456789", "U123456789.bin", "big.bin"},
    };
    for (const auto& c : cases) {
        restart();
        next_value(c.value);
        EXPECT_STREQ(store("x", c.file), c.name) << c.file;
        const auto& run = db->statements.at(1).executions.at(0);
        EXPECT_EQ(run.find("file_name")->text, c.kept) << c.file;
    }
}

TEST_F(DocumentStore, TypeFromThePartElseTheMimeTableElseTheDefault) {
    const struct {
        const char* file;
        const char* sent;
        std::optional<std::string> default_type;
        const char* stored;
    } cases[] = {
        {"a.pdf", "text/plain", std::nullopt, "text/plain"},
        {"a.PDF", "", std::nullopt, "application/pdf"},
        {"a.jpeg", "", std::nullopt, "image/jpeg"},
        {"a.pd", "", std::nullopt, "application/octet-stream"},
        {"a.pd", "", "text/x-default", "text/x-default"},
        {"README", "", "text/x-default", "text/x-default"},
    };
    for (const auto& c : cases) {
        restart();
        config->mime_table = {{"image/jpeg", "jpg jpeg jpe"}, {"application/pdf", "pdf"}};
        config->default_mime_type = c.default_type;
        next_value("1");
        store("x", c.file, c.sent);
        EXPECT_EQ(db->statements.at(1).executions.at(0).find("mime_type")->text, c.stored)
            << c.file << " sent as '" << c.sent << "'";
    }
}

TEST_F(DocumentStore, UnusableDirectoryEndsTheRequestBeforeTheInsert) {
    const std::pair<std::string, std::string> cases[] = {
        {(dir / "missing").string(),
         "Unable to open file '" + (dir / "missing" / "U0000003.txt").string() + "' for output"},
        {"", "No directory set in demo_filedir"},
    };
    for (const auto& [setting, message] : cases) {
        restart();
        set_config("demo_filedir", setting);
        next_value("3");
        expect_death(message);
        EXPECT_EQ(db->statements.size(), 1u);
    }
}

TEST_F(DocumentStore, ShortWriteNamesTheChunkThatFailed) {
    set_config("demo_filedir", dir.string());
    next_value("4");
    // A file-size limit makes the second 8192-byte chunk come out short.
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    auto* old_handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 10000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    EXPECT_THROW(store(binary_content(20000), "a.bin"), fatal_error);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, old_handler);
    EXPECT_NE(client->written.find("Error writing 8192 bytes to '" +
                                   (dir / "U0000004.bin").string() + "', only got 1808"),
              std::string::npos)
        << client->written;
    EXPECT_EQ(db->statements.size(), 1u);
}

TEST_F(DocumentStore, DatabaseFailuresEndTheRequestWithTheDatabaseText) {
    const struct {
        const char* key;
        int parse_rc;
        const char* failing_bind;
        int exec_rc;
        std::size_t statements;
    } cases[] = {
        {"IMG_SEQ", 942, "", 0, 1},   {"insert", 942, "", 0, 2}, {"insert", 0, "seqno", 0, 2},
        {"insert", 0, "image", 0, 2}, {"insert", 0, "", 1, 2},
    };
    for (const auto& c : cases) {
        restart();
        db->messages = {{942, "no such table"}, {1, "unique violation"}, {1401, "too long"}};
        const std::string expected = c.parse_rc != 0           ? "no such table"
                                     : *c.failing_bind != '\0' ? "too long"
                                                               : "unique violation";
        if (std::string(c.key) != "IMG_SEQ") {
            next_value("5");
        }
        auto& script = db->on(c.key);
        script.parse_rc = c.parse_rc;
        script.bind_rc = {{c.failing_bind, 1401}};
        script.outcomes = {{.rc = c.exec_rc, .row = row_values{"5"}}};
        expect_death(expected);
        EXPECT_EQ(db->statements.size(), c.statements) << c.key << c.failing_bind;
    }
}

}  // namespace
}  // namespace kestrel::test
