// password.hpp - decryption of owa_password values.
// "{enc}" followed by base64 is a libsodium secretbox (nonce, then cipher
// text) under the key file named by password_key_file; any other value is
// the password as written.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kestrel {

// Rewrites value in place with the password it stands for. An encrypted value
// that cannot be decrypted becomes empty, so that the logon fails.
void decrStr(std::string& value);

// Encrypts a password with the key file; returns the "{enc}..." text.
std::optional<std::string> encrypt_password(std::string_view password, const std::string& key_file);

// Writes a new random key to key_file (mode 0600); false when the file
// exists already or cannot be written.
bool create_key_file(const std::string& key_file);

}  // namespace kestrel
