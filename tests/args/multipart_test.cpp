// multipart_test.cpp - multipart bodies cut into pairs: the boundary, the
// line reader, parts with and without files, malformed parts, and bodies
// read in several pieces.
#include "args/multipart.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "args/arglist.hpp"
#include "args/args_fixture.hpp"
#include "frame/diagnostics.hpp"

namespace kestrel {
namespace {

using pair_list = std::vector<std::pair<std::string, std::string>>;
using test::field;
using test::file;
using test::multipart_body;

constexpr const char* form_type = "multipart/form-data; boundary=XyZ";

class Multipart : public test::args_test {
  protected:
    // Statements that stored a document.
    std::vector<const test::statement_record*> inserts() const {
        std::vector<const test::statement_record*> found;
        for (const auto& s : db->statements) {
            if (s.text.starts_with("insert into")) {
                found.push_back(&s);
            }
        }
        return found;
    }

    void expect_death_with(const std::string& message) {
        EXPECT_THROW(build_arglist(ctx), fatal_error);
        EXPECT_NE(client->written.find(message), std::string::npos) << client->written;
    }
};

TEST_F(Multipart, PlainFieldsAreTakenAsTheyAre) {
    post_multipart(multipart_body("XyZ", {field("a", "hello"), field("b", "x+y%20 \n z")}),
                   form_type);
    build_arglist(ctx);
    EXPECT_EQ(pairs(), (pair_list{{"a", "hello"}, {"b", "x+y%20 \n z"}}));
    EXPECT_TRUE(db->statements.empty());
}

TEST_F(Multipart, FilesAreStoredInPartOrderAndTheirFieldsHoldTheGeneratedNames) {
    db->on("IMG_SEQ").outcomes = {{.row = test::row_values{"U0000007.gif"}},
                                  {.row = test::row_values{"U0000008.txt"}}};
    std::string image(1000, '\0');
    for (std::size_t i = 0; i < image.size(); ++i) {
        image[i] = static_cast<char>(i * 7);
    }
    post_multipart(
        multipart_body("XyZ",
                       {field("title", "cat"), file("pic", "C:\\docs\\cat.gif", image, "image/gif"),
                        field("note", "two"), file("doc", "notes.txt", "line 1\r\nline 2")}),
        form_type);
    build_arglist(ctx);

    EXPECT_EQ(
        pairs(),
        (pair_list{
            {"title", "cat"}, {"pic", "U0000007.gif"}, {"note", "two"}, {"doc", "U0000008.txt"}}));
    const auto stored = inserts();
    ASSERT_EQ(stored.size(), 2u);
    const auto& first = stored[0]->executions.at(0);
    EXPECT_EQ(first.find("image")->text, image);
    EXPECT_EQ(first.find("mime_type")->text, "image/gif");
    EXPECT_EQ(first.find("length")->integer, 1000);
    const auto& second = stored[1]->executions.at(0);
    EXPECT_EQ(second.find("image")->text, "line 1\r\nline 2");
    EXPECT_EQ(second.find("mime_type")->text, "application/octet-stream");
    EXPECT_NE(db->statements[0].text.find("'C:\\docs\\cat.gif'"), std::string::npos);
}

TEST_F(Multipart, LastContentTypeLineWinsInAnyCase) {
    db->on("IMG_SEQ").outcomes = {{.row = test::row_values{"U0000001.png"}}};
    auto part = file("f", "a.png", "PNG");
    part.headers = {"content-TYPE: text/plain", "X-Other: y", "Content-type: image/png"};
    post_multipart(multipart_body("XyZ", {part}), form_type);
    build_arglist(ctx);
    ASSERT_EQ(inserts().size(), 1u);
    EXPECT_EQ(inserts()[0]->executions.at(0).find("mime_type")->text, "image/png");
}

TEST_F(Multipart, OddPartsGiveEmptyNamesOrValuesAndStoreNothing) {
    struct Case {
        const char* what;
        test::part part;
        pair_list expected;
    };
    const std::vector<Case> cases = {
        {"empty file input", file("f", "", ""), {{"f", ""}}},
        {"file name without content", file("f", "a.txt", ""), {{"f", ""}}},
        {"filename before name",
         {"Content-Disposition: form-data; filename=\"x.txt\"; name=\"f\"", {}, ""},
         {{"", ""}}},
        {"no name at all", {"Content-Disposition: form-data;", {}, "v"}, {{"", "v"}}},
        {"name without closing quote",
         {"Content-Disposition: form-data; name=\"abc", {}, "v"},
         {{"abc", "v"}}},
    };
    for (const auto& c : cases) {
        SetUp();
        post_multipart(multipart_body("XyZ", {c.part}), form_type);
        build_arglist(ctx);
        EXPECT_EQ(pairs(), c.expected) << c.what;
        EXPECT_TRUE(inserts().empty()) << c.what;
        TearDown();
    }
}

TEST_F(Multipart, BoundaryTextInsideContentEndsThePart) {
    post_multipart(multipart_body("XyZ", {field("a", "before XyZ after"), field("b", "2")}),
                   form_type);
    // The part ends five bytes before the match; what follows the match up
    // to the next boundary is read as a part of its own, which has no
    // disposition line.
    expect_death_with("Not supported Content-Disposition");
}

TEST_F(Multipart, BoundaryAtLineStartInsideContentCutsTheValue) {
    post_multipart(multipart_body("XyZ", {field("a", "one\r\n--XyZ\r\n" +
                                                         std::string("Content-Disposition: "
                                                                     "form-data; name=\"b\"\r\n"
                                                                     "\r\ntwo"))}),
                   form_type);
    build_arglist(ctx);
    EXPECT_EQ(pairs(), (pair_list{{"a", "one"}, {"b", "two"}}));
}

TEST_F(Multipart, QuotedBoundaryMatchesNothing) {
    post_multipart(multipart_body("XyZ", {field("a", "1")}),
                   "multipart/form-data; boundary=\"XyZ\"");
    build_arglist(ctx);
    EXPECT_TRUE(ctx.args.empty());
}

TEST_F(Multipart, LowerCaseDispositionIsRefused) {
    post_multipart(multipart_body("XyZ", {{"content-disposition: form-data; name=\"a\"", {}, "1"}}),
                   form_type);
    expect_death_with("Not supported Content-Disposition");
}

TEST_F(Multipart, BodyLargerThanTheChunkSizeIsReadInSeveralReads) {
    set_config({"read_chunk_size = 64"});
    const std::string big(1000, 'q');
    post_multipart(multipart_body("XyZ", {field("a", "1"), field("big", big), field("z", "2")}),
                   form_type);
    client->max_read = 37;  // a pipe may deliver less than asked
    build_arglist(ctx);
    EXPECT_EQ(pairs(), (pair_list{{"a", "1"}, {"big", big}, {"z", "2"}}));
    EXPECT_GT(client->asked.size(), 1u);
    for (const std::size_t asked : client->asked) {
        EXPECT_LE(asked, 64u);
    }
    EXPECT_EQ(client->offset, client->body.size());
}

TEST_F(Multipart, ShortBodyEndsTheRequestAndStoresNothing) {
    db->on("IMG_SEQ").outcomes = {{.row = test::row_values{"U0000001.txt"}}};
    const std::string body = multipart_body("XyZ", {file("f", "a.txt", "content")});
    post_multipart(body, form_type);
    client->body = body.substr(0, body.size() - 10);
    expect_death_with("Error Reading from Client!");
    EXPECT_TRUE(db->statements.empty());
    EXPECT_TRUE(ctx.args.empty());
}

TEST_F(Multipart, MissingOrMalformedContentLengthMeansNoParts) {
    const std::string body = multipart_body("XyZ", {field("a", "1")});
    for (const char* length : {"", "abc", "-5", "12abc", "0"}) {
        SetUp();
        set_env({"REQUEST_METHOD=POST", std::string("CONTENT_TYPE=") + form_type,
                 std::string("CONTENT_LENGTH=") + length});
        client->body = body;
        build_arglist(ctx);
        EXPECT_TRUE(ctx.args.empty()) << length;
        EXPECT_TRUE(client->asked.empty()) << length;
        TearDown();
    }
    SetUp();
    set_env({"REQUEST_METHOD=POST", std::string("CONTENT_TYPE=") + form_type});
    client->body = body;
    build_arglist(ctx);
    EXPECT_TRUE(ctx.args.empty());
}

TEST_F(Multipart, MalformedBodiesStayInsideTheBuffer) {
    struct Case {
        const char* what;
        std::string body;
        pair_list expected;  // empty with dies: the request ends
        bool dies;
    };
    const std::string cd = "Content-Disposition: form-data; name=\"a\"";
    const std::vector<Case> cases = {
        {"boundary in the last bytes",
         "--XyZ\r\n" + cd + "\r\n\r\nv\r\n--XyZ",
         {{"a", "v"}},
         false},
        {"last part never closed", "--XyZ\r\n" + cd + "\r\n\r\nvalue", {}, false},
        {"headers without blank line", "--XyZ\r\n" + cd + "\r\n--XyZ--", {{"a", ""}}, false},
        {"blank line at the very end of the part",
         "--XyZ\r\n" + cd + "\r\n\r\n--XyZ--",
         {{"a", ""}},
         false},
        {"only the closing boundary", "--XyZ--\r\n", {}, false},
        {"adjacent boundaries", "--XyZ--XyZ--XyZ", {}, true},
        {"boundary right after the first", "--XyZ\r\n--XyZ--", {}, true},
        {"boundary text at the start", "XyZ\r\nXyZ", {}, true},
        {"second boundary inside the skipped byte", "XyZXyZ", {}, false},
        {"bare line feeds", "--XyZ\n" + cd + "\n\nv\n--XyZ--\n", {}, true},
        {"nothing but text", "no boundary here", {}, false},
        {"carriage return ends the part",
         "--XyZ\r\n" + cd + "\r\n\r\r\n--XyZ--",
         {{"a", ""}},
         false},
    };
    for (const auto& c : cases) {
        SetUp();
        post_multipart(c.body, form_type);
        if (c.dies) {
            EXPECT_THROW(build_arglist(ctx), fatal_error) << c.what;
        } else {
            build_arglist(ctx);
            EXPECT_EQ(pairs(), c.expected) << c.what;
        }
        TearDown();
    }
}

TEST_F(Multipart, ManyPartsGrowTheList) {
    std::vector<test::part> parts;
    for (int i = 0; i < 250; ++i) {
        parts.push_back(field("f" + std::to_string(i), std::to_string(i * i)));
    }
    post_multipart(multipart_body("XyZ", parts), form_type);
    build_arglist(ctx);
    ASSERT_EQ(ctx.args.size(), 250u);
    EXPECT_EQ(get_unique_names_cnt(ctx), 250);
    EXPECT_EQ(ctx.args[249].name, "f249");
    EXPECT_EQ(ctx.args[249].value, std::to_string(249 * 249));
}

TEST_F(Multipart, ContentTypeComesFromEitherVariable) {
    set_env({"HTTP_CONTENT_TYPE=multipart/form-data; boundary=AbC; charset=x",
             "CONTENT_TYPE=multipart/form-data; boundary=Other"});
    EXPECT_EQ(parse_content_type(ctx), "AbC");
    set_env({"CONTENT_TYPE=multipart/form-data; boundary=Line\nnext"});
    EXPECT_EQ(parse_content_type(ctx), "Line");
}

TEST_F(Multipart, ContentTypeThatIsNotMultipartIsRefused) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{}, "not *Null*"},
        {{"CONTENT_TYPE=text/plain"}, "not text/plain"},
        {{"CONTENT_TYPE=multipart/form-data"}, "not multipart/form-data"},
        {{"CONTENT_TYPE=Multipart/Form-Data; boundary=x"}, "not Multipart/Form-Data"},
    };
    for (const auto& [env, message] : cases) {
        client->written.clear();
        set_env(env);
        EXPECT_THROW(parse_content_type(ctx), fatal_error);
        EXPECT_NE(client->written.find("Content Type must be multipart/form-data, " + message),
                  std::string::npos)
            << client->written;
    }
}

TEST_F(Multipart, LineReaderEndsLinesAtCarriageReturnsOnly) {
    std::string text = "a\r\nb\rc\nd\r\n\r\n";
    EXPECT_STREQ(getl(ctx, text.data()), "a");
    EXPECT_STREQ(getl(ctx, nullptr), "b");
    EXPECT_STREQ(getl(ctx, nullptr), "c\nd");
    EXPECT_STREQ(getl(ctx, nullptr), "");
    EXPECT_STREQ(getl(ctx, nullptr), "");
    EXPECT_EQ(getl(ctx, nullptr), nullptr);
}

}  // namespace
}  // namespace kestrel
