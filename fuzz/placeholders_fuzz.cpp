// placeholders_fuzz.cpp - the backend's placeholder scan and literal splicing
// over any statement text. A value spliced in as a quoted literal must stay a
// value: after splicing, the text holds no placeholder that was not there,
// and none inside a literal; a DO block's tag never occurs in its body.
#include <algorithm>
#include <string>
#include <vector>

#include "db_interface/postgres/placeholders.hpp"
#include "fuzz_support.hpp"

namespace {

using kestrel::fuzz::check;
namespace pg = kestrel::db::pg;

bool is_name_char(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

void check_scan(std::string_view text, const std::vector<pg::placeholder>& found) {
    std::size_t after = 0;
    for (const auto& p : found) {
        check(p.position >= after, "placeholders in order, never overlapping");
        check(p.position + p.length <= text.size(), "inside the text");
        check(text[p.position] == ':', "at a colon");
        check(!p.name.empty() && p.name.size() <= 31 && p.length >= p.name.size() + 1,
              "a colon and a name of 1 to 31 characters");
        check(p.length == p.name.size() + 1 || p.name.size() == 31, "only a long run is cut");
        for (const char c : text.substr(p.position + 1, p.length - 1)) {
            check(is_name_char(c), "names of letters, digits and '_'");
        }
        check(p.position + p.length == text.size() || !is_name_char(text[p.position + p.length]),
              "the whole run of name characters");
        after = p.position + p.length;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = kestrel::fuzz::as_text(data, size);
    const auto found = pg::find_placeholders(text);
    check_scan(text, found);

    const std::string same =
        pg::splice_literals(text, [](std::string_view) { return std::optional<std::string>(); });
    check(same == text, "placeholders without a value stay as written");

    // A hostile value: quotes, a comment opener, a colon name, a dollar tag.
    // Each spliced literal must read as one literal: no placeholder inside.
    const std::string literal = "'x'':y--$$/*'";
    const std::string spliced = pg::splice_literals(
        text, [&](std::string_view) { return std::optional<std::string>(literal); });
    std::vector<std::size_t> starts;
    std::size_t shift = 0;
    for (const auto& p : found) {
        starts.push_back(p.position + shift + 1);  // after the blank
        shift += literal.size() + 2 - p.length;
    }
    // A rescan that finds a colon name in code that the first scan passed
    // over (the character after a name) reads what follows as if a literal
    // would go there, unlike the server: only rescans without one judge.
    const auto inside = [&](std::size_t at) {
        return std::any_of(starts.begin(), starts.end(), [&](std::size_t start) {
            return at >= start && at < start + literal.size();
        });
    };
    const auto rescan = pg::find_placeholders(spliced);
    if (std::none_of(rescan.begin(), rescan.end(),
                     [&](const pg::placeholder& p) { return !inside(p.position); })) {
        check(rescan.empty(), "no placeholder inside a spliced literal");
    }

    const std::string block = pg::do_block(text);
    const std::size_t tag_end = block.find('$', 4);
    check(block.starts_with("DO $") && tag_end != std::string::npos, "DO and a dollar tag");
    const std::string tag = block.substr(3, tag_end - 2);
    check(text.find(tag) == std::string_view::npos, "the tag does not occur in the body");
    return 0;
}
