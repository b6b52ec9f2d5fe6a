-- 14_owa_text.sql - the owa_text package: multi-line text (a stream cut
-- into rows, each row keeping its line end) and row lists (row numbers),
-- and owa_pattern.match over such text.

DO $types$
BEGIN
    IF to_regtype('owa_text.multi_line') IS NULL THEN
        CREATE TYPE owa_text.multi_line AS (rows owa_text.vc_arr, num_rows integer,
                                            partial_row boolean);
    END IF;
    IF to_regtype('owa_text.row_list') IS NULL THEN
        CREATE TYPE owa_text.row_list AS (rows owa_text.int_arr, num_rows integer);
    END IF;
END
$types$;

CREATE OR REPLACE FUNCTION owa_text.new_multi() RETURNS owa_text.multi_line
LANGUAGE sql IMMUTABLE AS $$ SELECT ROW('{}', 0, false)::owa_text.multi_line $$;

CREATE OR REPLACE FUNCTION owa_text.new_row_list() RETURNS owa_text.row_list
LANGUAGE sql IMMUTABLE AS $$ SELECT ROW('{}', 0)::owa_text.row_list $$;

-- The stream cut after each line end; partial_row when the last row has none.
CREATE OR REPLACE FUNCTION owa_text.stream2multi(stream text) RETURNS owa_text.multi_line
LANGUAGE sql IMMUTABLE AS $$
    SELECT ROW(coalesce(array_agg(r ORDER BY n), '{}'), count(*)::integer,
               coalesce(stream, '') <> '' AND right(stream, 1) <> chr(10))::owa_text.multi_line
    FROM regexp_matches(coalesce(stream, ''), '[^\n]*\n|[^\n]+$', 'g') WITH ORDINALITY AS m(p, n),
         LATERAL (SELECT p[1] AS r) AS x
$$;

-- Appends a stream; with continue, its first row completes a partial last row.
CREATE OR REPLACE PROCEDURE owa_text.add2multi(stream text, INOUT mline owa_text.multi_line,
                                               continue boolean DEFAULT true)
LANGUAGE plpgsql AS $$
DECLARE
    more owa_text.multi_line := owa_text.stream2multi(stream);
    n integer := coalesce(mline.num_rows, 0);
BEGIN
    IF more.num_rows = 0 THEN
        RETURN;
    END IF;
    IF continue AND coalesce(mline.partial_row, false) AND n > 0 THEN
        mline.rows[n] := mline.rows[n] || more.rows[1];
        more.rows := more.rows[2:];
    END IF;
    mline.rows := coalesce(mline.rows, '{}') || more.rows;
    mline.num_rows := cardinality(mline.rows);
    mline.partial_row := more.partial_row;
END
$$;

-- Writes the rows as they are (line ends included).
CREATE OR REPLACE FUNCTION owa_text.print_multi(mline owa_text.multi_line) RETURNS void
LANGUAGE plpgsql AS $$
BEGIN
    FOR i IN 1 .. coalesce(mline.num_rows, 0) LOOP
        PERFORM htp.prn(mline.rows[i]);
    END LOOP;
END
$$;

-- Writes the row numbers, one per line.
CREATE OR REPLACE FUNCTION owa_text.print_row_list(rlist owa_text.row_list) RETURNS void
LANGUAGE plpgsql AS $$
BEGIN
    FOR i IN 1 .. coalesce(rlist.num_rows, 0) LOOP
        PERFORM htp.print(rlist.rows[i]);
    END LOOP;
END
$$;

-- The numbers of the rows of mline that match pat.
CREATE OR REPLACE FUNCTION owa_pattern.match(mline owa_text.multi_line, pat text,
                                             flags text DEFAULT NULL)
RETURNS owa_text.row_list LANGUAGE sql IMMUTABLE AS $$
    SELECT ROW(coalesce(array_agg(n ORDER BY n), '{}'), count(*)::integer)::owa_text.row_list
    FROM unnest(mline.rows) WITH ORDINALITY AS t(r, n)
    WHERE owa_pattern.match(r, pat, flags)
$$;
