// part_headers_test.cpp - the header lines of one part as clients write
// them: header and parameter names in any case and order, tokens and quoted
// strings, filename* before filename, headers that are not form-data.
#include "args/part_headers.hpp"

#include <string>

#include "support/request_fixture.hpp"

namespace kestrel::test {
namespace {

using PartHeaders = request_test;

constexpr const char* cd = "Content-Disposition: ";

TEST_F(PartHeaders, ReadAsClientsWriteThem) {
    const struct {
        const char* what;
        std::string headers;  // the lines before the blank line
        std::string name;
        std::string file_name = "";
        std::string mime_type = "";  // none sent
        bool form_data = true;
    } cases[] = {
        {"token value", std::string(cd) + "form-data; name=bit", "bit"},
        {"disposition after other headers, tokens",
         "Content-Type: text/plain\r\nContent-Encoding: identity\r\n" + std::string(cd) +
             "form-data; name=upload; filename=notes.txt",
         "upload", "notes.txt", "text/plain"},
        {"names in any case", "content-disposition: FORM-DATA; FileName=\"b.txt\"; NAME=\"a\"", "a",
         "b.txt"},
        {"blanks around ; and =",
         "Content-Disposition:form-data ;name = \"a\" ;\tfilename=  \"b c.txt\"  ", "a", "b c.txt"},
        {"token with blanks before ;", std::string(cd) + "form-data; name=bit ; filename=a.txt",
         "bit", "a.txt"},
        {"escaped quote and backslash",
         std::string(cd) + R"(form-data; name="say \"hi\""; filename="C:\\dir\\x.txt")",
         "say \"hi\"", R"(C:\dir\x.txt)"},
        {"escaped quote before the extension",
         std::string(cd) + R"(form-data; name="f"; filename="a\"b.pdf")", "f", "a\"b.pdf"},
        {"other backslashes stay",
         std::string(cd) + R"(form-data; name="f"; filename="C:\docs\p.jpg")", "f",
         R"(C:\docs\p.jpg)"},
        {"semicolon and equals inside quotes", std::string(cd) + "form-data; name=\"a;b=c\"",
         "a;b=c"},
        {"unclosed quote runs to the end", std::string(cd) + "form-data; name=\"abc", "abc"},
        {"non-ASCII as sent", std::string(cd) + "form-data; name=\"grüße\"; filename=\"ü.txt\"",
         "grüße", "ü.txt"},
        {"filename* before filename",
         std::string(cd) +
             "form-data; name=f; filename=\"x.txt\"; filename*=UTF-8''r%C3%A9sum%c3%a9.txt",
         "f", "résumé.txt"},
        {"filename* first, with a language",
         std::string(cd) + "form-data; filename*=utf-8'en'a%20b.txt; filename=x.txt; name=f", "f",
         "a b.txt"},
        {"filename* quoted", std::string(cd) + "form-data; name=f; filename*=\"UTF-8''q%22.txt\"",
         "f", "q\".txt"},
        {"filename* in another charset yields to filename",
         std::string(cd) + "form-data; name=f; filename*=ISO-8859-1''caf%E9.txt; filename=cafe.txt",
         "f", "cafe.txt"},
        {"filename* in another charset alone is kept as sent",
         std::string(cd) + "form-data; name=f; filename*=ISO-8859-1''caf%E9.txt", "f",
         "ISO-8859-1''caf%E9.txt"},
        {"filename* with a broken escape",
         std::string(cd) + "form-data; name=f; filename*=UTF-8''a%2.txt", "f", "UTF-8''a%2.txt"},
        {"filename* with an escaped zero byte",
         std::string(cd) + "form-data; name=f; filename*=UTF-8''a%00.txt; filename=b.txt", "f",
         "b.txt"},
        {"filename* without quotes", std::string(cd) + "form-data; name=f; filename*=UTF-8", "f",
         "UTF-8"},
        {"first of a repeated parameter", std::string(cd) + "form-data; name=a; name=b", "a"},
        {"unknown and valueless parameters skipped",
         std::string(cd) + "form-data; foo; bar=\"x;y\"; name*=UTF-8''z; name=n; =v", "n"},
        {"empty file name is a plain field", std::string(cd) + "form-data; name=f; filename=\"\"",
         "f"},
        {"no parameters", std::string(cd) + "form-data", ""},
        {"first disposition counts",
         std::string(cd) + "form-data; name=a\r\n" + cd + "form-data; name=b", "a"},
        {"last content type, trimmed, any case",
         "CONTENT-TYPE:   image/png  \r\nX-Junk\r\n" + std::string(cd) +
             "form-data; name=a\r\ncontent-type: image/gif ",
         "a", "", "image/gif"},
        {"not form-data", std::string(cd) + "attachment; name=a", "", "", "", false},
        {"no disposition", "Content-Type: text/plain", "", "", "text/plain", false},
        {"disposition type only by prefix", std::string(cd) + "form-database; name=a", "", "", "",
         false},
    };
    for (const auto& c : cases) {
        std::string part = c.headers + "\r\n\r\ncontent";
        const part_headers h = read_part_headers(ctx, part.data());
        EXPECT_EQ(h.is_form_data, c.form_data) << c.what;
        EXPECT_EQ(h.name, c.name) << c.what;
        EXPECT_EQ(h.file_name, c.file_name) << c.what;
        EXPECT_EQ(h.mime_type, c.mime_type) << c.what;
        ASSERT_NE(h.blank_line, nullptr) << c.what;
        EXPECT_EQ(std::string(h.blank_line + 2), "content") << c.what;
        // Names and file names are handed on as C texts.
        EXPECT_EQ(h.name.data()[h.name.size()], '\0') << c.what;
        EXPECT_EQ(h.file_name.data()[h.file_name.size()], '\0') << c.what;
    }
}

TEST_F(PartHeaders, HeadersThatRunOutHaveNoBlankLine) {
    std::string part = std::string(cd) + "form-data; name=a\r\nContent-Type: x";
    const part_headers h = read_part_headers(ctx, part.data());
    EXPECT_EQ(h.name, "a");
    EXPECT_EQ(h.mime_type, "x");
    EXPECT_EQ(h.blank_line, nullptr);
}

}  // namespace
}  // namespace kestrel::test
