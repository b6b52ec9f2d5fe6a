// binds_test.cpp - what the bind helpers hand to the client.
#include "db/binds.hpp"

#include "support/request_fixture.hpp"

namespace kestrel::test {
namespace {

class Binds : public request_test {
  protected:
    void SetUp() override {
        request_test::SetUp();
        ASSERT_EQ(db->oparse(ctx.cda, db::statement_kind::written, "begin p(:a); end;"), 0);
    }
    const bind_record& last_bind() const { return db->statements.back().binds.back(); }
};

TEST_F(Binds, ArrayElementTooLongForSixteenBitLengthsIsRefused) {
    const std::string fits(65533, 'x');
    const std::vector<std::string_view> ok = {"a", fits};
    ASSERT_EQ(abind(ctx, "ok", ok), 0);
    EXPECT_EQ(last_bind().elements.at(1), fits);
    EXPECT_EQ(last_bind().lengths.at(1), 65535);

    const std::string too_long(65534, 'x');
    const std::vector<std::string_view> refused = {"a", too_long};
    EXPECT_EQ(abind(ctx, "refused", refused), db::value_too_long);
    EXPECT_EQ(ctx.cda.rc, db::value_too_long);
    EXPECT_EQ(db->statements.back().binds.size(), 1u);  // nothing was bound
}

}  // namespace
}  // namespace kestrel::test
