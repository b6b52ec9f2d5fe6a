// text_encoding.cpp - the database's character set: its HTTP name, and the
// check that keeps text the database would refuse (with a raw "invalid byte
// sequence" error) from reaching it.
#include "frame/text_encoding.hpp"

#include <cstdint>

#include "base/text_case.hpp"
#include "frame/diagnostics.hpp"

namespace kestrel {

namespace {

struct charset_name {
    std::string_view server;
    std::string_view http;
};

constexpr charset_name charset_names[] = {
    {"UTF8", "utf-8"},
    {"LATIN1", "iso-8859-1"},
    {"LATIN2", "iso-8859-2"},
    {"LATIN3", "iso-8859-3"},
    {"LATIN4", "iso-8859-4"},
    {"LATIN5", "iso-8859-9"},
    {"LATIN6", "iso-8859-10"},
    {"LATIN7", "iso-8859-13"},
    {"LATIN8", "iso-8859-14"},
    {"LATIN9", "iso-8859-15"},
    {"LATIN10", "iso-8859-16"},
    {"ISO_8859_5", "iso-8859-5"},
    {"ISO_8859_6", "iso-8859-6"},
    {"ISO_8859_7", "iso-8859-7"},
    {"ISO_8859_8", "iso-8859-8"},
    {"WIN866", "ibm866"},
    {"WIN874", "windows-874"},
    {"WIN1250", "windows-1250"},
    {"WIN1251", "windows-1251"},
    {"WIN1252", "windows-1252"},
    {"WIN1253", "windows-1253"},
    {"WIN1254", "windows-1254"},
    {"WIN1255", "windows-1255"},
    {"WIN1256", "windows-1256"},
    {"WIN1257", "windows-1257"},
    {"WIN1258", "windows-1258"},
    {"KOI8R", "koi8-r"},
    {"KOI8U", "koi8-u"},
    {"EUC_JP", "euc-jp"},
    {"EUC_KR", "euc-kr"},
    {"EUC_CN", "gb2312"},
};

// The sets PostgreSQL verifies byte by byte as multi-byte text.
bool is_multibyte(std::string_view server_encoding) {
    return server_encoding.starts_with("EUC_") || server_encoding == "MULE_INTERNAL";
}

// The length of the well-formed UTF-8 sequence at the start of text, 0 when
// it is not one (overlong forms, surrogates and values past U+10FFFF are not).
std::size_t utf8_sequence(std::string_view text) {
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
    const std::uint8_t lead = byte(0);
    if (lead < 0x80) {
        return lead == 0 ? 0 : 1;
    }
    std::size_t length = 0;
    std::uint8_t low = 0x80;
    std::uint8_t high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (text.size() < length || byte(1) < low || byte(1) > high) {
        return 0;
    }
    for (std::size_t i = 2; i < length; ++i) {
        if (byte(i) < 0x80 || byte(i) > 0xBF) {
            return 0;
        }
    }
    return length;
}

bool is_utf8(std::string_view text) {
    while (!text.empty()) {
        const std::size_t length = utf8_sequence(text);
        if (length == 0) {
            return false;
        }
        text.remove_prefix(length);
    }
    return true;
}

bool is_text_type(std::string_view type) {
    constexpr std::string_view text = "text/";
    return type.size() > text.size() && starts_with_ignoring_case(type, text);
}

}  // namespace

std::string_view http_charset(std::string_view server_encoding) {
    for (const charset_name& name : charset_names) {
        if (name.server == server_encoding) {
            return name.http;
        }
    }
    return "";
}

bool is_valid_text(std::string_view server_encoding, std::string_view text) {
    if (server_encoding == "UTF8") {
        return is_utf8(text);
    }
    return is_multibyte(server_encoding) || text.find('\0') == std::string_view::npos;
}

std::string database_encoding(request_ctx& ctx) {
    return ctx.db ? ctx.db->server_encoding() : "";
}

std::string with_charset(request_ctx& ctx, std::string_view type) {
    std::string full(type);
    if (!is_text_type(type) || type.find("charset=") != std::string_view::npos) {
        return full;
    }
    if (const std::string_view charset = http_charset(database_encoding(ctx)); !charset.empty()) {
        full.append("; charset=").append(charset);
    }
    return full;
}

void check_field_text(request_ctx& ctx, const char* kind, std::string_view name,
                      std::string_view value) {
    const std::string encoding = database_encoding(ctx);
    if (encoding.empty()) {
        return;
    }
    if (!is_valid_text(encoding, name)) {
        die_status(ctx, 400, "%s name is not valid %s text", kind, encoding.c_str());
    }
    if (!is_valid_text(encoding, value)) {
        die_status(ctx, 400, "%s '%.*s' is not valid %s text", kind, static_cast<int>(name.size()),
                   name.data(), encoding.c_str());
    }
}

}  // namespace kestrel
