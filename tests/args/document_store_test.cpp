// document_store_test.cpp - ldimage: the name query, the insert and its
// binds, table and directory mode, and every way it can fail.
#include "args/document_store.hpp"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "args/args_fixture.hpp"
#include "frame/diagnostics.hpp"

namespace kestrel {
namespace {

std::string name_query(const std::string& owner, const std::string& file) {
    return "SELECT rtrim('U' || ltrim(to_char(" + owner +
           ".IMG_SEQ.NEXTVAL,'0000000')) ||            decode(nvl(instr('" + file +
           "','.',-1),0), 0, '', \t\t   substr('" + file + "',instr('" + file +
           "','.',-1),4))) FROM DUAL";
}

std::string read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string bytes(std::size_t n) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i) {
        s[i] = static_cast<char>((i * 31) ^ (i >> 8));
    }
    return s;
}

class DocumentStore : public test::args_test {
  protected:
    void next_name(const std::string& name) {
        db->on("IMG_SEQ").outcomes = {{.row = test::row_values{name}}};
    }
    const char* store(const std::string& content, const std::string& file_name,
                      const std::string& mime = "application/pdf") {
        return ldimage(ctx, content, mime, file_name);
    }
    void expect_message(const std::string& message) {
        EXPECT_NE(client->written.find(message), std::string::npos) << client->written;
    }
};

TEST_F(DocumentStore, TableModeInsertsTheBytes) {
    next_name("U0000042.jpg");
    const std::string content = bytes(1000);
    EXPECT_STREQ(store(content, "C:\\docs\\photo.jpg", "image/jpeg"), "U0000042.jpg");

    ASSERT_EQ(db->statements.size(), 2u);
    EXPECT_EQ(db->statements[0].text, name_query("webuser", "C:\\docs\\photo.jpg"));
    const auto& insert = db->statements[1];
    EXPECT_EQ(insert.text,
              "insert into webuser.wwv_document (name,mime_type,doc_size,content) values "
              "(:seqno,:mime_type,:length,:image)");
    ASSERT_EQ(insert.executions.size(), 1u);
    const auto& binds = insert.executions[0].binds;
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
}

TEST_F(DocumentStore, ConfiguredTableNameIsUsed) {
    set_config({"shop_image_tname = docs"});
    next_name("U0000001");
    store("x", "README");
    EXPECT_EQ(db->statements.at(1).text.substr(0, 24), "insert into webuser.docs");
}

TEST_F(DocumentStore, SingleQuotesInTheFileNameAreDoubledInTheLiteral) {
    struct Case {
        std::string file;
        std::string literal;
    };
    const std::vector<Case> cases = {
        {"O'Brien.txt", "O''Brien.txt"},
        {"x'); drop table t; --.txt", "x''); drop table t; --.txt"},
        {"''", "''''"},
    };
    for (const auto& c : cases) {
        SetUp();
        next_name("U0000001.txt");
        store("x", c.file);
        EXPECT_EQ(db->statements.at(0).text, name_query("webuser", c.literal)) << c.file;
        TearDown();
    }
}

TEST_F(DocumentStore, DirectoryModeWritesTheFileAndStoresItsPath) {
    const auto updir = dir / "up";
    std::filesystem::create_directories(updir);
    set_config({"shop_filedir = " + updir.string()});
    next_name("U0000042.pdf");
    const std::string content = bytes(20000);
    EXPECT_STREQ(store(content, "report.pdf"), "U0000042.pdf");

    const auto path = updir / "U0000042.pdf";
    EXPECT_EQ(read_file(path), content);
    const auto& run = db->statements.at(1).executions.at(0);
    EXPECT_EQ(run.find("length")->integer, -20000);
    EXPECT_EQ(run.find("image")->text, path.string());
    EXPECT_EQ(run.find("seqno")->text, "U0000042.pdf");
}

TEST_F(DocumentStore, DirectoryModeNeverLeavesTheDirectory) {
    const auto updir = dir / "up";
    std::filesystem::create_directories(updir / "U1.");
    set_config({"shop_filedir = " + updir.string()});
    for (const char* name : {"U1./..", "../U1", "U1\\..", "..", "", "/etc/x"}) {
        next_name(name);
        client->written.clear();
        EXPECT_THROW(store("data", "x"), fatal_error) << name;
        expect_message("is not a plain file name");
        EXPECT_EQ(db->statements.size(), 1u) << "no insert for " << name;
        db->statements.clear();
    }
    EXPECT_EQ(std::distance(std::filesystem::recursive_directory_iterator(updir),
                            std::filesystem::recursive_directory_iterator()),
              1)
        << "nothing written beside the directory U1.";
    EXPECT_FALSE(std::filesystem::exists(dir / "U1")) << "nothing written above it";
}

TEST_F(DocumentStore, UnwritableDirectoryEndsTheRequest) {
    set_config({"shop_filedir = " + (dir / "missing").string()});
    next_name("U0000003.txt");
    EXPECT_THROW(store("data", "a.txt"), fatal_error);
    expect_message("Unable to open file '" + (dir / "missing" / "U0000003.txt").string() +
                   "' for output");
    EXPECT_EQ(db->statements.size(), 1u);
}

TEST_F(DocumentStore, EmptyDirectorySettingIsRefused) {
    set_config({"shop_filedir ="});
    next_name("U0000003.txt");
    EXPECT_THROW(store("data", "a.txt"), fatal_error);
    expect_message("No directory set in shop_filedir");
}

TEST_F(DocumentStore, ShortWriteNamesTheChunkThatFailed) {
    set_config({"shop_filedir = " + dir.string()});
    next_name("U0000004.bin");
    // A file-size limit makes the second 8192-byte chunk come out short.
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    auto* old_handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 10000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    EXPECT_THROW(store(bytes(20000), "a.bin"), fatal_error);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, old_handler);
    expect_message("Error writing 8192 bytes to '" + (dir / "U0000004.bin").string() +
                   "', only got 1808");
    EXPECT_EQ(db->statements.size(), 1u);
}

TEST_F(DocumentStore, DatabaseFailuresEndTheRequestWithTheDatabaseText) {
    struct Case {
        const char* what;
        const char* key;
        int parse_rc;
        const char* failing_bind;
        int exec_rc;
        std::size_t statements;
    };
    const std::vector<Case> cases = {
        {"name query", "IMG_SEQ", 942, "", 0, 1},    {"insert parse", "insert", 942, "", 0, 2},
        {"seqno bind", "insert", 0, "seqno", 0, 2},  {"image bind", "insert", 0, "image", 0, 2},
        {"insert execution", "insert", 0, "", 1, 2},
    };
    for (const auto& c : cases) {
        SetUp();
        db->messages = {{942, "no such table"}, {1, "unique violation"}, {1401, "too long"}};
        if (std::string(c.key) != "IMG_SEQ") {
            next_name("U0000005.txt");
        }
        auto& script = db->on(c.key);
        script.parse_rc = c.parse_rc;
        if (*c.failing_bind != '\0') {
            script.bind_rc = {{c.failing_bind, 1401}};
        }
        script.outcomes = {{.rc = c.exec_rc, .row = test::row_values{"U0000005.txt"}}};
        EXPECT_THROW(store("data", "a.txt"), fatal_error) << c.what;
        EXPECT_EQ(db->statements.size(), c.statements) << c.what;
        const bool any = client->written.find("no such table") != std::string::npos ||
                         client->written.find("unique violation") != std::string::npos ||
                         client->written.find("too long") != std::string::npos;
        EXPECT_TRUE(any) << c.what << ": " << client->written;
        TearDown();
    }
}

}  // namespace
}  // namespace kestrel
