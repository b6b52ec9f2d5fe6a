// passwd_main.cpp - kestrel-passwd: creates the key file for encrypted
// owa_password values and prints the "{enc}..." value of a password.
#include <cstdio>
#include <iostream>
#include <string>

#include "config/password.hpp"

namespace {

int usage() {
    std::fputs(
        "usage: kestrel-passwd --new-key KEYFILE   create a key file (mode 0600)\n"
        "       kestrel-passwd KEYFILE             read a password from standard input and\n"
        "                                          print its owa_password value\n",
        stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--new-key") {
        if (!kestrel::create_key_file(argv[2])) {
            std::fprintf(stderr, "kestrel-passwd: cannot create key file %s (does it exist?)\n",
                         argv[2]);
            return 1;
        }
        return 0;
    }
    if (argc != 2 || argv[1][0] == '-') {
        return usage();
    }
    std::string password;
    if (!std::getline(std::cin, password)) {
        return usage();
    }
    const auto value = kestrel::encrypt_password(password, argv[1]);
    if (!value) {
        std::fprintf(stderr, "kestrel-passwd: cannot read key file %s\n", argv[1]);
        return 1;
    }
    std::printf("%s\n", value->c_str());
    return 0;
}
