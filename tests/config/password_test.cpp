// password_test.cpp - encrypted owa_password values: round trip, plain
// values, wrong or missing keys.
#include "config/password.hpp"

#include <sys/stat.h>

#include "support/request_fixture.hpp"

namespace kestrel::test {
namespace {

class Password : public request_test {
  protected:
    std::string key;
    void SetUp() override {
        request_test::SetUp();
        key = (dir / "owa.key").string();
        ASSERT_TRUE(create_key_file(key));
        set_app_file("[DBAUTH]\npassword_key_file = " + key + "\n");
    }
    std::string decrypted(std::string value) {
        decrStr(value);
        return value;
    }
};

TEST_F(Password, RoundTripWithAFreshNonceAndAPrivateKeyFile) {
    const auto a = encrypt_password("pa ss:wörd", key);
    const auto b = encrypt_password("pa ss:wörd", key);
    ASSERT_TRUE(a && b);
    EXPECT_TRUE(a->starts_with("{enc}"));
    EXPECT_NE(*a, *b);
    EXPECT_EQ(decrypted(*a), "pa ss:wörd");

    struct stat st {};
    ASSERT_EQ(::stat(key.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    const std::string before = read_file(key);
    EXPECT_FALSE(create_key_file(key));
    EXPECT_EQ(read_file(key), before);
}

TEST_F(Password, PlainValuesStayAndBadCipherTextsBecomeEmpty) {
    const auto enc = encrypt_password("secret", key);
    ASSERT_TRUE(enc);
    std::string tampered = *enc;
    tampered[tampered.size() - 3] = tampered[tampered.size() - 3] == 'A' ? 'B' : 'A';
    const std::pair<std::string, std::string> cases[] = {{"plain", "plain"},       {"", ""},
                                                         {"{ENC}abc", "{ENC}abc"}, {"{enc}", ""},
                                                         {"{enc}!!notbase64", ""}, {tampered, ""}};
    for (const auto& [in, out] : cases) {
        EXPECT_EQ(decrypted(in), out) << in;
    }
    const std::string other = (dir / "other.key").string();
    ASSERT_TRUE(create_key_file(other));
    set_app_file("[DBAUTH]\npassword_key_file = " + other + "\n");
    EXPECT_EQ(decrypted(*enc), "");
    set_app_file("");
    EXPECT_EQ(decrypted(*enc), "");
    EXPECT_FALSE(encrypt_password("x", (dir / "missing.key").string()));
}

}  // namespace
}  // namespace kestrel::test
