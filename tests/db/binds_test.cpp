// binds_test.cpp - what the bind helpers hand to the client.
#include "db/binds.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "frame/pool.hpp"
#include "support/recording_client.hpp"

namespace kestrel {
namespace {

class BindsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        auto owned = std::make_unique<test::recording_client>();
        db = owned.get();
        ctx.db = std::move(owned);
        ASSERT_EQ(db->oparse(ctx.cda, "begin p(:a); end;"), 0);
    }
    void TearDown() override { heap_release(ctx); }

    const test::bind_record& only_bind() {
        EXPECT_EQ(db->statements.back().binds.size(), 1u);
        return db->statements.back().binds.at(0);
    }

    request_ctx ctx;
    test::recording_client* db = nullptr;
};

TEST_F(BindsTest, ArrayElementsShareTheWidthOfTheLongestPlusTwo) {
    const std::vector<std::string_view> values = {"a", "bbb", ""};
    ASSERT_EQ(abind(ctx, "arr", values), 0);
    const auto& b = only_bind();
    EXPECT_TRUE(b.is_array);
    EXPECT_EQ(b.name, "arr");
    EXPECT_EQ(b.buffer_size, 5u);
    EXPECT_EQ(b.max_elements, 3u);
    EXPECT_EQ(b.elements, (std::vector<std::string>{"a", "bbb", ""}));
    EXPECT_EQ(b.lengths, (std::vector<std::uint16_t>{5, 5, 5}));
    EXPECT_EQ(b.indicators, (std::vector<std::int16_t>{0, 0, 0}));
}

TEST_F(BindsTest, ArrayElementTooLongForSixteenBitLengthsIsRefused) {
    const std::string fits(65533, 'x');
    const std::string too_long(65534, 'x');
    const std::vector<std::string_view> ok = {"a", fits};
    ASSERT_EQ(abind(ctx, "ok", ok), 0);
    EXPECT_EQ(db->statements.back().binds.at(0).elements.at(1), fits);
    EXPECT_EQ(db->statements.back().binds.at(0).lengths.at(1), 65535);

    const std::vector<std::string_view> refused = {"a", too_long};
    EXPECT_EQ(abind(ctx, "refused", refused), db::value_too_long);
    EXPECT_EQ(ctx.cda.rc, db::value_too_long);
    EXPECT_EQ(db->statements.back().binds.size(), 1u);  // nothing was bound
}

TEST_F(BindsTest, TextGivesRoomForLengthPlusTwo) {
    char text[16] = "hello";
    ASSERT_EQ(sbind(ctx, ":a", text), 0);
    EXPECT_EQ(only_bind().text, "hello");
    EXPECT_EQ(only_bind().buffer_size, 7u);
    EXPECT_EQ(only_bind().type, db::data_type::string);
}

TEST_F(BindsTest, IntegerIsWrittenBackInPlace) {
    db->on("p(:a)").outcomes = {{.integers = {{"n", 42}}}};
    ASSERT_EQ(db->oparse(ctx.cda, "begin p(:a); end;"), 0);
    std::int32_t n = 7;
    ASSERT_EQ(nbind(ctx, ":n", &n), 0);
    EXPECT_EQ(only_bind().integer, 7);
    ASSERT_EQ(db->oexec(ctx.cda), 0);
    EXPECT_EQ(n, 42);
}

TEST_F(BindsTest, LongRawCarriesItsLengthInFront) {
    const std::string bytes("a\0b\xff", 4);
    std::vector<std::byte> varraw(4 + bytes.size());
    const std::uint32_t length = 4;
    std::memcpy(varraw.data(), &length, 4);
    std::memcpy(varraw.data() + 4, bytes.data(), bytes.size());
    ASSERT_EQ(rbind(ctx, ":image", varraw.data()), 0);
    EXPECT_EQ(only_bind().type, db::data_type::long_varraw);
    EXPECT_EQ(only_bind().text, bytes);
}

TEST_F(BindsTest, ClientRefusalIsPassedUp) {
    db->on("q(:a)").bind_rc = {{"a", 1036}};
    ASSERT_EQ(db->oparse(ctx.cda, "begin q(:a); end;"), 0);
    char text[] = "x\0";
    EXPECT_EQ(sbind(ctx, ":a", text), 1036);
}

}  // namespace
}  // namespace kestrel
