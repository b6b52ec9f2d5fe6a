// part_headers.cpp - reads the header lines of one multipart part: header
// names and disposition parameters without regard to case, in any order,
// values as tokens or quoted strings, filename* (RFC 5987) before filename.
// Values are decoded in place in the body, which only ever shortens them.
#include "args/part_headers.hpp"

#include <algorithm>
#include <cstring>
#include <optional>

#include "args/arglist.hpp"
#include "args/multipart.hpp"
#include "base/text_case.hpp"

namespace kestrel {

namespace {

// A stretch of the header line, not yet terminated.
struct text_range {
    char* begin;
    char* end;
};

bool is_blank(char c) {
    return c == ' ' || c == '\t';
}

char* skip_blanks(char* at, const char* end) {
    while (at < end && is_blank(*at)) {
        ++at;
    }
    return at;
}

text_range trimmed(char* begin, char* end) {
    begin = skip_blanks(begin, end);
    while (end > begin && is_blank(end[-1])) {
        --end;
    }
    return {begin, end};
}

std::string_view view(text_range r) {
    return {r.begin, static_cast<std::size_t>(r.end - r.begin)};
}

// Ends the range with a NUL; the byte after it must be read already.
std::string_view terminated(text_range r) {
    *r.end = '\0';
    return view(r);
}

// A quoted string loses its quotes and the backslash in front of a quote or
// a backslash (any other backslash stays, as in C:\docs); an unclosed one
// runs to the end of the line. A token runs to the next ";". at ends after
// the value.
text_range read_value(char*& at, char* end) {
    if (at == end || *at != '"') {
        char* const begin = at;
        at = std::find(at, end, ';');
        return trimmed(begin, at);
    }
    char* const begin = ++at;
    char* out = begin;
    while (at < end && *at != '"') {
        if (*at == '\\' && at + 1 < end && (at[1] == '"' || at[1] == '\\')) {
            ++at;
        }
        *out++ = *at++;
    }
    if (at < end) {
        ++at;  // the closing quote
    }
    return {begin, out};
}

struct disposition_params {
    std::optional<text_range> name;
    std::optional<text_range> file_name;
    std::optional<text_range> ext_file_name;  // filename*, still encoded
};

// The parameters after the disposition type: ";" name "=" value, blanks
// allowed around both; a parameter without "=" is skipped, and the first of
// a repeated parameter counts.
disposition_params read_params(char* at, char* end) {
    disposition_params params;
    while (at < end) {
        char* const name_begin = ++at;  // past the ";"
        at = std::find_if(at, end, [](char c) { return c == '=' || c == ';'; });
        if (at == end || *at == ';') {
            continue;
        }
        const std::string_view name = view(trimmed(name_begin, at));
        at = skip_blanks(at + 1, end);
        const text_range value = read_value(at, end);
        at = std::find(at, end, ';');
        std::optional<text_range>* slot =
            equal_ignoring_case(name, "name")        ? &params.name
            : equal_ignoring_case(name, "filename")  ? &params.file_name
            : equal_ignoring_case(name, "filename*") ? &params.ext_file_name
                                                     : nullptr;
        if (slot != nullptr && !*slot) {
            *slot = value;
        }
    }
    return params;
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    c = static_cast<char>(c | 0x20);
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// The bytes of an RFC 5987 value charset'language'value-chars with the
// charset UTF-8, percent-decoded in place; none for any other charset, a
// malformed escape or an escaped zero byte (the name becomes SQL text).
std::optional<std::string_view> decode_ext_value(text_range r) {
    char* const charset_end = std::find(r.begin, r.end, '\'');
    if (charset_end == r.end || !equal_ignoring_case(view({r.begin, charset_end}), "UTF-8")) {
        return std::nullopt;
    }
    char* const language_end = std::find(charset_end + 1, r.end, '\'');
    if (language_end == r.end) {
        return std::nullopt;
    }
    const text_range encoded{language_end + 1, r.end};
    for (char* at = encoded.begin; at < encoded.end; ++at) {
        if (*at != '%') {
            continue;
        }
        if (encoded.end - at < 3 || hex_digit(at[1]) < 0 || hex_digit(at[2]) < 0 ||
            (at[1] == '0' && at[2] == '0')) {
            return std::nullopt;
        }
    }
    char* out = encoded.begin;
    for (char* at = encoded.begin; at < encoded.end; ++out) {
        if (*at == '%') {
            *out = static_cast<char>(hex_digit(at[1]) * 16 + hex_digit(at[2]));
            at += 3;
        } else {
            *out = *at++;
        }
    }
    return terminated({encoded.begin, out});
}

// filename* when it decodes, else filename; a filename* that does not
// decode and has no filename beside it is kept as it came, so that the part
// still counts as a file and keeps its extension.
std::string_view file_name_of(const disposition_params& params) {
    if (params.ext_file_name) {
        if (const auto decoded = decode_ext_value(*params.ext_file_name)) {
            return *decoded;
        }
    }
    if (params.file_name) {
        return terminated(*params.file_name);
    }
    return params.ext_file_name ? terminated(*params.ext_file_name) : "";
}

void read_disposition(text_range value, part_headers& headers) {
    char* const type_end = std::find(value.begin, value.end, ';');
    if (!equal_ignoring_case(view(trimmed(value.begin, type_end)), "form-data")) {
        return;
    }
    const disposition_params params = read_params(type_end, value.end);
    headers.is_form_data = true;
    headers.name = params.name ? terminated(*params.name) : "";
    headers.file_name = file_name_of(params);
}

}  // namespace

part_headers read_part_headers(request_ctx& ctx, char* first) {
    part_headers headers;
    bool disposition_seen = false;
    char* line = getl(ctx, first);
    for (; line != nullptr && *line != '\0'; line = getl(ctx, nullptr)) {
        char* const end = line + std::strlen(line);
        char* const colon = std::find(line, end, ':');
        if (colon == end) {
            continue;
        }
        const std::string_view field = view(trimmed(line, colon));
        const text_range value = trimmed(colon + 1, end);
        if (equal_ignoring_case(field, "Content-Disposition") && !disposition_seen) {
            disposition_seen = true;
            read_disposition(value, headers);
        } else if (equal_ignoring_case(field, "Content-Type")) {
            headers.mime_type = terminated(value);
        }
    }
    headers.blank_line = line;
    return headers;
}

}  // namespace kestrel
