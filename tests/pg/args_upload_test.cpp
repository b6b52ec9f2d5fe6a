// args_upload_test.cpp - multipart uploads stored through the production
// backend: table mode, directory mode, file names with quotes, and the
// rollback of an upload when the request fails afterwards.
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "args/arglist.hpp"
#include "args/multipart_body.hpp"
#include "db/query.hpp"
#include "frame/diagnostics.hpp"
#include "pg/args_pg_fixture.hpp"

namespace kestrel {
namespace {

using test::field;
using test::file;
using test::multipart_body;

// Every byte value, CR LF pairs and dashes, longer than several read chunks.
std::string binary_content(std::size_t n) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i) {
        s[i] = static_cast<char>(i % 7 == 0 ? '\r' : i % 7 == 1 ? '\n' : (i * 13) % 256);
    }
    return s;
}

int sequence_of(const std::string& name) {
    return std::stoi(name.substr(1, 7));
}

std::string read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class PgUpload : public test::args_pg_test {
  protected:
    const std::string image = binary_content(70000);
    const std::string text = "first line\r\nsecond line\r\n";

    // Two text fields and two files, the files in the second and fourth part.
    void post_form() {
        post_multipart(multipart_body("----kestrelXyZ",
                                      {field("title", "Holiday"),
                                       file("photo", "C:\\pics\\beach.gif", image, "image/gif"),
                                       field("note", "two files"),
                                       file("notes", "notes.txt", text, "text/plain")}),
                       "----kestrelXyZ");
    }

    // The argument list holds the texts and the generated names, in order.
    std::pair<std::string, std::string> check_arguments() {
        EXPECT_EQ(ctx.args.size(), 4u);
        if (ctx.args.size() != 4) {
            return {};
        }
        EXPECT_EQ(ctx.args[0].value, "Holiday");
        EXPECT_EQ(ctx.args[2].value, "two files");
        const std::string first(ctx.args[1].value);
        const std::string second(ctx.args[3].value);
        EXPECT_EQ(ctx.args[1].name, "photo");
        EXPECT_EQ(ctx.args[3].name, "notes");
        EXPECT_EQ(first.size(), 12u) << first;
        EXPECT_TRUE(first.starts_with("U") && first.ends_with(".gif")) << first;
        EXPECT_TRUE(second.starts_with("U") && second.ends_with(".txt")) << second;
        EXPECT_EQ(sequence_of(second), sequence_of(first) + 1);
        return {first, second};
    }
};

TEST_F(PgUpload, TableModeStoresBothFilesUnderConsecutiveNames) {
    post_form();
    build_arglist(ctx);
    const auto [first, second] = check_arguments();
    end_request(false);

    const auto rows = query("select name, mime_type, doc_size, encode(content, 'hex') from " +
                            table("wwv_document") + " order by name");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0][0], first);
    EXPECT_EQ(rows[0][1], "image/gif");
    EXPECT_EQ(rows[0][2], std::to_string(image.size()));
    EXPECT_EQ(rows[0][3], hex(image));
    EXPECT_EQ(rows[1][0], second);
    EXPECT_EQ(rows[1][1], "text/plain");
    EXPECT_EQ(rows[1][2], std::to_string(text.size()));
    EXPECT_EQ(rows[1][3], hex(text));
}

TEST_F(PgUpload, DirectoryModeWritesTheFilesAndStoresTheirPaths) {
    const auto updir = dir / "uploads";
    std::filesystem::create_directories(updir);
    set_config({"app_filedir = " + updir.string()});
    post_form();
    build_arglist(ctx);
    const auto [first, second] = check_arguments();
    end_request(false);

    EXPECT_EQ(read_file(updir / first), image);
    EXPECT_EQ(read_file(updir / second), text);
    const auto rows = query("select name, doc_size, convert_from(content, 'UTF8') from " +
                            table("wwv_document") + " order by name");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0][0], first);
    EXPECT_EQ(rows[0][1], "-" + std::to_string(image.size()));
    EXPECT_EQ(rows[0][2], (updir / first).string());
    EXPECT_EQ(rows[1][1], "-" + std::to_string(text.size()));
    EXPECT_EQ(rows[1][2], (updir / second).string());
}

TEST_F(PgUpload, FileNamesWithQuotesStoreFineAndKeepTheirExtension) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"O'Brien.txt", ".txt"},
        {"it's.a'b", ".a'b"},
        {"x'); drop table t; --.pdf", ".pdf"},
        {"'", ""},
    };
    std::vector<test::part> parts;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        parts.push_back(file("f" + std::to_string(i), cases[i].first, "data " + cases[i].first));
    }
    post_multipart(multipart_body("AaB03x", parts), "AaB03x");
    build_arglist(ctx);
    ASSERT_EQ(ctx.args.size(), cases.size());
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const std::string name(ctx.args[i].value);
        EXPECT_EQ(name.size(), 8 + cases[i].second.size()) << name;
        EXPECT_TRUE(name.ends_with(cases[i].second)) << name;
    }
    end_request(false);
    EXPECT_EQ(scalar("select count(*) from " + table("wwv_document")),
              std::to_string(cases.size()));
    EXPECT_EQ(scalar("select convert_from(content, 'UTF8') from " + table("wwv_document") +
                     " where name like '%.txt'"),
              "data O'Brien.txt");
}

TEST_F(PgUpload, FatalErrorAfterAnUploadLeavesNoRow) {
    post_multipart(multipart_body("XyZ", {file("f", "a.txt", "stored first"),
                                          {"content-disposition: form-data; name=\"b\"", {}, ""}}),
                   "XyZ");
    EXPECT_THROW(build_arglist(ctx), fatal_error);
    std::array<char, 25> count{};
    ASSERT_EQ(select_into(ctx, "select count(*) from " + table("wwv_document"), count), 0);
    EXPECT_STREQ(count.data(), "1") << "the upload ran before the failing part";

    end_request(true);  // what the recovery point does
    EXPECT_EQ(scalar("select count(*) from " + table("wwv_document")), "0");
}

}  // namespace
}  // namespace kestrel
