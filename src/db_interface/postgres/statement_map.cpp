// statement_map.cpp - recognises the gateway's statement forms. Matching is
// loose about whitespace and letter case (a blank in a pattern stands for
// any run of whitespace, or none) but strict about everything a request can
// reach: identifiers, argument lists and literals are checked here.
#include "db_interface/postgres/statement_map.hpp"

#include <cctype>

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

bool matches_whole(std::string_view text, std::string_view pattern) {
    return match_at(text, 0, pattern) == text.size();
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

bool contains_ignoring_case(std::string_view text, std::string_view word) {
    if (word.size() > text.size()) {
        return false;
    }
    for (std::size_t i = 0; i + word.size() <= text.size(); ++i) {
        if (match_at(text, i, word)) {
            return true;
        }
    }
    return false;
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

// Reads the relation written at pos (up to whitespace or '(') and matches the
// rest of the statement against tail. Sets relation or invalid.
bool match_relation_statement(std::string_view text, std::string_view head, std::string_view tail,
                              mapped_statement& out) {
    const auto start = match_at(text, 0, head);
    if (!start) {
        return false;
    }
    std::size_t end = *start;
    while (end < text.size() && !is_space(text[end]) && text[end] != '(') {
        ++end;
    }
    if (match_at(text, end, tail) != text.size()) {
        return false;
    }
    const std::string_view written = text.substr(*start, end - *start);
    if (auto relation = parse_relation(written)) {
        out.relation = std::move(*relation);
    } else {
        out.invalid = "not a table name: " + std::string(written);
    }
    return true;
}

// "select OWNER.IMG_SEQ.NEXTVAL from dual": the next value of the owner's
// sequence that numbers uploads.
bool match_upload_sequence(std::string_view text, mapped_statement& out) {
    const auto start = match_at(text, 0, " select ");
    if (!start) {
        return false;
    }
    const std::size_t dot = text.find('.', *start);
    if (dot == std::string_view::npos ||
        match_at(text, dot, ".IMG_SEQ.NEXTVAL from dual ") != text.size()) {
        return false;
    }
    const std::string_view owner = text.substr(*start, dot - *start);
    if (!is_identifier(owner)) {
        out.invalid = "not a schema name: " + std::string(owner);
    }
    out.relation = {fold_identifier(owner), "img_seq"};
    return true;
}

// "name=>:name" pairs between the parentheses of a call block.
void parse_call_arguments(std::string_view list, mapped_statement& out) {
    while (true) {
        const std::size_t comma = list.find(',');
        const std::string_view item = trim(list.substr(0, comma));
        const std::size_t arrow = item.find("=>:");
        const std::string_view name =
            arrow == std::string_view::npos ? item : item.substr(0, arrow);
        const std::string_view placeholder =
            arrow == std::string_view::npos ? std::string_view{} : item.substr(arrow + 3);
        if (!is_identifier(name) || placeholder != name) {
            out.invalid = "not an argument name: " + std::string(name);
            return;
        }
        out.arguments.push_back({fold_identifier(name), std::string(placeholder)});
        if (comma == std::string_view::npos) {
            return;
        }
        list.remove_prefix(comma + 1);
    }
}

bool match_call(std::string_view text, std::string_view routine, mapped_statement& out) {
    if (routine.empty()) {
        return false;
    }
    const auto name_start = match_at(text, 0, " begin ");
    if (!name_start || !match_at(text, *name_start, routine)) {
        return false;
    }
    const std::size_t after_name = *name_start + routine.size();
    if (match_at(text, after_name, " ; end; ") == text.size()) {
        out.routine = std::string(routine);
        return true;
    }
    const auto open = match_at(text, after_name, " (");
    if (!open) {
        return false;
    }
    const auto close = find_suffix(text, *open, ") ; end; ");
    if (!close) {
        return false;
    }
    out.routine = std::string(routine);
    parse_call_arguments(text.substr(*open, *close - *open), out);
    return true;
}

// "begin NAME; end;" or "begin NAME(...); end;": one call written the
// classic block way, as post-actions are configured. Whether NAME is a routine is
// for the server to say.
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

bool match_cgi_env(std::string_view text, mapped_statement& out) {
    const auto start = match_at(text, 0, " begin owa.init_cgi_env(:n,:nm,:v); if (");
    if (!start) {
        return false;
    }
    const auto end = find_suffix(text, *start, ") then :rc := 1; else :rc := 0; end if; end; ");
    if (!end) {
        return false;
    }
    out.pre_action = std::string(trim(text.substr(*start, *end - *start)));
    return !out.pre_action.empty();
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

bool match_fixed(std::string_view text, mapped_statement& out) {
    struct fixed_form {
        std::string_view pattern;
        statement_kind kind;
    };
    static constexpr fixed_form forms[] = {
        {" select TO_CHAR(SYSDATE,'Dy Mon DD HH24:MI:SS YYYY') from dual ",
         statement_kind::start_date},
        {" select user from dual ", statement_kind::session_user},
        {" select hsecs from sys.v_$timer ", statement_kind::clock},
        {" begin owa.get_page(:data,:ndata); end; ", statement_kind::get_page},
        {" begin dbms_session.reset_package; end; ", statement_kind::reset_package},
        {" begin cgi_args.argC := cgi_args.argC+1; cgi_args.argNam(cgi_args.argC) := :name; "
         "cgi_args.argVal(cgi_args.argC) := :val; end; ",
         statement_kind::generic_arg},
    };
    for (const auto& form : forms) {
        if (matches_whole(text, form.pattern)) {
            out.kind = form.kind;
            return true;
        }
    }
    return false;
}

bool match_relation_forms(std::string_view text, mapped_statement& out) {
    if (match_relation_statement(
            text, " insert into ",
            " (url,msg,start_hsecs,stop_hsecs,userid,remote_addr, http_user_agent) values "
            "(:url,:msg,:start_hsecs,:stop_hsecs,:userid,:remote_addr, :http_user_agent) ",
            out)) {
        out.kind = statement_kind::timing_insert;
        return true;
    }
    if (match_relation_statement(text, " insert into ",
                                 " (name,mime_type,doc_size,content,file_name) values "
                                 "(:seqno,:mime_type,:length,:image,:file_name) ",
                                 out)) {
        out.kind = statement_kind::document_insert;
        return true;
    }
    if (match_relation_statement(
            text, " select image, mime_type, img_size, octet_length(image), last_updated from ",
            " where name = :name ", out)) {
        out.kind = statement_kind::document_select;
        out.all_columns = true;
        return true;
    }
    if (match_relation_statement(text, " select image from ", " where name = :name ", out)) {
        out.kind = statement_kind::document_select;
        return true;
    }
    return false;
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

mapped_statement map_statement(std::string_view text, std::string_view described_routine) {
    mapped_statement out;
    out.text = std::string(text);
    if (match_fixed(text, out) || match_relation_forms(text, out)) {
        return out;
    }
    if (match_cgi_env(text, out)) {
        out.kind = statement_kind::cgi_env;
        return out;
    }
    if (contains_ignoring_case(text, "dbms_describe.describe_procedure")) {
        out.kind = statement_kind::describe;
        return out;
    }
    if (match_upload_sequence(text, out)) {
        out.kind = statement_kind::upload_sequence;
        return out;
    }
    if (match_call(text, described_routine, out)) {
        out.kind = statement_kind::call;
        return out;
    }
    if (match_routine_block(text, out)) {
        out.kind = statement_kind::routine_block;
        return out;
    }
    out.kind = is_block(text) ? statement_kind::anonymous_block : statement_kind::native;
    return out;
}

}  // namespace kestrel::db::pg
