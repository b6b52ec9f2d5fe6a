// statement_map.cpp - checks the names a statement hands over and reads
// written text for its block form. Matching is loose about whitespace and
// letter case (a blank in a pattern stands for any run of whitespace, or
// none).
#include "db_interface/postgres/statement_map.hpp"

#include <cctype>

#include "base/text_case.hpp"

namespace kestrel::db::pg {
namespace {

bool is_space(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

char lower(char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

bool is_ident_char(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_' || c == '$';
}

// The position after pattern matched at pos, or none.
std::optional<std::size_t> match_at(std::string_view text, std::size_t pos,
                                    std::string_view pattern) {
    std::size_t i = pos;
    for (const char p : pattern) {
        if (p == ' ') {
            while (i < text.size() && is_space(text[i])) {
                ++i;
            }
            continue;
        }
        if (i >= text.size() || lower(text[i]) != lower(p)) {
            return std::nullopt;
        }
        ++i;
    }
    return i;
}

// The start of the last place from which suffix matches to the end of text,
// at or after from; none when it matches nowhere.
std::optional<std::size_t> find_suffix(std::string_view text, std::size_t from,
                                       std::string_view suffix) {
    const char first = suffix.find_first_not_of(' ') == std::string_view::npos
                           ? ' '
                           : suffix[suffix.find_first_not_of(' ')];
    for (std::size_t s = text.size(); s-- > from;) {
        if (lower(text[s]) == lower(first) && match_at(text, s, suffix) == text.size()) {
            return s;
        }
    }
    return std::nullopt;
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && is_space(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && is_space(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// "begin NAME; end;" or "begin NAME(...); end;": one call written the
// classic block way, as post-actions are configured. Whether NAME is a
// routine is for the server to say.
bool match_routine_block(std::string_view text, mapped_statement& out) {
    const auto name_start = match_at(text, 0, " begin ");
    if (!name_start) {
        return false;
    }
    std::size_t name_end = *name_start;
    while (name_end < text.size() && (is_ident_char(text[name_end]) || text[name_end] == '.')) {
        ++name_end;
    }
    const std::string_view name = text.substr(*name_start, name_end - *name_start);
    if (!parse_relation(name)) {
        return false;
    }
    if (match_at(text, name_end, " ; end; ") == text.size()) {
        out.routine = std::string(name);
        return true;
    }
    const auto open = match_at(text, name_end, " (");
    if (!open) {
        return false;
    }
    const auto close = find_suffix(text, *open, ") ; end; ");
    if (!close) {
        return false;
    }
    out.routine = std::string(name);
    out.argument_text = std::string(text.substr(*open, *close - *open));
    return true;
}

bool is_block(std::string_view text) {
    text = trim(text);
    for (const std::string_view word : {"begin", "declare"}) {
        if (text.size() > word.size() && match_at(text, 0, word) &&
            !is_ident_char(text[word.size()])) {
            return true;
        }
    }
    return text.starts_with("<<");
}

written_form read_written(std::string_view text, mapped_statement& out) {
    if (match_routine_block(text, out)) {
        return written_form::routine_block;
    }
    return is_block(text) ? written_form::anonymous_block : written_form::plain;
}

relation_name checked_relation(std::string_view written, mapped_statement& out) {
    if (auto relation = parse_relation(written)) {
        return std::move(*relation);
    }
    out.invalid = "not a table name: " + std::string(written);
    return {};
}

// The arguments of a call, each bound under its own name.
void check_call(const statement& what, std::string_view described_routine, mapped_statement& out) {
    if (described_routine.empty() || !equal_ignoring_case(what.routine, described_routine)) {
        out.invalid = "not the routine described: " + std::string(what.routine);
        return;
    }
    for (const std::string_view name : what.arguments) {
        if (!is_identifier(name)) {
            out.invalid = "not an argument name: " + std::string(name);
            return;
        }
        out.arguments.push_back({fold_identifier(name), std::string(name)});
    }
}

}  // namespace

std::string fold_identifier(std::string_view name) {
    std::string folded(name);
    for (char& c : folded) {
        c = lower(c);
    }
    return folded;
}

std::optional<relation_name> parse_relation(std::string_view text) {
    const std::size_t dot = text.find('.');
    if (dot == std::string_view::npos) {
        if (!is_identifier(text)) {
            return std::nullopt;
        }
        return relation_name{"", fold_identifier(text)};
    }
    const std::string_view schema = text.substr(0, dot);
    const std::string_view name = text.substr(dot + 1);
    if (!is_identifier(schema) || !is_identifier(name)) {
        return std::nullopt;
    }
    return relation_name{fold_identifier(schema), fold_identifier(name)};
}

std::string relation_name::quoted() const {
    // Identifiers passed is_identifier: no quote can occur inside.
    std::string text;
    if (!schema.empty()) {
        text += '"' + schema + "\".";
    }
    return text + '"' + name + '"';
}

mapped_statement map_statement(const statement& what, std::string_view described_routine) {
    mapped_statement out;
    out.kind = what.kind;
    out.text = std::string(what.text);
    out.page_follows = what.page_follows;
    switch (what.kind) {
        case statement_kind::written:
            out.form = read_written(what.text, out);
            break;
        case statement_kind::upload_sequence:
            if (is_identifier(what.relation)) {
                out.relation = {fold_identifier(what.relation), "img_seq"};
            } else {
                out.invalid = "not a schema name: " + std::string(what.relation);
            }
            break;
        case statement_kind::document_select:
        case statement_kind::document_row:
        case statement_kind::document_insert:
        case statement_kind::timing_insert:
            out.relation = checked_relation(what.relation, out);
            break;
        case statement_kind::cgi_env:
            out.pre_action = std::string(trim(what.pre_action));
            if (out.pre_action.empty()) {
                // No expression: the block goes as written, for the server
                // to refuse.
                out.kind = statement_kind::written;
                out.form = written_form::anonymous_block;
            }
            break;
        case statement_kind::call:
            check_call(what, described_routine, out);
            break;
        case statement_kind::native:
        case statement_kind::start_date:
        case statement_kind::session_user:
        case statement_kind::clock:
        case statement_kind::describe:
        case statement_kind::generic_arg:
        case statement_kind::get_page:
        case statement_kind::reset_package:
            break;
    }
    return out;
}

}  // namespace kestrel::db::pg
