// statements_fuzz.cpp - the backend's statement recognizer over any text:
// what kind of statement it is and the names it takes out. Every name that
// goes into a statement must have passed the identifier check; a call block
// calls only the routine described last; text sent as written is the text.
//
// Input: the described routine's name up to the first newline, then the
// statement text.
#include <string>

#include "db_interface/postgres/statement_map.hpp"
#include "fuzz_support.hpp"

namespace {

using kestrel::fuzz::check;
namespace pg = kestrel::db::pg;

bool is_folded_identifier(std::string_view name) {
    return kestrel::is_identifier(name) && pg::fold_identifier(name) == name;
}

void check_relation(const pg::relation_name& relation) {
    check(relation.schema.empty() || is_folded_identifier(relation.schema),
          "a relation's schema is a folded identifier");
    check(relation.name.empty() || is_folded_identifier(relation.name),
          "a relation's name is a folded identifier");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto [described, text] =
        kestrel::fuzz::split_at(kestrel::fuzz::as_text(data, size), '\n');
    const pg::mapped_statement m = pg::map_statement(text, described);
    check(m.text == text, "the statement is kept as written");
    check_relation(m.relation);
    switch (m.kind) {
        case pg::statement_kind::call:
            check(!described.empty(), "a call needs a described routine");
            if (m.invalid.empty()) {
                for (const auto& argument : m.arguments) {
                    check(is_folded_identifier(argument.name), "argument names are identifiers");
                }
            }
            break;
        case pg::statement_kind::document_insert:
        case pg::statement_kind::document_select:
        case pg::statement_kind::timing_insert:
        case pg::statement_kind::upload_sequence:
            check(!m.relation.name.empty() || !m.invalid.empty(), "a table is named or refused");
            break;
        case pg::statement_kind::start_date:
        case pg::statement_kind::session_user:
        case pg::statement_kind::clock:
        case pg::statement_kind::cgi_env:
        case pg::statement_kind::describe:
        case pg::statement_kind::routine_block:
        case pg::statement_kind::generic_arg:
        case pg::statement_kind::get_page:
        case pg::statement_kind::reset_package:
        case pg::statement_kind::anonymous_block:
        case pg::statement_kind::native:
            break;
    }
    return 0;
}
