-- 10_owa_util_query.sql - owa_util routines that print the result of a
-- query: tableprint (a table's rows), cellsprint (table cells of any
-- query), listprint (a select list), calendarprint (a month calendar).
-- Values are written as given; escape in the query (htf.escape_sc(col)).
-- Queries and clauses are the application's own SQL text: request values
-- must never be spliced into them. Table and column names are checked.

CREATE OR REPLACE FUNCTION owa_util.html_table() RETURNS integer
LANGUAGE sql IMMUTABLE AS $$ SELECT 1 $$;
CREATE OR REPLACE FUNCTION owa_util.pre_table() RETURNS integer
LANGUAGE sql IMMUTABLE AS $$ SELECT 2 $$;

-- The columns of ccolumns ('*' or a comma-separated list of names), each
-- an existing column of the table; raises for anything else.
CREATE OR REPLACE FUNCTION owa_util.table_columns(tbl regclass, ccolumns text) RETURNS text[]
LANGUAGE plpgsql STABLE AS $$
DECLARE
    cols text[];
    col text;
BEGIN
    IF btrim(coalesce(ccolumns, '*')) = '*' THEN
        SELECT array_agg(attname::text ORDER BY attnum) INTO cols FROM pg_attribute
        WHERE attrelid = tbl AND attnum > 0 AND NOT attisdropped;
        RETURN cols;
    END IF;
    FOREACH col IN ARRAY string_to_array(ccolumns, ',') LOOP
        col := lower(btrim(col));
        IF NOT EXISTS (SELECT 1 FROM pg_attribute WHERE attrelid = tbl AND attname = col
                       AND attnum > 0 AND NOT attisdropped) THEN
            RAISE EXCEPTION 'owa_util.tableprint: "%" is no column of %', col, tbl;
        END IF;
        cols := cols || col;
    END LOOP;
    RETURN cols;
END
$$;

-- Rows padded to the widths of their columns, for a preformatted table.
CREATE OR REPLACE FUNCTION owa_util.print_pre_rows(heads text[], rows_text text[]) RETURNS void
LANGUAGE plpgsql AS $$
DECLARE
    widths integer[];
    r text[];
    line text;
BEGIN
    widths := (SELECT array_agg(length(h) ORDER BY i) FROM unnest(heads) WITH ORDINALITY AS t(h, i));
    FOR i IN 1 .. coalesce(array_length(rows_text, 1), 0) LOOP
        FOR j IN 1 .. array_length(heads, 1) LOOP
            widths[j] := greatest(widths[j], length(coalesce(rows_text[i][j], '')));
        END LOOP;
    END LOOP;
    PERFORM htp.print('<pre>');
    FOR i IN 0 .. coalesce(array_length(rows_text, 1), 0) LOOP
        r := CASE WHEN i = 0 THEN heads ELSE rows_text[i:i] END;
        line := '';
        FOR j IN 1 .. array_length(heads, 1) LOOP
            line := line || CASE WHEN j > 1 THEN ' ' ELSE '' END
                         || rpad(coalesce(CASE WHEN i = 0 THEN r[j] ELSE r[1][j] END, ''), widths[j]);
        END LOOP;
        PERFORM htp.print(rtrim(line));
    END LOOP;
    PERFORM htp.print('</pre>');
END
$$;

-- The rows nrow_min .. nrow_max (counting from 1; 0 or null: from the first;
-- null max: all) of a table as an HTML or preformatted table. True when rows
-- beyond nrow_max exist.
CREATE OR REPLACE FUNCTION owa_util.tableprint(ctable text, cattributes text DEFAULT NULL,
                                               ntable_type integer DEFAULT 1,
                                               ccolumns text DEFAULT '*',
                                               cclauses text DEFAULT NULL,
                                               ccol_aliases text DEFAULT NULL,
                                               nrow_min integer DEFAULT 0,
                                               nrow_max integer DEFAULT NULL)
RETURNS boolean LANGUAGE plpgsql AS $$
DECLARE
    tbl regclass := ctable::regclass;
    cols text[] := owa_util.table_columns(tbl, ccolumns);
    heads text[] := coalesce((SELECT array_agg(btrim(a)) FROM unnest(string_to_array(ccol_aliases, ',')) AS a),
                             cols);
    query text := format('SELECT ARRAY[%s] FROM %s %s',
                         (SELECT string_agg(format('%I::text', c), ', ') FROM unnest(cols) AS c),
                         tbl, coalesce(cclauses, ''));
    rows_text text[] := '{}';
    vals text[];
    n integer := 0;
    more boolean := false;
BEGIN
    FOR vals IN EXECUTE query LOOP
        n := n + 1;
        CONTINUE WHEN n < coalesce(nrow_min, 0);
        IF nrow_max IS NOT NULL AND n > nrow_max THEN
            more := true;
            EXIT;
        END IF;
        rows_text := rows_text || ARRAY[vals];
    END LOOP;
    IF ntable_type = owa_util.pre_table() THEN
        PERFORM owa_util.print_pre_rows(heads, rows_text);
        RETURN more;
    END IF;
    PERFORM htp.tableopen(cattributes => cattributes);
    PERFORM htp.print('<tr>' || (SELECT string_agg(htf.tableheader(h), '' ORDER BY i)
                                 FROM unnest(heads) WITH ORDINALITY AS t(h, i)) || '</tr>');
    FOR i IN 1 .. coalesce(array_length(rows_text, 1), 0) LOOP
        PERFORM htp.print('<tr>' || (SELECT string_agg(htf.tabledata(v), '' ORDER BY j)
                                     FROM unnest(rows_text[i:i]) WITH ORDINALITY AS t(v, j)) || '</tr>');
    END LOOP;
    PERFORM htp.tableclose();
    RETURN more;
END
$$;

-- Each row of the query as table cells, one <tr> line per row: at most
-- p_max_rows rows after skipping p_skip_rec. With p_format_numbers, number
-- columns are right-aligned with two decimals.
CREATE OR REPLACE FUNCTION owa_util.cellsprint(p_thequery text, p_max_rows integer DEFAULT 100,
                                               p_format_numbers text DEFAULT NULL,
                                               p_skip_rec integer DEFAULT 0)
RETURNS void LANGUAGE plpgsql AS $$
DECLARE
    r record;
    line text;
    cell record;
    n integer := 0;
BEGIN
    FOR r IN EXECUTE format('SELECT row_to_json(q) AS j FROM (%s) AS q', p_thequery) LOOP
        n := n + 1;
        CONTINUE WHEN n <= coalesce(p_skip_rec, 0);
        EXIT WHEN n > coalesce(p_skip_rec, 0) + p_max_rows;
        line := '<tr>';
        FOR cell IN SELECT key, value, json_typeof(r.j -> key) AS kind FROM json_each_text(r.j) LOOP
            IF p_format_numbers IS NOT NULL AND cell.kind = 'number' THEN
                line := line || htf.tabledata(to_char(cell.value::numeric, 'FM999G999G999G999G990D00'), 'right');
            ELSE
                line := line || htf.tabledata(cell.value);
            END IF;
        END LOOP;
        PERFORM htp.print(line || '</tr>');
    END LOOP;
END
$$;

-- A select list from a query of (value, text, selected): a row whose third
-- column is not null (and not 'N', 'no', 'false' or 0) is selected.
CREATE OR REPLACE FUNCTION owa_util.listprint(p_thequery text, p_cname text, p_nsize integer,
                                              p_multiple boolean DEFAULT false)
RETURNS void LANGUAGE plpgsql AS $$
DECLARE
    r record;
    v text[];
BEGIN
    PERFORM htp.formselectopen(p_cname, nsize => p_nsize,
                               cattributes => CASE WHEN p_multiple THEN 'multiple' END);
    FOR r IN EXECUTE format('SELECT row_to_json(q) AS j FROM (%s) AS q', p_thequery) LOOP
        SELECT array_agg(value ORDER BY ord) INTO v
        FROM json_each_text(r.j) WITH ORDINALITY AS t(key, value, ord);
        PERFORM htp.formselectoption(v[2],
            CASE WHEN v[3] IS NOT NULL AND lower(v[3]) NOT IN ('n', 'no', 'false', '0', 'f')
                 THEN 'selected' END,
            'value="' || coalesce(v[1], '') || '"');
    END LOOP;
    PERFORM htp.formselectclose();
END
$$;

-- A calendar per month from a query of (date, text, link): each day lists
-- its texts, as links where a link is given. p_mf_only 'Y': Monday to
-- Friday only.
CREATE OR REPLACE FUNCTION owa_util.calendarprint(p_query text, p_mf_only text DEFAULT 'N')
RETURNS void LANGUAGE plpgsql AS $$
DECLARE
    items jsonb := '[]';
    r record;
    month date;
    last_month date;
BEGIN
    FOR r IN EXECUTE format('SELECT row_to_json(q) AS j FROM (%s) AS q', p_query) LOOP
        SELECT items || jsonb_build_array(jsonb_agg(value ORDER BY ord)) INTO items
        FROM json_each_text(r.j) WITH ORDINALITY AS t(key, value, ord);
    END LOOP;
    SELECT date_trunc('month', min((e ->> 0)::date))::date, date_trunc('month', max((e ->> 0)::date))::date
      INTO month, last_month FROM jsonb_array_elements(items) AS e;
    WHILE month <= last_month LOOP
        PERFORM owa_util.print_month(month, items, upper(coalesce(p_mf_only, 'N')) = 'Y');
        month := (month + interval '1 month')::date;
    END LOOP;
END
$$;

CREATE OR REPLACE FUNCTION owa_util.print_month(month date, items jsonb, weekdays_only boolean)
RETURNS void LANGUAGE plpgsql AS $$
DECLARE
    first_dow integer := CASE WHEN weekdays_only THEN 1 ELSE 0 END;
    last_dow integer := CASE WHEN weekdays_only THEN 5 ELSE 6 END;
    day date := month - (extract(dow FROM month)::integer - first_dow + 7) % 7;
    line text;
    cell text;
BEGIN
    PERFORM htp.tableopen('border');
    PERFORM htp.tablecaption(to_char(month, 'FMMonth YYYY'));
    PERFORM htp.print('<tr>' || (SELECT string_agg(htf.tableheader(to_char(date '2000-01-02' + d, 'Dy')), '' ORDER BY d)
                                 FROM generate_series(first_dow, last_dow) AS d) || '</tr>');
    WHILE day < (month + interval '1 month')::date LOOP
        line := '<tr>';
        FOR dow IN first_dow .. last_dow LOOP
            cell := NULL;
            IF date_trunc('month', day) = month THEN
                SELECT extract(day FROM day) || coalesce(string_agg('<br>' || CASE WHEN e ->> 2 IS NULL
                           THEN coalesce(e ->> 1, '') ELSE htf.anchor(e ->> 2, e ->> 1) END, '' ORDER BY i), '')
                  INTO cell
                  FROM jsonb_array_elements(items) WITH ORDINALITY AS t(e, i)
                 WHERE (e ->> 0)::date = day;
            END IF;
            line := line || htf.tabledata(cell, cattributes => 'valign="top"');
            day := day + 1;
        END LOOP;
        PERFORM htp.print(line || '</tr>');
        day := day + (6 - last_dow + first_dow);
    END LOOP;
    PERFORM htp.tableclose();
END
$$;
