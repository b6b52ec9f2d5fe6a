// placeholders.cpp - placeholder scan and literal splicing for the statements
// that reach PostgreSQL as text: include blocks, post-actions and other
// statements the gateway does not build itself.
#include "db_interface/postgres/placeholders.hpp"

#include <algorithm>
#include <cctype>

namespace kestrel::db::pg {
namespace {

constexpr std::size_t name_max = 31;

bool is_name_char(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_';
}

// The length from at to the end of a run that closes with close (the whole
// rest when it never closes). Doubled quotes stay inside; with backslashes
// set, a backslash takes the next character along (E'...' strings).
std::size_t quoted_length(std::string_view text, std::size_t at, char close, bool backslashes) {
    std::size_t i = at + 1;
    while (i < text.size()) {
        if (backslashes && text[i] == '\\') {
            i += 2;
            continue;
        }
        if (text[i] == close) {
            if (i + 1 < text.size() && text[i + 1] == close) {
                i += 2;
                continue;
            }
            return i + 1 - at;
        }
        ++i;
    }
    return text.size() - at;
}

// Block comments nest in PostgreSQL.
std::size_t block_comment_length(std::string_view text, std::size_t at) {
    std::size_t depth = 0;
    std::size_t i = at;
    while (i + 1 < text.size()) {
        if (text[i] == '/' && text[i + 1] == '*') {
            ++depth;
            i += 2;
        } else if (text[i] == '*' && text[i + 1] == '/') {
            i += 2;
            if (--depth == 0) {
                return i - at;
            }
        } else {
            ++i;
        }
    }
    return text.size() - at;
}

// "$tag$ ... $tag$" (the tag may be empty); 0 when at holds no opening tag.
std::size_t dollar_quote_length(std::string_view text, std::size_t at) {
    std::size_t end = at + 1;
    while (end < text.size() && text[end] != '$' &&
           (is_name_char(text[end]) || static_cast<unsigned char>(text[end]) >= 0x80)) {
        ++end;
    }
    if (end >= text.size() || text[end] != '$' ||
        (end > at + 1 && std::isdigit(static_cast<unsigned char>(text[at + 1])) != 0)) {
        return 0;
    }
    const std::string_view tag = text.substr(at, end + 1 - at);
    const std::size_t close = text.find(tag, end + 1);
    return close == std::string_view::npos ? text.size() - at : close + tag.size() - at;
}

// Text in which a ':' is never a placeholder: string literals, quoted
// identifiers, comments and dollar-quoted strings. A literal spliced into
// one of them could end it (a line end closes a "--" comment, "*/" a block
// comment, the tag a dollar quote) and run the rest of the value as code.
// Returns the length of the run that starts at at, 0 when none starts there.
// after_placeholder: at follows a placeholder's name, which the server will
// see as a literal, so "$" there opens a dollar quote and "e'" is no E''.
std::size_t inert_length(std::string_view text, std::size_t at, bool after_placeholder = false) {
    const char c = text[at];
    const char next = at + 1 < text.size() ? text[at + 1] : '\0';
    const bool after_name =
        !after_placeholder && at > 0 && (is_name_char(text[at - 1]) || text[at - 1] == '$');
    if (c == '\'') {
        const bool escapes = !after_placeholder && at > 0 &&
                             (text[at - 1] == 'E' || text[at - 1] == 'e') &&
                             (at < 2 || !(is_name_char(text[at - 2]) || text[at - 2] == '$'));
        return quoted_length(text, at, '\'', escapes);
    }
    if (c == '"') {
        return quoted_length(text, at, '"', false);
    }
    if (c == '-' && next == '-') {
        const std::size_t end = text.find('\n', at);
        return end == std::string_view::npos ? text.size() - at : end - at;
    }
    if (c == '/' && next == '*') {
        return block_comment_length(text, at);
    }
    if (c == '$' && !after_name) {
        return dollar_quote_length(text, at);
    }
    return 0;
}

}  // namespace

std::vector<placeholder> find_placeholders(std::string_view text) {
    std::vector<placeholder> found;
    std::size_t i = 0;
    while (i < text.size()) {
        if (const std::size_t skipped = inert_length(text, i); skipped != 0) {
            i += skipped;
            continue;
        }
        if (text[i] != ':') {
            ++i;
            continue;
        }
        std::size_t length = 0;
        while (i + 1 + length < text.size() && is_name_char(text[i + 1 + length])) {
            ++length;
        }
        // A longer run is bound under its first characters but replaced
        // whole: a rest left behind would join what follows the literal
        // (an "e" before a quote turns it into an E'' string).
        if (length > 0) {
            found.push_back({i, length + 1, text.substr(i + 1, std::min(length, name_max))});
        }
        // The character after the name is skipped, unless it opens a literal,
        // quoted identifier, comment or dollar quote: skipping that would put
        // the scan out of step with the server, and a value spliced inside
        // what the server reads as a literal would end it and run as code.
        i += length + 1;
        if (i < text.size()) {
            const std::size_t inert = inert_length(text, i, length > 0);
            i += inert != 0 ? inert : 1;
        }
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
        // Blanks around keep the literal a token of its own: an "e" before
        // it would make it an E'' string, a quote after it would join it.
        out += ' ';
        out += *literal;
        out += ' ';
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
