// include_fuzz.cpp - the include road for a stored include text: the ORACLE
// tag scanner, the include loop and the blocks' placeholder binds, against
// the recording database client. The input is the stored text. The response
// and the statements run are compared with a plain rendering of the tag and
// loop rules, so a wrong cut is a finding as much as a crash.
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "docs/include.hpp"
#include "docs/include_tags.hpp"
#include "fuzz_support.hpp"

namespace {

using kestrel::fuzz::check;

constexpr const char* page = "[PAGE]";
const std::string image_query = "select image from demo.image where name = :name";
const std::string header_sent = "select owa.header_sent()";
const std::string get_page = "begin owa.get_page(:data,:ndata);end;";

// "<", blanks, tabs or line feeds, the word in any case, then a blank, tab,
// line feed, ">" or the end.
std::size_t expected_tag(std::string_view text, bool closing) {
    const std::string word = closing ? "/ORACLE" : "ORACLE";
    for (std::size_t lt = 0; lt < text.size(); ++lt) {
        if (text[lt] != '<') {
            continue;
        }
        std::size_t at = lt + 1;
        while (at < text.size() && std::strchr(" \t\n", text[at]) != nullptr && text[at] != 0) {
            ++at;
        }
        std::size_t i = 0;
        while (i < word.size() && at + i < text.size() &&
               std::toupper(static_cast<unsigned char>(text[at + i])) == word[i]) {
            ++i;
        }
        const std::size_t after = at + word.size();
        if (i == word.size() &&
            (after == text.size() || std::strchr(" \t\n>", text[after]) != nullptr)) {
            return lt;
        }
    }
    return kestrel::no_tag;
}

struct expected_road {
    std::string response;
    std::vector<std::string> statements;
};

expected_road expected_include(std::string_view text) {
    expected_road road{"Content-type: text/html\n\n", {image_query}};
    std::size_t pos = 0;
    for (;;) {
        const std::string_view rest = text.substr(pos);
        const std::size_t open = expected_tag(rest, false);
        const std::size_t close =
            open == kestrel::no_tag ? kestrel::no_tag : expected_tag(rest.substr(open), true);
        const std::size_t gt = open == kestrel::no_tag ? kestrel::no_tag : rest.find('>', open);
        if (close == kestrel::no_tag || gt == kestrel::no_tag || gt >= open + close) {
            road.response += rest;
            return road;
        }
        road.response += rest.substr(0, open);
        if (road.statements.size() == 1) {
            road.statements.push_back(header_sent);
        }
        std::string block(rest.substr(gt + 1, open + close - gt - 1));
        for (char& c : block) {
            c = c == '\r' ? ' ' : c;
        }
        road.statements.push_back(block);
        road.statements.push_back(get_page);
        road.response += page;
        const std::size_t close_gt = rest.find('>', open + close);
        if (close_gt == std::string_view::npos) {
            return road;
        }
        pos += close_gt + 1;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string stored(kestrel::fuzz::as_text(data, size));
    const std::string_view text(stored.c_str());  // the text ends at its first NUL

    check(kestrel::findOracleTag(text, false) == expected_tag(text, false), "opening tag found");
    check(kestrel::findOracleTag(text, true) == expected_tag(text, true), "closing tag found");

    kestrel::fuzz::fuzz_request request({"SCRIPT_NAME=/demo", "PATH_INFO=/owa/page.html",
                                         "REQUEST_METHOD=GET", "QUERY_STRING=a=1&b=2&b=3"});
    kestrel::request_ctx& ctx = request.ctx;
    kestrel::service_entry demo;
    demo.owa_service = "demo";
    demo.owa_user = "demo";
    request.config->services.push_back(demo);
    ctx.service_index = 0;
    ctx.service_name = "demo";
    ctx.procedure_name = "page.html";
    request.config->mime_table = {{"text/html", "html htm"}};
    request.config->default_mime_type = "text/plain";
    ctx.args = {{"a", "1"}, {"b", "2"}, {"B", "3"}};
    request.db.on(image_query).outcomes = {{.row = kestrel::test::row_values{stored}}};
    request.db.on(get_page).outcomes = {{.integers = {{"ndata", 1}}, .arrays = {{"data", {page}}}}};

    check(request.run([&] { kestrel::owassi(ctx); }), "an include text never ends the request");
    if (stored.empty()) {
        return 0;  // no stored text: the file road, which has no mapped directory here
    }
    const expected_road road = expected_include(text);
    check(request.io.out == road.response, "response cut by the tag rules");
    check(request.db.statement_texts() == road.statements, "blocks run as the tag rules cut them");
    return 0;
}
