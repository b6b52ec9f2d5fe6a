// password.cpp - owa_password values: "{enc}" followed by base64 of a
// libsodium secretbox (nonce, then cipher text) under the key named by the
// [DBAUTH] key password_key_file; any other value is the password itself.
// The key file holds the key as hexadecimal text.
#include "config/password.hpp"

#include <fcntl.h>
#include <sodium.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "frame/wrb.hpp"

namespace kestrel {
namespace {

constexpr std::string_view enc_prefix = "{enc}";
using secret_key = std::array<unsigned char, crypto_secretbox_KEYBYTES>;

std::optional<secret_key> read_key(const std::string& path) {
    std::ifstream in(path);
    if (!in) {
        return std::nullopt;
    }
    std::string hex;
    in >> hex;
    secret_key key{};
    std::size_t len = 0;
    if (sodium_hex2bin(key.data(), key.size(), hex.data(), hex.size(), nullptr, &len, nullptr) !=
            0 ||
        len != key.size()) {
        return std::nullopt;
    }
    return key;
}

std::optional<std::string> decrypt(std::string_view encoded, const secret_key& key) {
    // Nothing after "{enc}": no box, and no buffer to hand to the decoder.
    if (encoded.empty()) {
        return std::nullopt;
    }
    std::vector<unsigned char> box(encoded.size());
    std::size_t len = 0;
    if (sodium_base642bin(box.data(), box.size(), encoded.data(), encoded.size(), nullptr, &len,
                          nullptr, sodium_base64_VARIANT_ORIGINAL) != 0 ||
        len < crypto_secretbox_NONCEBYTES + crypto_secretbox_MACBYTES) {
        return std::nullopt;
    }
    const unsigned char* nonce = box.data();
    const unsigned char* cipher = box.data() + crypto_secretbox_NONCEBYTES;
    const std::size_t cipher_len = len - crypto_secretbox_NONCEBYTES;
    std::string plain(cipher_len - crypto_secretbox_MACBYTES, '\0');
    if (crypto_secretbox_open_easy(reinterpret_cast<unsigned char*>(plain.data()), cipher,
                                   cipher_len, nonce, key.data()) != 0) {
        return std::nullopt;
    }
    return plain;
}

}  // namespace

void decrStr(std::string& value) {
    if (!value.starts_with(enc_prefix)) {
        return;
    }
    const char* key_file = WRBGetConfigVal(nullptr, "password_key_file");
    std::optional<secret_key> key;
    if (key_file != nullptr && sodium_init() >= 0) {
        key = read_key(key_file);
    }
    std::optional<std::string> plain;
    if (key) {
        plain = decrypt(std::string_view(value).substr(enc_prefix.size()), *key);
        sodium_memzero(key->data(), key->size());
    }
    value = plain.value_or(std::string());
}

std::optional<std::string> encrypt_password(std::string_view password,
                                            const std::string& key_file) {
    if (sodium_init() < 0) {
        return std::nullopt;
    }
    auto key = read_key(key_file);
    if (!key) {
        return std::nullopt;
    }
    std::vector<unsigned char> box(crypto_secretbox_NONCEBYTES + crypto_secretbox_MACBYTES +
                                   password.size());
    randombytes_buf(box.data(), crypto_secretbox_NONCEBYTES);
    crypto_secretbox_easy(box.data() + crypto_secretbox_NONCEBYTES,
                          reinterpret_cast<const unsigned char*>(password.data()), password.size(),
                          box.data(), key->data());
    sodium_memzero(key->data(), key->size());
    std::string encoded(sodium_base64_ENCODED_LEN(box.size(), sodium_base64_VARIANT_ORIGINAL),
                        '\0');
    sodium_bin2base64(encoded.data(), encoded.size(), box.data(), box.size(),
                      sodium_base64_VARIANT_ORIGINAL);
    encoded.resize(std::strlen(encoded.c_str()));
    return std::string(enc_prefix) + encoded;
}

bool create_key_file(const std::string& key_file) {
    if (sodium_init() < 0) {
        return false;
    }
    const int fd = ::open(key_file.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    if (fd < 0) {
        return false;
    }
    secret_key key{};
    crypto_secretbox_keygen(key.data());
    std::array<char, crypto_secretbox_KEYBYTES * 2 + 1> hex{};
    sodium_bin2hex(hex.data(), hex.size(), key.data(), key.size());
    sodium_memzero(key.data(), key.size());
    std::string text(hex.data());
    text += '\n';
    const bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    sodium_memzero(text.data(), text.size());
    return ::close(fd) == 0 && ok;
}

}  // namespace kestrel
