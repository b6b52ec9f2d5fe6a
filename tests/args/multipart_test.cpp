// multipart_test.cpp - multipart bodies cut into pairs: the boundary, the
// line reader, odd and malformed parts, and bodies read in several pieces.
// Files stored in part order with their types and names: the bodies real
// clients sent (multipart_clients_test.cpp) and tests/pg/args_pg_test.cpp.
#include "args/multipart.hpp"

#include <optional>

#include "args/arglist.hpp"
#include "frame/diagnostics.hpp"
#include "support/multipart_body.hpp"
#include "support/request_fixture.hpp"

namespace kestrel::test {
namespace {

constexpr const char* form_type = "multipart/form-data; boundary=XyZ";

using Multipart = request_test;

TEST_F(Multipart, OddAndMalformedBodiesStayInsideTheBufferAndStoreNothing) {
    const std::string cd = "Content-Disposition: form-data; name=\"a\"";
    const std::string unsupported = "Not supported Content-Disposition";
    const std::string cut = "Multipart body ends before its closing boundary";
    const struct {
        const char* what;
        std::string body;
        pair_list expected;
        std::optional<std::string> death{};  // the request ends, with this in its page
        std::string boundary = "XyZ";        // as the content type gives it
    } cases[] = {
        {"values as sent, never decoded",
         multipart_body("XyZ", {field("t", "x+y%20 \n z")}),
         {{"t", "x+y%20 \n z"}}},
        {"empty file input", multipart_body("XyZ", {file("f", "", "")}), {{"f", ""}}},
        {"file name without content", multipart_body("XyZ", {file("f", "a.txt", "")}), {{"f", ""}}},
        {"filename before name",
         multipart_body("XyZ",
                        {part{"Content-Disposition: form-data; filename=\"x.txt\"; name=\"f\""}}),
         {{"f", ""}}},
        {"no name at all",
         multipart_body("XyZ", {part{"Content-Disposition: form-data;", {}, "v"}}),
         {{"", "v"}}},
        {"name without closing quote",
         multipart_body("XyZ", {part{"Content-Disposition: form-data; name=\"abc", {}, "v"}}),
         {{"abc", "v"}}},
        // The part ends five bytes before the match; the rest up to the next
        // boundary is a part of its own, without a disposition line.
        {"boundary text inside content",
         multipart_body("XyZ", {field("a", "before XyZ after"), field("b", "2")}),
         {},
         unsupported},
        {"boundary at a line start inside content",
         multipart_body("XyZ", {field("a",
                                      "one\r\n--XyZ\r\nContent-Disposition: form-data; "
                                      "name=\"b\"\r\n\r\ntwo")}),
         {{"a", "one"}, {"b", "two"}}},
        {"quoted boundary matches nothing",
         multipart_body("XyZ", {field("a", "1")}),
         {},
         cut,
         "\"XyZ\""},
        {"lower-case disposition",
         multipart_body("XyZ", {part{"content-disposition: form-data; name=\"a\"", {}, "1"}}),
         {{"a", "1"}}},
        {"attachment disposition",
         multipart_body("XyZ", {part{"Content-Disposition: attachment; name=\"a\"", {}, "1"}}),
         {},
         unsupported},
        {"part without disposition",
         multipart_body("XyZ", {field("a", "1"), part{"Content-Type: text/plain", {}, "2"}}),
         {},
         unsupported},
        {"closing boundary without line end",
         "--XyZ\r\n" + cd + "\r\n\r\nv\r\n--XyZ--",
         {{"a", "v"}}},
        {"boundary in the last bytes", "--XyZ\r\n" + cd + "\r\n\r\nv\r\n--XyZ", {}, cut},
        {"closing boundary cut in its dashes", "--XyZ\r\n" + cd + "\r\n\r\nv\r\n--XyZ-", {}, cut},
        {"last part never closed", "--XyZ\r\n" + cd + "\r\n\r\nvalue", {}, cut},
        {"empty body", "", {}, cut},
        {"headers without blank line", "--XyZ\r\n" + cd + "\r\n--XyZ--", {{"a", ""}}},
        {"blank line at the end of the part", "--XyZ\r\n" + cd + "\r\n\r\n--XyZ--", {{"a", ""}}},
        {"carriage return ends the part", "--XyZ\r\n" + cd + "\r\n\r\r\n--XyZ--", {{"a", ""}}},
        {"only the closing boundary", "--XyZ--\r\n", {}},
        {"closing boundary first, epilogue ignored", "--XyZ--XyZ\r\n" + cd + "\r\n\r\nv", {}},
        {"boundary right after the first", "--XyZ\r\n--XyZ--", {}, unsupported},
        {"boundary text at the start", "XyZ\r\nXyZ", {}, cut},
        {"second boundary inside the skipped byte", "XyZXyZ--", {}, cut},
        {"bare line feeds", "--XyZ\n" + cd + "\n\nv\n--XyZ--\n", {}, unsupported},
        {"nothing but text", "no boundary here", {}, cut},
    };
    for (const auto& c : cases) {
        restart();
        post(c.body, "multipart/form-data; boundary=" + c.boundary);
        if (c.death) {
            EXPECT_THROW(build_arglist(ctx), fatal_error) << c.what;
            EXPECT_NE(client->written.find(*c.death), std::string::npos) << c.what;
        } else {
            build_arglist(ctx);
            EXPECT_EQ(pairs(), c.expected) << c.what;
        }
        EXPECT_TRUE(db->statements.empty()) << c.what;
    }
}

// Every part is read before the first file is stored: neither a body cut
// short nor a bad part after a file leaves a stored file behind.
TEST_F(Multipart, RefusedBodiesStoreNoFileOfTheirEarlierParts) {
    const std::string body = multipart_body(
        "XyZ", {field("a", "1"), file("f", "a.txt", "stored first?"), field("b", "2")});
    const std::string in_file = body.substr(0, body.find("first?"));
    const std::string bad_after_file =
        multipart_body("XyZ", {file("f", "a.txt", "stored first?"),
                               part{"Content-Disposition: inline; name=\"b\"", {}, "2"}});
    const std::pair<std::string, std::string> cases[] = {
        {in_file, "Multipart body ends before its closing boundary"},
        {bad_after_file, "Not supported Content-Disposition"},
    };
    for (const auto& [cut_body, message] : cases) {
        restart();
        post(cut_body, form_type);
        EXPECT_THROW(build_arglist(ctx), fatal_error);
        EXPECT_NE(client->written.find(message), std::string::npos) << client->written;
        EXPECT_TRUE(db->statements.empty());
        EXPECT_TRUE(ctx.args.empty());
    }
}

TEST_F(Multipart, ManyPartsAreReadInChunksOfTheConfiguredSize) {
    set_config("read_chunk_size", "64");
    std::vector<part> parts;
    pair_list expected;
    for (int i = 0; i < 250; ++i) {
        const std::string value = i == 100 ? std::string(1000, 'q') : std::to_string(i * i);
        parts.push_back(field("f" + std::to_string(i), value));
        expected.emplace_back("f" + std::to_string(i), value);
    }
    post(multipart_body("XyZ", parts), form_type);
    client->max_read = 37;  // a pipe may deliver less than asked
    build_arglist(ctx);
    EXPECT_EQ(pairs(), expected);
    EXPECT_EQ(get_unique_names_cnt(ctx), 250);
    EXPECT_EQ(client->offset, client->body.size());
    EXPECT_GT(client->asked.size(), 1u);
    EXPECT_LE(*std::max_element(client->asked.begin(), client->asked.end()), 64u);
}

TEST_F(Multipart, ShortBodyEndsTheRequestAndStoresNothing) {
    db->on("IMG_SEQ").outcomes = {{.row = row_values{"1"}}};
    const std::string body = multipart_body("XyZ", {file("f", "a.txt", "content")});
    post(body, form_type);
    client->body.resize(body.size() - 10);
    EXPECT_THROW(build_arglist(ctx), fatal_error);
    EXPECT_NE(client->written.find("Error Reading from Client!"), std::string::npos);
    EXPECT_TRUE(db->statements.empty());
    EXPECT_TRUE(ctx.args.empty());
}

// Without a length nothing is read, so no closing boundary arrives
// (malformed lengths: request_body_test).
TEST_F(Multipart, MissingContentLengthIsRefusedUnread) {
    for (const std::string_view length : {"", "0", "(absent)"}) {
        restart();
        std::vector<std::string> env = {"REQUEST_METHOD=POST",
                                        std::string("CONTENT_TYPE=") + form_type};
        if (length != "(absent)") {
            env.push_back("CONTENT_LENGTH=" + std::string(length));
        }
        set_env(env);
        client->body = multipart_body("XyZ", {field("a", "1")});
        EXPECT_THROW(build_arglist(ctx), fatal_error) << length;
        EXPECT_NE(client->written.find("Multipart body ends before its closing boundary"),
                  std::string::npos)
            << length;
        EXPECT_TRUE(ctx.args.empty()) << length;
        EXPECT_TRUE(client->asked.empty()) << length;
    }
}

TEST_F(Multipart, BoundaryComesFromAMultipartContentType) {
    const struct {
        std::vector<std::string> env;
        std::string boundary_or_error;
    } cases[] = {
        {{"HTTP_CONTENT_TYPE=multipart/form-data; boundary=AbC; charset=x",
          "CONTENT_TYPE=multipart/form-data; boundary=Other"},
         "AbC"},
        {{"CONTENT_TYPE=multipart/form-data; boundary=Line\nnext"}, "Line"},
        {{}, "not *Null*"},
        {{"CONTENT_TYPE=text/plain"}, "not text/plain"},
        {{"CONTENT_TYPE=multipart/form-data"}, "not multipart/form-data"},
        {{"CONTENT_TYPE=Multipart/Form-Data; boundary=x"}, "not Multipart/Form-Data"},
    };
    for (const auto& c : cases) {
        client->written.clear();
        wrb().answer = response();
        set_env(c.env);
        if (!c.boundary_or_error.starts_with("not ")) {
            EXPECT_EQ(parse_content_type(ctx), c.boundary_or_error);
            continue;
        }
        EXPECT_THROW(parse_content_type(ctx), fatal_error);
        EXPECT_NE(client->written.find("Content Type must be multipart/form-data, " +
                                       c.boundary_or_error),
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
}  // namespace kestrel::test
