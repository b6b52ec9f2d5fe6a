// include_tags.cpp - the ORACLE tag scanner of the include processor.
// A carriage return is deliberately not accepted around the word, so files
// with CRLF line ends only match tags written on one line.
#include "docs/include_tags.hpp"

namespace kestrel {
namespace {

bool is_tag_space(char c) {
    return c == ' ' || c == '\t' || c == '\n';
}

bool is_word_end(std::string_view text, std::size_t at) {
    return at == text.size() || is_tag_space(text[at]) || text[at] == '>';
}

char upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool word_at(std::string_view text, std::size_t at, std::string_view word) {
    if (text.size() - at < word.size()) {
        return false;
    }
    for (std::size_t i = 0; i < word.size(); ++i) {
        if (upper(text[at + i]) != word[i]) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::size_t findOracleTag(std::string_view text, bool closing) {
    const std::string_view word = closing ? "/ORACLE" : "ORACLE";
    for (std::size_t lt = text.find('<'); lt != std::string_view::npos;
         lt = text.find('<', lt + 1)) {
        std::size_t at = lt + 1;
        while (at < text.size() && is_tag_space(text[at])) {
            ++at;
        }
        if (word_at(text, at, word) && is_word_end(text, at + word.size())) {
            return lt;
        }
    }
    return no_tag;
}

}  // namespace kestrel
