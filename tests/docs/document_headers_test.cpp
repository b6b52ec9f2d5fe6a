// document_headers_test.cpp - the HTTP side of downloads: Range parsing,
// conditional requests and the file name of an attachment.
#include "docs/document_headers.hpp"

#include <gtest/gtest.h>

namespace kestrel::test {
namespace {

using kind = byte_range::kind;

TEST(ByteRange, OneRangeResolvedAgainstTheSize) {
    const struct {
        const char* header;
        std::uint64_t size;
        kind what;
        std::uint64_t first;
        std::uint64_t count;
    } cases[] = {
        {nullptr, 100, kind::whole, 0, 0},
        {"bytes=0-0", 100, kind::slice, 0, 1},
        {"bytes=10-19", 100, kind::slice, 10, 10},
        {" Bytes=10-19 ", 100, kind::slice, 10, 10},
        {"bytes=90-", 100, kind::slice, 90, 10},
        {"bytes=90-1000", 100, kind::slice, 90, 10},
        {"bytes=-1", 100, kind::slice, 99, 1},
        {"bytes=-500", 100, kind::slice, 0, 100},
        {"bytes=99-99", 100, kind::slice, 99, 1},
        {"bytes=100-", 100, kind::unsatisfiable, 0, 0},
        {"bytes=100-200", 100, kind::unsatisfiable, 0, 0},
        {"bytes=-0", 100, kind::unsatisfiable, 0, 0},
        {"bytes=0-", 0, kind::unsatisfiable, 0, 0},
        {"bytes=-5", 0, kind::unsatisfiable, 0, 0},
        // Not one well-formed range: the whole document.
        {"bytes=0-1,5-9", 100, kind::whole, 0, 0},
        {"bytes=20-10", 100, kind::whole, 0, 0},
        {"bytes=-", 100, kind::whole, 0, 0},
        {"bytes=+1-2", 100, kind::whole, 0, 0},
        {"bytes=1x-2", 100, kind::whole, 0, 0},
        {"bytes=99999999999999999999-", 100, kind::whole, 0, 0},
        {"items=0-1", 100, kind::whole, 0, 0},
        {"", 100, kind::whole, 0, 0},
    };
    for (const auto& c : cases) {
        const byte_range r = parse_byte_range(c.header, c.size);
        const char* header = c.header != nullptr ? c.header : "(none)";
        EXPECT_EQ(r.what, c.what) << header;
        if (c.what == kind::slice) {
            EXPECT_EQ(r.first, c.first) << header;
            EXPECT_EQ(r.count, c.count) << header;
        }
    }
}

TEST(DocumentHeaders, ConditionalRequests) {
    document_head head;
    head.size = 4;
    head.modified_usec = 784111777'000000;  // Sun, 06 Nov 1994 08:49:37 GMT
    const std::string tag = entity_tag(head);
    const std::string listed = "\"x\", W/" + tag;
    EXPECT_EQ(http_date(784111777), "Sun, 06 Nov 1994 08:49:37 GMT");
    const struct {
        const char* if_none_match;
        const char* if_modified_since;
        bool not_modified;
    } cases[] = {
        {nullptr, nullptr, false},
        {tag.c_str(), nullptr, true},
        {listed.c_str(), nullptr, true},
        {"*", nullptr, true},
        {"\"other\"", "Sun, 06 Nov 1994 08:49:37 GMT", false},  // the tag decides
        {nullptr, "Sun, 06 Nov 1994 08:49:37 GMT", true},
        {nullptr, "Mon, 07 Nov 1994 00:00:00 GMT", true},
        {nullptr, "Sun, 06 Nov 1994 08:49:36 GMT", false},
        {nullptr, "yesterday", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(is_not_modified(head, c.if_none_match, c.if_modified_since), c.not_modified)
            << (c.if_none_match ? c.if_none_match : "-") << " / "
            << (c.if_modified_since ? c.if_modified_since : "-");
    }
    EXPECT_TRUE(if_range_holds(head, nullptr));
    EXPECT_TRUE(if_range_holds(head, tag.c_str()));
    EXPECT_TRUE(if_range_holds(head, "Sun, 06 Nov 1994 08:49:37 GMT"));
    EXPECT_FALSE(if_range_holds(head, "\"older\""));
    // Without a modification time there is nothing to compare.
    head.modified_usec.reset();
    EXPECT_FALSE(is_not_modified(head, "*", nullptr));
    EXPECT_FALSE(if_range_holds(head, "Sun, 06 Nov 1994 08:49:37 GMT"));
}

TEST(DocumentHeaders, AttachmentNamesCannotBreakTheHeader) {
    const struct {
        std::string name;
        std::string disposition;
    } cases[] = {
        {"report.pdf", "attachment; filename=\"report.pdf\""},
        {"r\xc3\xa9sum\xc3\xa9 2026 (v2).pdf",
         "attachment; filename=\"r_sum_ 2026 (v2).pdf\"; "
         "filename*=UTF-8''r%C3%A9sum%C3%A9%202026%20%28v2%29.pdf"},
        {"a\"b\\c.txt", "attachment; filename=\"a_b_c.txt\"; filename*=UTF-8''a%22b%5Cc.txt"},
        {"x\r\nSet-Cookie: y",
         "attachment; filename=\"x__Set-Cookie: y\"; "
         "filename*=UTF-8''x%0D%0ASet-Cookie%3A%20y"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(content_disposition(c.name), c.disposition);
    }
}

}  // namespace
}  // namespace kestrel::test
