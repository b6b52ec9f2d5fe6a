-- 13_owa_pattern.sql - the owa_pattern package on PostgreSQL regular
-- expressions (advanced syntax: \d, \w, \s, classes, groups, {n,m}).
-- Flags: 'i' ignores case, 'g' (change only) replaces every match; other
-- letters are ignored. In replacement text '&' is the whole match and \1 ..
-- \9 the groups; '\&' is a literal '&'.

-- Only the flags the package knows, as PostgreSQL spells them.
CREATE OR REPLACE FUNCTION owa_pattern.regex_flags(flags text, allowed text) RETURNS text
LANGUAGE sql IMMUTABLE AS $$
    SELECT coalesce(string_agg(DISTINCT f, ''), '')
    FROM regexp_split_to_table(lower(coalesce(flags, '')), '') AS f
    WHERE strpos(allowed, f) > 0
$$;

CREATE OR REPLACE FUNCTION owa_pattern.match(line text, pat text, flags text DEFAULT NULL)
RETURNS boolean LANGUAGE sql IMMUTABLE AS $$
    SELECT coalesce(regexp_like(line, pat, owa_pattern.regex_flags(flags, 'i')), false)
$$;

-- The position after a match that starts exactly at from_loc, else 0.
CREATE OR REPLACE FUNCTION owa_pattern.amatch(line text, from_loc integer, pat text,
                                              flags text DEFAULT NULL)
RETURNS integer LANGUAGE sql IMMUTABLE AS $$
    SELECT CASE WHEN from_loc BETWEEN 1 AND length(line) + 1
                 AND regexp_instr(line, pat, from_loc, 1, 0, owa_pattern.regex_flags(flags, 'i')) = from_loc
                THEN regexp_instr(line, pat, from_loc, 1, 1, owa_pattern.regex_flags(flags, 'i'))
                ELSE 0 END
$$;

-- Replacement text in PostgreSQL's form: '&' -> '\&', '\&' -> '&'.
CREATE OR REPLACE FUNCTION owa_pattern.replacement(to_str text) RETURNS text
LANGUAGE sql IMMUTABLE AS $$
    SELECT string_agg(CASE WHEN piece = '\&' THEN '&' WHEN piece = '&' THEN '\&' ELSE piece END, ''
                      ORDER BY n)
    FROM regexp_matches(coalesce(to_str, ''), '\\&|&|[^&\\]+|\\.?', 'g') WITH ORDINALITY AS m(p, n),
         LATERAL (SELECT p[1] AS piece) AS x
$$;

-- Replaces the first match of from_str in line (every match with 'g');
-- nchanges tells how many were replaced.
CREATE OR REPLACE PROCEDURE owa_pattern.change(INOUT line text, from_str text, to_str text,
                                               flags text DEFAULT NULL,
                                               INOUT nchanges integer DEFAULT NULL)
LANGUAGE plpgsql AS $$
DECLARE
    found integer := regexp_count(coalesce(line, ''), from_str, 1, owa_pattern.regex_flags(flags, 'i'));
BEGIN
    nchanges := CASE WHEN strpos(lower(coalesce(flags, '')), 'g') > 0 THEN found ELSE least(found, 1) END;
    IF nchanges > 0 THEN
        line := regexp_replace(line, from_str, coalesce(owa_pattern.replacement(to_str), ''),
                               owa_pattern.regex_flags(flags, 'ig'));
    END IF;
END
$$;
