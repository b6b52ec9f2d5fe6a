// routines.hpp - what the description block and the call block mean on
// PostgreSQL: one catalog query describes a routine, and the call becomes
// CALL (procedures) or SELECT (functions) with named arguments whose values
// travel as parameters.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "db_interface/postgres/connection.hpp"
#include "db_interface/postgres/statement_map.hpp"

namespace kestrel::db::pg {

struct routine_description {
    std::string requested;  // the name as the gateway described it
    std::string schema;
    std::string name;
    bool is_procedure = false;
    // Input arguments (IN, INOUT, VARIADIC) in order; unnamed ones are empty.
    std::vector<std::string> input_names;
    std::vector<bool> input_defaults;      // the last pronargdefaults inputs
    std::vector<std::string> table_names;  // inputs of an array type
    std::vector<std::string> out_names;    // OUT arguments a CALL must name
};

// Looks up the routine a request names: "name" through the search path,
// "schema.name" in that schema; unquoted names fold to lower case. Catalog
// schemas (pg_*, information_schema) are never searched. exposed limits the
// schemas further: a comma-separated list, or when empty the search path
// without public and the toolkit's schemas; none means no further limit.
// Returns none when the name is not one or two identifiers or no such
// routine exists in those schemas; error receives the failed result when the
// query itself fails.
std::optional<routine_description> describe_routine(connection& conn, std::string_view name,
                                                    const std::optional<std::string>& exposed,
                                                    result& error);

// "schema"."name", quoted for a statement.
std::string qualified_name(const routine_description& routine);

// The CALL of the procedure routine with args: argument i takes $i+1, OUT
// arguments that args do not name receive NULL.
std::string call_statement(const routine_description& routine,
                           const std::vector<call_argument>& args);

}  // namespace kestrel::db::pg
