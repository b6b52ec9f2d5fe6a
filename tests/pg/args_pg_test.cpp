// args_pg_test.cpp - the argument list against a real session: generic mode
// through the toolkit's cgi_args, multipart uploads stored in table and
// directory mode, file names with quotes, and the rollback of an upload when
// the request fails afterwards.
#include "args/arglist.hpp"
#include "db/query.hpp"
#include "db/session.hpp"
#include "frame/diagnostics.hpp"
#include "pg/pg_fixture.hpp"
#include "support/multipart_body.hpp"

namespace kestrel::test {
namespace {

using PgArgs = pg_fixture;

TEST_F(PgArgs, GenericFieldsReachCgiArgsInRequestOrder) {
    const std::string state =
        "select array_to_string(cgi_args.names(), '|') || '/' || "
        "array_to_string(cgi_args.vals(), '|') || '/' || cgi_args.argc()";
    set_config("app_argv_only", "yes");
    set_env({"REQUEST_METHOD=GET", "QUERY_STRING=a=1&b=x%27y%3B--&a=3"});
    build_arglist(ctx);
    EXPECT_TRUE(ctx.args.empty());
    EXPECT_EQ(selected(state), "a|b|a/1|x'y;--|3/3");
    // The counter is never reset by the gateway: a second request of the
    // same session numbers on.
    set_env({"REQUEST_METHOD=GET", "QUERY_STRING=c=4"});
    build_arglist(ctx);
    EXPECT_EQ(selected(state), "a|b|a|c/1|x'y;--|3|4/4");
}

TEST_F(PgArgs, UploadsStoreBothFilesUnderConsecutiveNamesInPartOrder) {
    // Large enough to stream to a table (COPY); a view takes the INSERT.
    const std::string image = binary_content((1 << 20) + 70000);
    const std::string text = "first line\r\nsecond line\r\n";
    exec(
        "create view kestrel_app.documents as select * from kestrel_app.wwv_document; "
        "grant all on kestrel_app.documents to kestrel_app");
    for (const char* mode : {"table", "directory", "view"}) {
        const bool directory = mode == std::string_view("directory");
        exec("delete from kestrel_app.wwv_document");
        unbuild_arglist(ctx);
        const auto updir = dir / "uploads";
        std::filesystem::create_directories(updir);
        wrb().config.clear();
        if (directory) {
            set_config("app_filedir", updir.string());
        }
        if (mode == std::string_view("view")) {
            set_config("app_image_tname", "documents");
        }
        post(multipart_body(
                 "----kestrelXyZ",
                 {field("title", "Holiday"),
                  file("photo", "C:\\pics\\beach.gif", image, "image/gif"),
                  field("note", "two files"), file("notes", "notes.txt", text, "text/plain")}),
             "multipart/form-data; boundary=----kestrelXyZ");
        build_arglist(ctx);
        ASSERT_EQ(ctx.args.size(), 4u);
        EXPECT_EQ(ctx.args[0].value, "Holiday");
        EXPECT_EQ(ctx.args[2].value, "two files");
        const std::string first(ctx.args[1].value);
        const std::string second(ctx.args[3].value);
        EXPECT_TRUE(first.starts_with("U") && first.ends_with(".gif") && first.size() == 12)
            << first;
        EXPECT_TRUE(second.starts_with("U") && second.ends_with(".txt")) << second;
        EXPECT_EQ(std::stoi(second.substr(1, 7)), std::stoi(first.substr(1, 7)) + 1);
        next_request();

        // Table mode stores the bytes; directory mode writes the files and
        // stores their paths with negative sizes.
        const auto row = [&](const std::string& name, const char* type, const std::string& bytes) {
            const std::string path = (updir / name).string();
            if (directory) {
                EXPECT_EQ(read_file(path), bytes);
                return pg_row{name, type, "-" + std::to_string(bytes.size()), hex(path)};
            }
            return pg_row{name, type, std::to_string(bytes.size()), hex(bytes)};
        };
        EXPECT_EQ(
            query("select name, mime_type, doc_size::text, encode(content, 'hex') from "
                  "kestrel_app.wwv_document order by name"),
            (std::vector<pg_row>{row(first, "image/gif", image), row(second, "text/plain", text)}))
            << mode;
    }
}

TEST_F(PgArgs, FileNamesWithQuotesStoreFineAndKeepTheirExtension) {
    const std::pair<std::string, std::string> cases[] = {
        {"O'Brien.txt", ".txt"},
        {"it's.a'b", ".a'b"},
        {"x'); drop table t; --.pdf", ".pdf"},
        {"'", ""},
        {"scan.jpeg", ".jpe"},
        {"archive.tar.gz", ".gz"},
        {"C:\\docs\\photo.jpg", ".jpg"},
    };
    std::vector<part> parts;
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        parts.push_back(file("f" + std::to_string(i), cases[i].first, "data " + cases[i].first));
    }
    post(multipart_body("AaB03x", parts), "multipart/form-data; boundary=AaB03x");
    build_arglist(ctx);
    ASSERT_EQ(ctx.args.size(), std::size(cases));
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const std::string name(ctx.args[i].value);
        EXPECT_EQ(name.size(), 8 + cases[i].second.size()) << name;
        EXPECT_TRUE(name.ends_with(cases[i].second)) << name;
    }
    next_request();
    EXPECT_EQ(scalar("select count(*) from kestrel_app.wwv_document"),
              std::to_string(std::size(cases)));
    EXPECT_EQ(scalar("select convert_from(content, 'UTF8') from kestrel_app.wwv_document "
                     "where name like '%.txt'"),
              "data O'Brien.txt");
}

TEST_F(PgArgs, FatalErrorAfterAnUploadLeavesNoRow) {
    post(multipart_body("XyZ", {file("f", "a.txt", "stored first"),
                                {"content-disposition: form-data; name=\"b\"", {}, ""}}),
         "multipart/form-data; boundary=XyZ");
    EXPECT_THROW(build_arglist(ctx), fatal_error);
    EXPECT_EQ(selected("select count(*) from kestrel_app.wwv_document"), "1")
        << "the upload ran before the failing part";
    next_request(true);  // what the recovery point does
    EXPECT_EQ(scalar("select count(*) from kestrel_app.wwv_document"), "0");
}

}  // namespace
}  // namespace kestrel::test
