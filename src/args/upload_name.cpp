// upload_name.cpp - the generated name of an upload and the file name kept
// beside it. Only the extension of the browser's name reaches the generated
// name, filtered to characters that are safe in a URL and a file name.
#include "args/upload_name.hpp"

#include <cstdio>

namespace kestrel {

namespace {

bool is_name_char(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '_' || c == '-';
}

}  // namespace

std::string_view client_file_name(std::string_view file_name) {
    const std::size_t slash = file_name.find_last_of("/\\");
    return slash == std::string_view::npos ? file_name : file_name.substr(slash + 1);
}

std::string upload_extension(std::string_view file_name) {
    const std::string_view base = client_file_name(file_name);
    const std::size_t dot = base.find_last_of('.');
    if (dot == std::string_view::npos) {
        return "";
    }
    std::string extension;
    for (const char c : base.substr(dot)) {
        if (extension.size() == upload_extension_max) {
            break;
        }
        if (is_name_char(c)) {
            extension += c;
        }
    }
    return extension.size() > 1 ? extension : "";
}

std::string upload_name(std::uint64_t sequence, std::string_view file_name) {
    char digits[24];
    std::snprintf(digits, sizeof digits, "U%07llu", static_cast<unsigned long long>(sequence));
    return digits + upload_extension(file_name);
}

}  // namespace kestrel
