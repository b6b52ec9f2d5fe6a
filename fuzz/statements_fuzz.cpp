// statements_fuzz.cpp - the backend's reading of what a statement hands over,
// over any text: a table name from the configuration and text written in
// configuration or a document. Every name that goes into a statement must
// have passed the identifier check; text sent as written is the text.
//
// Input: the table name up to the first newline, then the written text.
#include <string>

#include "db_interface/postgres/statement_map.hpp"
#include "fuzz_support.hpp"

namespace {

using kestrel::fuzz::check;
namespace db = kestrel::db;
namespace pg = kestrel::db::pg;

bool is_folded_identifier(std::string_view name) {
    return kestrel::is_identifier(name) && pg::fold_identifier(name) == name;
}

void check_relation(const pg::mapped_statement& m) {
    check(!m.relation.name.empty() || !m.invalid.empty(), "a table is named or refused");
    check(m.relation.schema.empty() || is_folded_identifier(m.relation.schema),
          "a relation's schema is a folded identifier");
    check(m.relation.name.empty() || is_folded_identifier(m.relation.name),
          "a relation's name is a folded identifier");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto [table, text] = kestrel::fuzz::split_at(kestrel::fuzz::as_text(data, size), '\n');
    check_relation(
        pg::map_statement({.kind = db::statement_kind::timing_insert, .relation = table}, ""));
    check_relation(
        pg::map_statement({.kind = db::statement_kind::upload_sequence, .relation = table}, ""));

    const pg::mapped_statement m =
        pg::map_statement({.kind = db::statement_kind::written, .text = text}, "");
    check(m.text == text, "the statement is kept as written");
    if (m.form == pg::written_form::routine_block) {
        check(pg::parse_relation(m.routine).has_value(), "a routine block names a routine");
        check(text.find(m.argument_text) != std::string_view::npos,
              "the arguments are the text's own");
    }
    return 0;
}
