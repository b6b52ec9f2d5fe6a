// document_headers.cpp - validators, conditional requests and the header
// block of a document download; see document_headers.hpp.
#include "docs/document_headers.hpp"

#include <array>
#include <cstdio>

#include "base/text_trim.hpp"

namespace kestrel {
namespace {

constexpr std::array<const char*, 7> day_names = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr std::array<const char*, 12> month_names = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// The opaque part of a tag: weak and strong tags compare alike here.
std::string_view opaque(std::string_view tag) {
    return tag.starts_with("W/") ? tag.substr(2) : tag;
}

bool names_tag(std::string_view list, std::string_view tag) {
    while (!list.empty()) {
        const std::size_t comma = list.find(',');
        const std::string_view item = trim_blanks(list.substr(0, comma));
        if (item == "*" || (!item.empty() && opaque(item) == opaque(tag))) {
            return true;
        }
        list = comma == std::string_view::npos ? std::string_view{} : list.substr(comma + 1);
    }
    return false;
}

std::time_t modified_seconds(const document_head& head) {
    return static_cast<std::time_t>(*head.modified_usec / 1000000);
}

bool is_attr_char(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::string_view("!#$&+-.^_`|~").find(static_cast<char>(c)) != std::string_view::npos;
}

// Printable ASCII without quote and backslash; each other character (a
// whole UTF-8 sequence) becomes one '_'.
std::string ascii_fallback(std::string_view name, bool& changed) {
    std::string text;
    changed = false;
    for (const char ch : name) {
        const auto c = static_cast<unsigned char>(ch);
        if (c >= 0x20 && c < 0x7f && c != '"' && c != '\\') {
            text += ch;
            continue;
        }
        changed = true;
        if (c < 0x80 || c >= 0xc0) {
            text += '_';
        }
    }
    return text;
}

std::string percent_encoded(std::string_view name) {
    static constexpr std::string_view hex = "0123456789ABCDEF";
    std::string text;
    for (const char ch : name) {
        const auto c = static_cast<unsigned char>(ch);
        if (is_attr_char(c)) {
            text += ch;
        } else {
            text += '%';
            text += hex[c >> 4];
            text += hex[c & 0x0f];
        }
    }
    return text;
}

void add_validators(std::string& text, const document_head& head) {
    if (head.modified_usec) {
        text += "ETag: " + entity_tag(head) + "\n";
        text += "Last-Modified: " + http_date(modified_seconds(head)) + "\n";
    }
    if (!head.cache_control.empty()) {
        text += "Cache-Control: " + head.cache_control + "\n";
    }
    if (head.gzip) {
        text += "Vary: Accept-Encoding\n";
    }
}

}  // namespace

std::string entity_tag(const document_head& head) {
    std::array<char, 64> text{};
    std::snprintf(text.data(), text.size(), "%s\"%llx-%llx\"", head.gzip ? "W/" : "",
                  static_cast<unsigned long long>(head.size),
                  static_cast<unsigned long long>(head.modified_usec.value_or(0)));
    return text.data();
}

std::string http_date(std::time_t when) {
    std::tm utc{};
    gmtime_r(&when, &utc);
    std::array<char, 40> text{};
    std::snprintf(text.data(), text.size(), "%s, %02d %s %04d %02d:%02d:%02d GMT",
                  day_names.at(static_cast<std::size_t>(utc.tm_wday)), utc.tm_mday,
                  month_names.at(static_cast<std::size_t>(utc.tm_mon)), utc.tm_year + 1900,
                  utc.tm_hour, utc.tm_min, utc.tm_sec);
    return text.data();
}

std::optional<std::time_t> parse_http_date(std::string_view text) {
    const std::string date(trim_blanks(text));
    std::array<char, 4> day{};
    std::array<char, 4> month{};
    std::tm utc{};
    int consumed = 0;
    if (std::sscanf(date.c_str(), "%3s, %d %3s %d %d:%d:%d GMT%n", day.data(), &utc.tm_mday,
                    month.data(), &utc.tm_year, &utc.tm_hour, &utc.tm_min, &utc.tm_sec,
                    &consumed) != 7 ||
        static_cast<std::size_t>(consumed) != date.size()) {
        return std::nullopt;
    }
    std::size_t m = 0;
    while (m < month_names.size() && std::string_view(month_names.at(m)) != month.data()) {
        ++m;
    }
    if (m == month_names.size()) {
        return std::nullopt;
    }
    utc.tm_mon = static_cast<int>(m);
    utc.tm_year -= 1900;
    return timegm(&utc);
}

bool is_not_modified(const document_head& head, const char* if_none_match,
                     const char* if_modified_since) {
    if (!head.modified_usec) {
        return false;
    }
    if (if_none_match != nullptr) {
        return names_tag(if_none_match, entity_tag(head));
    }
    if (if_modified_since == nullptr) {
        return false;
    }
    const auto since = parse_http_date(if_modified_since);
    return since && modified_seconds(head) <= *since;
}

bool if_range_holds(const document_head& head, const char* if_range) {
    if (if_range == nullptr) {
        return true;
    }
    if (!head.modified_usec) {
        return false;
    }
    const std::string_view value = trim_blanks(if_range);
    if (value.starts_with('"')) {
        return value == entity_tag(head);
    }
    const auto date = parse_http_date(value);
    return date && *date == modified_seconds(head);
}

std::string content_disposition(std::string_view file_name) {
    bool changed = false;
    std::string text = "attachment; filename=\"" + ascii_fallback(file_name, changed) + "\"";
    if (changed) {
        text += "; filename*=UTF-8''" + percent_encoded(file_name);
    }
    return text;
}

std::string document_header(const document_head& head, const byte_range& range, bool not_modified) {
    std::string text;
    if (not_modified) {
        text = "Status: 304 Not Modified\n";
        add_validators(text, head);
        return text + "\n";
    }
    if (range.what == byte_range::kind::unsatisfiable) {
        return "Status: 416 Range Not Satisfiable\nContent-Range: bytes */" +
               std::to_string(head.size) + "\nContent-Length: 0\n\n";
    }
    const bool slice = range.what == byte_range::kind::slice;
    if (slice) {
        text = "Status: 206 Partial Content\n";
    }
    text += "Content-type: " + head.type + "\n";
    if (!head.gzip) {
        text += "Content-Length: " + std::to_string(slice ? range.count : head.size) + "\n";
        text += "Accept-Ranges: bytes\n";
    }
    if (slice) {
        text += "Content-Range: bytes " + std::to_string(range.first) + "-" +
                std::to_string(range.first + range.count - 1) + "/" + std::to_string(head.size) +
                "\n";
    }
    add_validators(text, head);
    if (!head.file_name.empty()) {
        text += "Content-Disposition: " + content_disposition(head.file_name) + "\n";
    }
    return text + "\n";
}

}  // namespace kestrel
