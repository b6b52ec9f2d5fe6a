// request_body_test.cpp - bodies as hostile clients and forwarding web
// servers send them: malformed and short lengths, chunked bodies without a
// length, and the limits on size, fields and file parts.
#include "frame/request_body.hpp"

#include <algorithm>
#include <cstdint>
#include <optional>

#include "args/arglist.hpp"
#include "frame/diagnostics.hpp"
#include "support/multipart_body.hpp"
#include "support/request_fixture.hpp"

namespace kestrel::test {
namespace {

constexpr const char* form = "application/x-www-form-urlencoded";
constexpr const char* multipart = "multipart/form-data; boundary=XyZ";

class RequestBody : public request_test {
  protected:
    // A POST whose environment is exactly env (plus method and type).
    void send(const std::string& type, const std::string& body, std::vector<std::string> env) {
        env.push_back("REQUEST_METHOD=POST");
        env.push_back("CONTENT_TYPE=" + type);
        set_env(env);
        client->body = body;
        client->offset = 0;
    }
    bool refused_with(const std::string& message) {
        try {
            build_arglist(ctx);
        } catch (const fatal_error&) {
            return client->written.find(message) != std::string::npos;
        }
        return false;
    }
    std::size_t stored_documents() const {
        return static_cast<std::size_t>(
            std::count_if(db->statements.begin(), db->statements.end(),
                          [](const auto& s) { return s.text.starts_with("insert into"); }));
    }
};

TEST(ContentLength, OnlyPlainDecimalDigits) {
    const std::pair<const char*, std::optional<std::uint64_t>> cases[] = {
        {"7", 7},
        {"0", 0},
        {"007", 7},
        {"-5", std::nullopt},
        {"abc", std::nullopt},
        {"7abc", std::nullopt},
        {"0x10", std::nullopt},
        {"+7", std::nullopt},
        {" 7", std::nullopt},
        {"7 ", std::nullopt},
        {"", std::nullopt},
        {"99999999999999999999999", UINT64_MAX},
    };
    for (const auto& [text, value] : cases) {
        EXPECT_EQ(parse_content_length(text), value) << text;
    }
}

TEST_F(RequestBody, MalformedLengthIsRefusedBeforeAnythingIsRead) {
    for (const char* type : {form, multipart}) {
        for (const char* length : {"-5", "7abc", "+7"}) {
            restart();
            send(type, "a=1&b=2", {std::string("CONTENT_LENGTH=") + length});
            EXPECT_TRUE(refused_with("Malformed CONTENT_LENGTH")) << type << " " << length;
            EXPECT_TRUE(client->asked.empty()) << length;
            EXPECT_TRUE(ctx.args.empty()) << length;
        }
    }
}

TEST_F(RequestBody, BodyWithoutLengthIsReadToItsEndWhenTheRequestHasOne) {
    send(form, "a=1&b=2", {"HTTP_TRANSFER_ENCODING=chunked"});
    build_arglist(ctx);
    EXPECT_EQ(pairs(), (pair_list{{"a", "1"}, {"b", "2"}}));

    restart();
    db->on("IMG_SEQ").outcomes = {{.row = row_values{"1"}}};
    send(multipart, multipart_body("XyZ", {field("a", "1"), file("f", "x.txt", "data")}),
         {"HTTP_TRANSFER_ENCODING=chunked"});
    build_arglist(ctx);
    EXPECT_EQ(pairs(), (pair_list{{"a", "1"}, {"f", "U0000001.txt"}}));
    EXPECT_EQ(stored_documents(), 1u);

    // Without a length and without a transfer coding there is no body.
    restart();
    send(form, "a=1", {});
    build_arglist(ctx);
    EXPECT_TRUE(ctx.args.empty());
    EXPECT_TRUE(client->asked.empty());
}

TEST_F(RequestBody, UnannouncedBodyOverTheLimitIsRefused) {
    for (const char* type : {form, multipart}) {
        restart();
        set_config("max_body_size", "100");
        send(type, std::string(101, 'a'), {"HTTP_TRANSFER_ENCODING=chunked"});
        EXPECT_TRUE(refused_with("exceeds the limit of 100 bytes")) << type;
        EXPECT_TRUE(ctx.args.empty());
    }
}

TEST_F(RequestBody, ShortFormBodyFailsInsteadOfRunningOnHalfAForm) {
    send(form, "a=1&b", {"CONTENT_LENGTH=7"});
    EXPECT_TRUE(refused_with("Error Reading from Client!"));
    EXPECT_TRUE(ctx.args.empty());
}

TEST_F(RequestBody, UrlEncodedBodiesHaveTheirOwnSmallerLimit) {
    set_config("max_body_size", "1000");
    set_config("max_form_body_size", "10");
    const std::string body = "a=1&b=2345";
    send(form, body + "6", {"CONTENT_LENGTH=11"});
    EXPECT_TRUE(refused_with("exceeds the limit of 10 bytes"));
    EXPECT_TRUE(client->asked.empty());

    restart();
    set_config("max_body_size", "1000");
    set_config("max_form_body_size", "10");
    const std::string parts = multipart_body("XyZ", {field("a", "0123456789")});
    send(multipart, parts, {"CONTENT_LENGTH=" + std::to_string(parts.size())});
    build_arglist(ctx);
    EXPECT_EQ(pairs(), (pair_list{{"a", "0123456789"}}));

    // The form limit never exceeds the body limit.
    restart();
    set_config("max_body_size", "5");
    set_config("max_form_body_size", "10");
    send(form, body, {"CONTENT_LENGTH=10"});
    EXPECT_TRUE(refused_with("exceeds the limit of 5 bytes"));
}

TEST_F(RequestBody, FieldCountIsLimitedOnBothRoads) {
    set_config("max_form_fields", "3");
    send(form, "a&b&c", {"CONTENT_LENGTH=5"});
    build_arglist(ctx);
    EXPECT_EQ(ctx.args.size(), 3u);

    restart();
    set_config("max_form_fields", "3");
    send(form, "a&b&&c&d", {"CONTENT_LENGTH=8"});
    EXPECT_TRUE(refused_with("Too many form fields: more than 3"));

    restart();
    set_config("max_form_fields", "3");
    set_env({"REQUEST_METHOD=GET", "QUERY_STRING=a=1&a=2&a=3&a=4"});
    EXPECT_TRUE(refused_with("Too many form fields: more than 3"));

    restart();
    set_config("max_form_fields", "3");
    const std::string body =
        multipart_body("XyZ", {field("a", "1"), field("a", "2"), field("a", "3"), field("a", "4")});
    send(multipart, body, {"CONTENT_LENGTH=" + std::to_string(body.size())});
    EXPECT_TRUE(refused_with("Too many form fields: more than 3"));
    EXPECT_TRUE(ctx.args.empty());
}

TEST_F(RequestBody, TooManyFilePartsStoreNothing) {
    db->on("IMG_SEQ").outcomes = {{.row = row_values{"1"}}};
    set_config("max_file_parts", "2");
    std::vector<part> many = {field("note", "x")};
    for (int i = 0; i < 3; ++i) {
        many.push_back(file("f", "x" + std::to_string(i) + ".txt", "data"));
    }
    const std::string body = multipart_body("XyZ", many);
    send(multipart, body, {"CONTENT_LENGTH=" + std::to_string(body.size())});
    EXPECT_TRUE(refused_with("Too many file parts: 3, at most 2 allowed"));
    EXPECT_EQ(stored_documents(), 0u);
    EXPECT_TRUE(ctx.args.empty());

    // A file name inside a part's content is no file part.
    restart();
    db->on("IMG_SEQ").outcomes = {{.row = row_values{"1"}}};
    set_config("max_file_parts", "1");
    const std::string ok = multipart_body(
        "XyZ", {field("t", "filename=\"a\" filename=\"b\""), file("f", "x.txt", "data")});
    send(multipart, ok, {"CONTENT_LENGTH=" + std::to_string(ok.size())});
    build_arglist(ctx);
    EXPECT_EQ(stored_documents(), 1u);
}

}  // namespace
}  // namespace kestrel::test
