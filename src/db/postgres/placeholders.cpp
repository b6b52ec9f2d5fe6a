// placeholders.cpp - placeholder scan and literal splicing for the statements
// that reach PostgreSQL as text: include blocks, post-actions and other
// statements the gateway does not build itself.
#include "db/postgres/placeholders.hpp"

#include <cctype>

namespace kestrel::db::pg {
namespace {

constexpr std::size_t name_max = 31;

bool is_name_char(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_';
}

}  // namespace

std::vector<placeholder> find_placeholders(std::string_view text) {
    std::vector<placeholder> found;
    bool quoted = false;
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] == '\'') {
            quoted = !quoted;
            ++i;
            continue;
        }
        if (text[i] != ':' || quoted) {
            ++i;
            continue;
        }
        std::size_t length = 0;
        while (length < name_max && i + 1 + length < text.size() &&
               is_name_char(text[i + 1 + length])) {
            ++length;
        }
        if (length > 0) {
            found.push_back({i, length + 1, text.substr(i + 1, length)});
        }
        i += length + 2;  // the character after the name is skipped
    }
    return found;
}

std::string splice_literals(
    std::string_view text,
    const std::function<std::optional<std::string>(std::string_view name)>& literal_for) {
    std::string out;
    out.reserve(text.size());
    std::size_t copied = 0;
    for (const auto& p : find_placeholders(text)) {
        auto literal = literal_for(p.name);
        if (!literal) {
            continue;
        }
        out.append(text.substr(copied, p.position - copied));
        out += *literal;
        copied = p.position + p.length;
    }
    out.append(text.substr(copied));
    return out;
}

std::string do_block(std::string_view body) {
    std::string tag = "$kestrel$";
    for (int n = 1; body.find(tag) != std::string_view::npos; ++n) {
        tag = "$kestrel" + std::to_string(n) + "$";
    }
    // The line ends keep the body's own text from joining the tags.
    std::string text = "DO " + tag + "\n";
    text += body;
    text += "\n" + tag;
    return text;
}

}  // namespace kestrel::db::pg
