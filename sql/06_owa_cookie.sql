-- 06_owa_cookie.sql - the owa_cookie package: cookies out (a Set-Cookie
-- header line) and in (from the request's HTTP_COOKIE).

CREATE OR REPLACE FUNCTION owa_cookie.send(name text, value text,
                                           expires timestamptz DEFAULT NULL,
                                           path text DEFAULT NULL, domain text DEFAULT NULL,
                                           secure text DEFAULT NULL)
RETURNS void LANGUAGE plpgsql AS $$
BEGIN
    PERFORM owa.header_line('Set-Cookie: '
        || owa.header_value('owa_cookie.send', name || '=' || coalesce(value, ''))
        || coalesce('; expires='
                    || to_char(expires AT TIME ZONE 'GMT', 'Dy, DD-Mon-YYYY HH24:MI:SS') || ' GMT', '')
        || owa.header_value('owa_cookie.send', coalesce('; path=' || path, ''))
        || owa.header_value('owa_cookie.send', coalesce('; domain=' || domain, ''))
        || CASE WHEN secure IS NULL THEN '' ELSE '; secure' END);
END
$$;

-- Every value the request's cookies give name, in header order.
CREATE OR REPLACE FUNCTION owa_cookie.get_all(name text) RETURNS text[]
LANGUAGE sql STABLE AS $$
    SELECT coalesce(array_agg(substr(c, strpos(c, '=') + 1) ORDER BY n), '{}')
    FROM unnest(string_to_array(coalesce(owa.get_cgi_env('HTTP_COOKIE'), ''), ';'))
         WITH ORDINALITY AS t(raw, n),
         LATERAL (SELECT btrim(raw) AS c) AS trimmed
    WHERE strpos(c, '=') > 0 AND substr(c, 1, strpos(c, '=') - 1) = name
$$;

-- The cookie record: its name, every value in header order, their count.
DO $type$
BEGIN
    IF to_regtype('owa_cookie.cookie') IS NULL THEN
        CREATE TYPE owa_cookie.cookie AS (name text, vals owa_cookie.vc_arr, num_vals integer);
    END IF;
END
$type$;

DROP FUNCTION IF EXISTS owa_cookie.get(text);
CREATE FUNCTION owa_cookie.get(name text) RETURNS owa_cookie.cookie
LANGUAGE sql STABLE AS $$
    SELECT ROW(name, v, cardinality(v))::owa_cookie.cookie FROM owa_cookie.get_all(name) AS v
$$;

-- Every cookie of the request: names and values in header order, and their
-- count.
CREATE OR REPLACE FUNCTION owa_cookie.get_all(OUT names owa_cookie.vc_arr, OUT vals owa_cookie.vc_arr,
                                              OUT num_vals integer)
LANGUAGE sql STABLE AS $$
    SELECT coalesce(array_agg(substr(c, 1, strpos(c, '=') - 1) ORDER BY n), '{}'),
           coalesce(array_agg(substr(c, strpos(c, '=') + 1) ORDER BY n), '{}'),
           count(*)::integer
    FROM unnest(string_to_array(coalesce(owa.get_cgi_env('HTTP_COOKIE'), ''), ';'))
         WITH ORDINALITY AS t(raw, n),
         LATERAL (SELECT btrim(raw) AS c) AS trimmed
    WHERE strpos(c, '=') > 0
$$;

-- An expired cookie tells the browser to forget it.
CREATE OR REPLACE FUNCTION owa_cookie.remove(name text, value text DEFAULT '',
                                             path text DEFAULT NULL)
RETURNS void LANGUAGE sql AS $$
    SELECT owa_cookie.send(name, value, timestamptz '1990-01-01 00:00:00+00', path)
$$;
