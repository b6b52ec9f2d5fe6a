// routines.cpp - routine description from pg_proc and the call statement.
#include "db_interface/postgres/routines.hpp"

#include <algorithm>
#include <cstdlib>

namespace kestrel::db::pg {
namespace {

// One row per argument (none for a routine without arguments: ord is null).
constexpr const char* describe_query = R"(
WITH target AS (
    SELECT p.oid, n.nspname, p.prokind, p.pronargdefaults, p.proargnames, p.proargmodes,
           coalesce(p.proallargtypes, p.proargtypes::oid[]) AS argtypes,
           coalesce(array_position(current_schemas(false)::text[], n.nspname::text), 0) AS path_rank
    FROM pg_catalog.pg_proc p
    JOIN pg_catalog.pg_namespace n ON n.oid = p.pronamespace
    WHERE p.proname = $2::name
      AND p.prokind IN ('f', 'p')
      AND n.nspname NOT LIKE 'pg\_%'
      AND n.nspname <> 'information_schema'
      AND CASE WHEN $1 = '' THEN n.nspname = ANY (current_schemas(false))
               ELSE n.nspname = $1::name END
      AND CASE WHEN $3::text IS NULL THEN true
               WHEN btrim($3) = '' THEN n.nspname <> ALL (ARRAY['public', 'sys', 'owa', 'htp',
                   'htf', 'owa_util', 'owa_cookie', 'cgi_args', 'owa_sec', 'owa_opt_lock',
                   'owa_pattern', 'owa_text', 'owa_image']::name[])
                   AND n.nspname = ANY (current_schemas(false))
               ELSE n.nspname::text = ANY (SELECT lower(btrim(s))
                                           FROM unnest(string_to_array($3, ',')) AS s) END
    ORDER BY path_rank, p.oid
    LIMIT 1
)
SELECT target.nspname::text, target.prokind::text, target.pronargdefaults::text, a.ord::text,
       coalesce(target.proargnames[a.ord], ''), coalesce(target.proargmodes[a.ord]::text, 'i'),
       (ty.typcategory = 'A')::text
FROM target
LEFT JOIN LATERAL unnest(target.argtypes) WITH ORDINALITY AS a(type_oid, ord) ON true
LEFT JOIN pg_catalog.pg_type ty ON ty.oid = a.type_oid
ORDER BY a.ord)";

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
