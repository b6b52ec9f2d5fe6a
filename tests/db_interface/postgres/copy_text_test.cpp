// copy_text_test.cpp - the COPY text row of a streamed upload: escaped text
// fields and the bytea in hex pieces, as the server will read them back.
#include "db_interface/postgres/copy_text.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace kestrel::db::pg {
namespace {

TEST(CopyText, FieldsEscapeWhatCopyReadsAsStructure) {
    const struct {
        std::optional<std::string_view> value;
        const char* field;
    } cases[] = {
        {std::nullopt, "\\N"},
        {"", ""},
        {"\\N", "\\\\N"},
        {"a\tb\nc\rd\\e", "a\\tb\\nc\\rd\\\\e"},
        {"U0000001.gif", "U0000001.gif"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(copy_text_field(c.value), c.field) << c.value.value_or("(null)");
    }
}

TEST(CopyText, ByteaGoesInHexPiecesOfTheGivenSize) {
    const std::string bytes("\x00\x7f\x80\xff\\\n", 6);
    const struct {
        std::size_t piece;
        std::vector<std::string> sent;
    } cases[] = {
        {4, {"\\\\x", "007f80ff", "5c0a"}},
        {6, {"\\\\x", "007f80ff5c0a"}},
        {100, {"\\\\x", "007f80ff5c0a"}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> sent;
        EXPECT_TRUE(put_copy_bytea(bytes, c.piece, [&](std::string_view piece) {
            sent.emplace_back(piece);
            return true;
        }));
        EXPECT_EQ(sent, c.sent) << c.piece;
    }
    // A refused piece stops the row: nothing more is sent.
    int calls = 0;
    EXPECT_FALSE(put_copy_bytea(bytes, 2, [&](std::string_view) { return ++calls < 2; }));
    EXPECT_EQ(calls, 2);
}

}  // namespace
}  // namespace kestrel::db::pg
