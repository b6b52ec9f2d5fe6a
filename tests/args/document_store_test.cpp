// document_store_test.cpp - ldimage: the name query, the insert and its
// binds, table and directory mode, and every way it can fail.
#include "args/document_store.hpp"

#include <sys/resource.h>

#include <csignal>

#include "frame/diagnostics.hpp"
#include "support/request_fixture.hpp"

namespace kestrel::test {
namespace {

std::string name_query(const std::string& file) {
    return "SELECT rtrim('U' || ltrim(to_char(demo.IMG_SEQ.NEXTVAL,'0000000')) ||            "
           "decode(nvl(instr('" +
           file + "','.',-1),0), 0, '', \t\t   substr('" + file + "',instr('" + file +
           "','.',-1),4))) FROM DUAL";
}

class DocumentStore : public request_test {
  protected:
    void next_name(const std::string& name) {
        auto& script = db->on("IMG_SEQ");
        script.outcomes = {{.row = row_values{name}}};
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

TEST_F(DocumentStore, TableModeInsertsTheBytes) {
    next_name("U0000042.jpg");
    const std::string content = binary_content(1000);
    EXPECT_STREQ(store(content, "C:\\docs\\photo.jpg", "image/jpeg"), "U0000042.jpg");

    ASSERT_EQ(db->statements.size(), 2u);
    EXPECT_EQ(db->statements[0].text, name_query("C:\\docs\\photo.jpg"));
    const auto& insert = db->statements[1];
    EXPECT_EQ(insert.text,
              "insert into demo.wwv_document (name,mime_type,doc_size,content) values "
              "(:seqno,:mime_type,:length,:image)");
    const auto& binds = insert.executions.at(0).binds;
    ASSERT_EQ(binds.size(), 4u);
    EXPECT_EQ(binds[0].name, ":seqno");
    EXPECT_EQ(binds[0].text, "U0000042.jpg");
    EXPECT_EQ(binds[1].name, ":mime_type");
    EXPECT_EQ(binds[1].text, "image/jpeg");
    EXPECT_EQ(binds[2].name, ":length");
    EXPECT_EQ(binds[2].type, db::data_type::integer);
    EXPECT_EQ(binds[2].integer, 1000);
    EXPECT_EQ(binds[3].name, ":image");
    EXPECT_EQ(binds[3].type, db::data_type::long_varraw);
    EXPECT_EQ(binds[3].text, content);

    restart();
    set_config("demo_image_tname", "docs");
    next_name("U0000001");
    store("x", "README");
    EXPECT_TRUE(db->statements.at(1).text.starts_with("insert into demo.docs (")) << "configured";
}

TEST_F(DocumentStore, SingleQuotesInTheFileNameAreDoubledInTheLiteral) {
    const std::pair<std::string, std::string> cases[] = {
        {"O'Brien.txt", "O''Brien.txt"},
        {"x'); drop table t; --.txt", "x''); drop table t; --.txt"},
        {"''", "''''"},
    };
    for (const auto& [file, literal] : cases) {
        db->statements.clear();
        next_name("U0000001.txt");
        store("x", file);
        EXPECT_EQ(db->statements.at(0).text, name_query(literal)) << file;
    }
}

TEST_F(DocumentStore, DirectoryModeWritesTheFileAndStoresItsPath) {
    const auto updir = dir / "up";
    std::filesystem::create_directories(updir);
    set_config("demo_filedir", updir.string());
    next_name("U0000042.pdf");
    const std::string content = binary_content(20000);
    EXPECT_STREQ(store(content, "report.pdf"), "U0000042.pdf");

    EXPECT_EQ(read_file(updir / "U0000042.pdf"), content);
    const auto& run = db->statements.at(1).executions.at(0);
    EXPECT_EQ(run.find("length")->integer, -20000);
    EXPECT_EQ(run.find("image")->text, (updir / "U0000042.pdf").string());
    EXPECT_EQ(run.find("seqno")->text, "U0000042.pdf");
}

TEST_F(DocumentStore, DirectoryModeNeverLeavesTheDirectory) {
    const auto updir = dir / "up";
    std::filesystem::create_directories(updir / "U1.");
    set_config("demo_filedir", updir.string());
    for (const char* name : {"U1./..", "../U1", "U1\\..", "..", "", "/etc/x"}) {
        next_name(name);
        client->written.clear();
        wrb().answer = response();
        db->statements.clear();
        expect_death("is not a plain file name");
        EXPECT_EQ(db->statements.size(), 1u) << "no insert for " << name;
    }
    EXPECT_EQ(std::distance(std::filesystem::recursive_directory_iterator(updir),
                            std::filesystem::recursive_directory_iterator()),
              1)
        << "nothing written beside the directory U1.";
    EXPECT_FALSE(std::filesystem::exists(dir / "U1")) << "nothing written above it";
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
        next_name("U0000003.txt");
        expect_death(message);
        EXPECT_EQ(db->statements.size(), 1u);
    }
}

TEST_F(DocumentStore, ShortWriteNamesTheChunkThatFailed) {
    set_config("demo_filedir", dir.string());
    next_name("U0000004.bin");
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
            next_name("U0000005.txt");
        }
        auto& script = db->on(c.key);
        script.parse_rc = c.parse_rc;
        script.bind_rc = {{c.failing_bind, 1401}};
        script.outcomes = {{.rc = c.exec_rc, .row = row_values{"U0000005.txt"}}};
        expect_death(expected);
        EXPECT_EQ(db->statements.size(), c.statements) << c.key << c.failing_bind;
    }
}

}  // namespace
}  // namespace kestrel::test
