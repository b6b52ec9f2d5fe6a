// form_text.cpp - the text utilities of form parsing: a tokenizer that keeps
// its position in the request context, and in-place URL decoding. Used while
// the argument list is built and by the configuration readers.
#include "frame/form_text.hpp"

#include <cctype>
#include <cstring>

namespace kestrel {

char* mystrtok(request_ctx& ctx, char* text, const char* delimiters) {
    if (text != nullptr) {
        ctx.tok_pos = text;
    }
    char* pos = ctx.tok_pos;
    if (pos == nullptr) {
        return nullptr;
    }
    pos += std::strspn(pos, delimiters);
    if (*pos == '\0') {
        ctx.tok_pos = nullptr;
        return nullptr;
    }
    char* const token = pos;
    char* const found = std::strpbrk(pos, delimiters);
    if (found == nullptr) {
        ctx.tok_pos = nullptr;
        return token;
    }
    // Only a run of the delimiter that ended the token is skipped here; the
    // next call skips any mix of delimiters in front of its token.
    const char ended_by = *found;
    *found = '\0';
    char* next = found + 1;
    while (*next == ended_by) {
        ++next;
    }
    ctx.tok_pos = next;
    return token;
}

int hextoint(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    return std::toupper(static_cast<unsigned char>(c)) - 55;
}

std::size_t url_decode(char* text) {
    char* out = text;
    const char* in = text;
    while (*in != '\0') {
        if (*in == '+') {
            *out++ = ' ';
            ++in;
            continue;
        }
        // A '%' needs two characters behind it; near the end of the text the
        // rest is kept as it is rather than read past the terminator.
        if (*in == '%' && in[1] != '\0' && in[2] != '\0') {
            const int value = 16 * hextoint(in[1]) + hextoint(in[2]);
            *out++ = static_cast<char>(static_cast<unsigned char>(value & 0xff));
            in += 3;
            continue;
        }
        *out++ = *in++;
    }
    *out = '\0';
    return static_cast<std::size_t>(out - text);
}

}  // namespace kestrel
