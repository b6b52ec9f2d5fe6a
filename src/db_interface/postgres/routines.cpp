// routines.cpp - routine description from pg_proc and the call statement.
#include "db_interface/postgres/routines.hpp"

#include <algorithm>
#include <cstdlib>

namespace kestrel::db::pg {
namespace {

// One row per argument, a single one with a null ord for a routine without
// any, none when no routine matches. The toolkit's function keeps the
// catalog query's plan for the session.
constexpr const char* describe_query = "SELECT * FROM owa.describe_routine($1, $2, $3)";

// Schema names come from the catalog and may hold any character.
std::string quoted(std::string_view identifier) {
    std::string text = "\"";
    for (const char c : identifier) {
        text += c;
        if (c == '"') {
            text += '"';
        }
    }
    return text + '"';
}

void add_argument(routine_description& routine, std::string name, char mode, bool is_array) {
    if (mode == 'o' || mode == 't') {
        if (routine.is_procedure && mode == 'o') {
            routine.out_names.push_back(std::move(name));
        }
        return;
    }
    if (is_array) {
        routine.table_names.push_back(name);
    }
    routine.input_names.push_back(std::move(name));
}

}  // namespace

std::optional<routine_description> describe_routine(connection& conn, std::string_view name,
                                                    const std::optional<std::string>& exposed,
                                                    result& error) {
    const auto relation = parse_relation(name);
    if (!relation) {
        return std::nullopt;
    }
    param schemas{exposed.value_or("")};
    schemas.is_null = !exposed;
    result rows =
        conn.exec(describe_query, {param{relation->schema}, param{relation->name}, schemas});
    if (failed(rows.get())) {
        error = std::move(rows);
        return std::nullopt;
    }
    const int count = PQntuples(rows.get());
    if (count == 0) {
        return std::nullopt;
    }
    routine_description routine;
    routine.requested = std::string(name);
    routine.schema = PQgetvalue(rows.get(), 0, 0);
    routine.name = relation->name;
    routine.is_procedure = std::string_view(PQgetvalue(rows.get(), 0, 1)) == "p";
    const int defaults = std::atoi(PQgetvalue(rows.get(), 0, 2));
    for (int i = 0; i < count; ++i) {
        if (PQgetisnull(rows.get(), i, 3) != 0) {
            continue;  // no arguments at all
        }
        add_argument(routine, PQgetvalue(rows.get(), i, 4), PQgetvalue(rows.get(), i, 5)[0],
                     std::string_view(PQgetvalue(rows.get(), i, 6)) == "true");
    }
    const std::size_t inputs = routine.input_names.size();
    const auto first_default = inputs - std::min<std::size_t>(inputs, std::max(defaults, 0));
    for (std::size_t i = 0; i < inputs; ++i) {
        routine.input_defaults.push_back(i >= first_default);
    }
    return routine;
}

std::string qualified_name(const routine_description& routine) {
    return quoted(routine.schema) + "." + quoted(routine.name);
}

std::string call_statement(const routine_description& routine,
                           const std::vector<call_argument>& args) {
    std::string sql = "CALL " + qualified_name(routine) + "(";
    const char* separator = "";
    for (std::size_t i = 0; i < args.size(); ++i) {
        sql += separator + quoted(args[i].name) + " => $" + std::to_string(i + 1);
        separator = ", ";
    }
    for (const auto& out : routine.out_names) {
        const bool given = std::any_of(args.begin(), args.end(),
                                       [&](const call_argument& a) { return a.name == out; });
        if (!given && !out.empty()) {
            sql += separator + quoted(out) + " => NULL";
            separator = ", ";
        }
    }
    return sql + ")";
}

}  // namespace kestrel::db::pg
