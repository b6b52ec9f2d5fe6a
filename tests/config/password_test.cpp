// password_test.cpp - encrypted owa_password values: round trip, plain
// values, wrong or missing keys.
#include "config/password.hpp"

#include <sys/stat.h>

#include "frame/frame_fixture.hpp"

namespace kestrel::test {
namespace {

class password_test : public frame_test {
  protected:
    std::string key;
    void SetUp() override {
        frame_test::SetUp();
        key = path("owa.key");
        ASSERT_TRUE(create_key_file(key));
        set_app_file("[DBAUTH]\npassword_key_file = " + key + "\n");
    }
};

TEST_F(password_test, RoundTripAndFreshNonce) {
    const auto a = encrypt_password("pa ss:wörd", key);
    const auto b = encrypt_password("pa ss:wörd", key);
    ASSERT_TRUE(a && b);
    EXPECT_TRUE(a->starts_with("{enc}"));
    EXPECT_NE(*a, *b);
    std::string value = *a;
    decrStr(value);
    EXPECT_EQ(value, "pa ss:wörd");
}

TEST_F(password_test, KeyFileIsPrivateAndNeverOverwritten) {
    struct stat st {};
    ASSERT_EQ(::stat(key.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    const std::string before = read_file(key);
    EXPECT_FALSE(create_key_file(key));
    EXPECT_EQ(read_file(key), before);
}

TEST_F(password_test, PlainValuesStayAndBadCipherTextsBecomeEmpty) {
    const auto enc = encrypt_password("secret", key);
    ASSERT_TRUE(enc);
    struct row {
        std::string in;
        std::string out;
    };
    std::string tampered = *enc;
    tampered[tampered.size() - 3] = tampered[tampered.size() - 3] == 'A' ? 'B' : 'A';
    for (const row& r : {row{"plain", "plain"}, row{"", ""}, row{"{ENC}abc", "{ENC}abc"},
                         row{"{enc}", ""}, row{"{enc}!!notbase64", ""}, row{tampered, ""}}) {
        std::string value = r.in;
        decrStr(value);
        EXPECT_EQ(value, r.out) << r.in;
    }
    ASSERT_TRUE(create_key_file(path("other.key")));
    set_app_file("[DBAUTH]\npassword_key_file = " + path("other.key") + "\n");
    std::string value = *enc;
    decrStr(value);
    EXPECT_EQ(value, "");
    set_app_file("");
    value = *enc;
    decrStr(value);
    EXPECT_EQ(value, "");
    EXPECT_FALSE(encrypt_password("x", path("missing.key")));
}

}  // namespace
}  // namespace kestrel::test
