// args_pg_test.cpp - the argument list against a real session: generic mode
// through the toolkit's cgi_args, multipart uploads stored in table and
// directory mode, file names with quotes, the rollback of an upload when
// the request fails afterwards, and bodies cut short that store nothing.
#include <numeric>

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
        {"it's.a'b", ".ab"},
        {"x'); drop table t; --.pdf", ".pdf"},
        {"'", ""},
        {"scan.jpeg", ".jpeg"},
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
    EXPECT_EQ(scalar("select convert_from(content, 'UTF8') || '|' || file_name from "
                     "kestrel_app.wwv_document where name like '%.txt'"),
              "data O'Brien.txt|O'Brien.txt");
    EXPECT_EQ(scalar("select file_name from kestrel_app.wwv_document where name like '%.jpg'"),
              "photo.jpg");
}

// The second file's insert fails (its generated name is taken) after the
// first file's row was inserted: that row goes with the rollback. A file
// name that is no UTF-8 is refused before anything is stored.
TEST_F(PgArgs, FatalErrorAfterAnUploadLeavesNoRow) {
    const long next = std::stol(scalar("select nextval('kestrel_app.img_seq')")) + 2;
    const std::string taken =
        "U" + std::string(7 - std::to_string(next).size(), '0') + std::to_string(next) + ".txt";
    exec("insert into kestrel_app.wwv_document (name) values ('" + taken + "')");
    post(multipart_body("XyZ", {file("f", "a.txt", "stored first"), file("g", "b.txt", "x")}),
         "multipart/form-data; boundary=XyZ");
    EXPECT_THROW(build_arglist(ctx), fatal_error);
    EXPECT_NE(client->written.find("duplicate key"), std::string::npos) << client->written;
    next_request(true);  // what the recovery point does
    EXPECT_EQ(scalar("select string_agg(name, ',') from kestrel_app.wwv_document"), taken);
    exec("delete from kestrel_app.wwv_document");

    unbuild_arglist(ctx);
    client->written.clear();
    wrb().answer = response();
    post(multipart_body("XyZ", {file("f", "a.txt", "stored first"), file("g", "\xff.txt", "x")}),
         "multipart/form-data; boundary=XyZ");
    EXPECT_THROW(build_arglist(ctx), fatal_error);
    EXPECT_NE(client->written.find("Field 'g' is not valid UTF8 text"), std::string::npos)
        << client->written;
    next_request(true);
    EXPECT_EQ(scalar("select count(*) from kestrel_app.wwv_document"), "0");
}

// A body cut short anywhere in its first 200 bytes, or in its last part
// after a whole file, stores nothing in either mode: no row, even inside the
// request's transaction, and no file.
TEST_F(PgArgs, BodiesCutShortStoreNothingInTableOrDirectoryMode) {
    const std::string body =
        multipart_body("XyZ", {field("title", "Holiday"),
                               file("photo", "beach.gif", binary_content(300), "image/gif"),
                               field("note", "after the file")});
    std::vector<std::size_t> cuts(200);
    std::iota(cuts.begin(), cuts.end(), 0);
    cuts.push_back(body.find("after the file"));
    cuts.push_back(body.size() - 3);
    const auto updir = dir / "uploads";
    std::filesystem::create_directories(updir);
    for (const bool directory : {false, true}) {
        wrb().config.clear();
        if (directory) {
            set_config("app_filedir", updir.string());
        }
        for (const std::size_t cut : cuts) {
            unbuild_arglist(ctx);
            post(body.substr(0, cut), "multipart/form-data; boundary=XyZ");
            EXPECT_THROW(build_arglist(ctx), fatal_error) << cut;
            EXPECT_TRUE(ctx.args.empty()) << cut;
            EXPECT_EQ(selected("select count(*) from kestrel_app.wwv_document"), "0") << cut;
            EXPECT_TRUE(std::filesystem::is_empty(updir)) << cut;
        }
        unbuild_arglist(ctx);
        post(body, "multipart/form-data; boundary=XyZ");
        build_arglist(ctx);
        EXPECT_EQ(selected("select count(*) from kestrel_app.wwv_document"), "1");
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(updir), {}), directory ? 1 : 0);
        next_request(true);
    }
}

// Generic mode receives the fields of the bodies other parsers wrote, by
// their names; a body cut short passes nothing.
TEST_F(PgArgs, GenericModeGetsTokenNamesAndReorderedHeaders) {
    const std::string state =
        "select array_to_string(cgi_args.names(), '|') || '/' || "
        "array_to_string(cgi_args.vals(), '|')";
    set_config("app_argv_only", "yes");
    const std::string body = multipart_body(
        "XyZ", {part{"Content-Disposition: form-data; name=bit", {}, "1"},
                part{"Content-Type: text/plain",
                     {"Content-Encoding: identity",
                      "Content-Disposition: form-data; name=doc; filename=notes.txt"},
                     "file body"},
                field("grüße", "naïve")});
    post(body.substr(0, body.find("file body") + 4), "multipart/form-data; boundary=XyZ");
    EXPECT_THROW(build_arglist(ctx), fatal_error);
    EXPECT_EQ(selected("select cgi_args.argc()"), "0");

    unbuild_arglist(ctx);
    post(body, "multipart/form-data; boundary=XyZ");
    build_arglist(ctx);
    const std::string got = selected(state);
    EXPECT_TRUE(got.starts_with("bit|doc|grüße/1|U") && got.ends_with(".txt|naïve")) << got;
    EXPECT_EQ(selected("select convert_from(content, 'UTF8') || '/' || mime_type from "
                       "kestrel_app.wwv_document"),
              "file body/text/plain");
}

}  // namespace
}  // namespace kestrel::test
