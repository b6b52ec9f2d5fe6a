// statement_map.hpp - what a statement of the gateway means on PostgreSQL.
// oparse runs the statement through map_statement; the client then executes
// the mapped form at oexec/oexfet. The kind comes from the gateway; only the
// names it hands over are checked here (identifiers, folded to lower case),
// and only written text is read, to see whether it is a block. Nothing
// touches the server.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/identifier.hpp"
#include "db_interface/client.hpp"

namespace kestrel::db::pg {

// How written text runs.
enum class written_form {
    plain,            // sent as written
    anonymous_block,  // begin ... end; or declare ...: a DO block
    routine_block,    // begin NAME; end; or begin NAME(...); end;: that call
};

// A schema-qualified relation whose parts passed is_identifier, folded.
struct relation_name {
    std::string schema;  // empty: resolved through the search path
    std::string name;

    // "schema"."name" ready for a statement.
    std::string quoted() const;
};

// One named argument of a call block: the argument name and its placeholder.
struct call_argument {
    std::string name;         // folded to lower case
    std::string placeholder;  // as the gateway bound it
};

struct mapped_statement {
    statement_kind kind = statement_kind::native;
    written_form form = written_form::plain;  // native and written
    std::string text;                         // the statement as the gateway wrote it

    std::string pre_action;  // cgi_env: the boolean expression, trusted configuration
    relation_name relation;  // documents, timing table, upload sequence
    // call: the arguments; routine_block: the routine as written and what
    // stands between its parentheses.
    std::vector<call_argument> arguments;
    std::string routine;
    std::string argument_text;
    std::string invalid;        // why the statement cannot be run (call and names)
    bool page_follows = false;  // call and written: see statement::page_follows
};

std::string fold_identifier(std::string_view name);

// Splits "schema.name" or "name" into folded parts; none when a part is not
// an identifier.
std::optional<relation_name> parse_relation(std::string_view text);

// described_routine: the name the last description found (empty when none);
// a call is of that routine only.
mapped_statement map_statement(const statement& what, std::string_view described_routine);

}  // namespace kestrel::db::pg
