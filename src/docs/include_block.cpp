// include_block.cpp - one ORACLE-tagged block: copy, parse, bind the
// placeholders from the request's arguments, execute, write the page.
// A failing block costs only its own output: the include file goes on.
#include "docs/include_block.hpp"

#include <cstring>
#include <string>
#include <vector>

#include "args/arglist.hpp"
#include "db/binds.hpp"
#include "db/errors.hpp"
#include "exec/page.hpp"
#include "frame/diagnostics.hpp"
#include "frame/pool.hpp"

namespace kestrel {
namespace {

bool is_name_char(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// Database messages may quote request values; the page is HTML, so they
// must not be able to open markup of their own.
std::string html_text(std::string_view message) {
    std::string out;
    out.reserve(message.size());
    for (const char c : message) {
        switch (c) {
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '&':
                out += "&amp;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

void write_block_error(request_ctx& ctx) {
    wrbprintf(ctx, "<pre><b>%s</b></pre>", html_text(oerr_cda(ctx)).c_str());
}

// The value a placeholder receives: the one argument of that name, or "".
// The text lives in the request pool with room for length + 2 bytes, as sbind
// expects, until the cursor is parsed again.
// Only the one value is copied: packing every value of a repeated name in
// slots of the longest one's width would let one long field and many empty
// ones of that name ask for gigabytes.
char* placeholder_value(request_ctx& ctx, std::string_view name) {
    const std::vector<std::string_view> values = get_array_of_values(ctx, name);
    const std::string_view value = values.size() == 1 ? values.front() : std::string_view();
    auto* copy = static_cast<char*>(_xheap_alloc(ctx, value.size() + 2));
    if (!value.empty()) {
        std::memcpy(copy, value.data(), value.size());
    }
    return copy;
}

}  // namespace

void do_binds(request_ctx& ctx, std::string_view text) {
    bool in_quote = false;
    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c == '\'') {
            in_quote = !in_quote;
        }
        if (c != ':' || in_quote) {
            ++i;
            continue;
        }
        const std::size_t start = i + 1;
        std::size_t len = 0;
        while (start + len < text.size() && len < placeholder_name_max &&
               is_name_char(text[start + len])) {
            ++len;
        }
        if (len != 0) {
            const char* name = _xheap_strdup(ctx, text.substr(start, len));
            const int rc = sbind(ctx, std::string_view(name, len),
                                 placeholder_value(ctx, text.substr(start, len)));
            KESTREL_TRACE(ctx, "bind %s: %d", name, rc);
        }
        // The character after the name is passed over unexamined, so that
        // "::type" casts and ":=" never yield a placeholder.
        i = start + len + 1;
    }
}

int owassi_do_block(request_ctx& ctx, std::string_view block) {
    char* text = static_cast<char*>(_xheap_alloc(ctx, block.size() + 100));
    std::memcpy(text, block.data(), block.size());
    for (std::size_t i = 0; i < block.size(); ++i) {
        if (text[i] == '\r') {
            text[i] = ' ';
        }
    }
    const std::string_view statement(text, block.size());
    KESTREL_TRACE(ctx, "include block of %zu bytes", block.size());

    if (ctx.db->oparse(
            ctx.cda,
            {.kind = db::statement_kind::written, .text = statement, .page_follows = true}) != 0) {
        write_block_error(ctx);
        return 0;
    }
    do_binds(ctx, statement);
    if (ctx.db->oexec(ctx.cda) != 0) {
        write_block_error(ctx);
        return 0;
    }
    dump_page(ctx);
    return 0;
}

}  // namespace kestrel
