-- 17_describe_routine.sql - the description the gateway needs before it
-- calls a routine: one row per argument (a single row with a null ord for a
-- routine without arguments), none when no routine matches. In PL/pgSQL the
-- catalog query is planned once per session instead of on every request,
-- which a pooled session keeps from one CGI process to the next.
--   p_schema   the schema the URL named, '' for the search path
--   p_exposed  NULL: any schema; blank: the search path without the
--              toolkit's own; else a comma list of the schemas URLs may name
CREATE OR REPLACE FUNCTION owa.describe_routine(p_schema text, p_name text, p_exposed text)
RETURNS TABLE (schema_name text, kind text, defaults text, ord text, arg_name text,
               arg_mode text, is_array text)
LANGUAGE plpgsql STABLE AS $$
BEGIN
    RETURN QUERY
    WITH target AS (
        SELECT p.oid, n.nspname, p.prokind, p.pronargdefaults, p.proargnames, p.proargmodes,
               coalesce(p.proallargtypes, p.proargtypes::oid[]) AS argtypes,
               coalesce(array_position(current_schemas(false)::text[], n.nspname::text), 0)
                   AS path_rank
        FROM pg_catalog.pg_proc p
        JOIN pg_catalog.pg_namespace n ON n.oid = p.pronamespace
        WHERE p.proname = p_name::name
          AND p.prokind IN ('f', 'p')
          AND n.nspname NOT LIKE 'pg\_%'
          AND n.nspname <> 'information_schema'
          AND CASE WHEN p_schema = '' THEN n.nspname = ANY (current_schemas(false))
                   ELSE n.nspname = p_schema::name END
          AND CASE WHEN p_exposed IS NULL THEN true
                   WHEN btrim(p_exposed) = '' THEN n.nspname <> ALL (ARRAY['public', 'sys', 'owa',
                       'htp', 'htf', 'owa_util', 'owa_cookie', 'cgi_args', 'owa_sec',
                       'owa_opt_lock', 'owa_pattern', 'owa_text', 'owa_image']::name[])
                       AND n.nspname = ANY (current_schemas(false))
                   ELSE n.nspname::text = ANY (SELECT lower(btrim(s))
                                               FROM unnest(string_to_array(p_exposed, ',')) AS s)
              END
        ORDER BY path_rank, p.oid
        LIMIT 1
    )
    SELECT target.nspname::text, target.prokind::text, target.pronargdefaults::text, a.o::text,
           coalesce(target.proargnames[a.o], ''), coalesce(target.proargmodes[a.o]::text, 'i'),
           (ty.typcategory = 'A')::text
    FROM target
    LEFT JOIN LATERAL unnest(target.argtypes) WITH ORDINALITY AS a(type_oid, o) ON true
    LEFT JOIN pg_catalog.pg_type ty ON ty.oid = a.type_oid
    ORDER BY a.o;
END
$$;
