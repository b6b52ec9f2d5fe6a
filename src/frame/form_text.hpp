// form_text.hpp - text utilities of form parsing: tokenizer and URL decoding.
#pragma once

#include "frame/request_ctx.hpp"

namespace kestrel {

// Next token of text (or of the rest, when text is null); null at the end.
char* mystrtok(request_ctx& ctx, char* text, const char* delimiters);
// '+' to blank and %XX to its byte, in place; returns the new length.
std::size_t url_decode(char* text);
int hextoint(char c);

}  // namespace kestrel
