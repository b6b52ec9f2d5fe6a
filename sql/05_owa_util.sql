-- 05_owa_util.sql - the owa_util package: response header lines and the
-- CGI environment. Header lines go before any body output; a header left
-- open is closed by http_header_close (or the bclose_header flags).

CREATE OR REPLACE FUNCTION owa_util.http_header_close() RETURNS void
LANGUAGE sql AS $$ SELECT owa.header_close() $$;

-- A text/ type gets the database charset unless ccharset names another or
-- binclude_charset is false (the body is bytes of some other set).
DROP FUNCTION IF EXISTS owa_util.mime_header(text, boolean, text);
CREATE OR REPLACE FUNCTION owa_util.mime_header(ccontent_type text DEFAULT 'text/html',
                                                bclose_header boolean DEFAULT true,
                                                ccharset text DEFAULT NULL,
                                                binclude_charset boolean DEFAULT true)
RETURNS void LANGUAGE plpgsql AS $$
DECLARE
    ctype text := coalesce(ccontent_type, 'text/html');
BEGIN
    IF ccharset IS NOT NULL THEN
        ctype := ctype || '; charset=' || ccharset;
    ELSIF binclude_charset AND ctype ILIKE 'text/%' AND ctype NOT ILIKE '%charset=%' THEN
        ctype := owa.text_content_type(ctype);
    END IF;
    PERFORM owa.header_line('Content-type: ' || owa.header_value('owa_util.mime_header', ctype));
    IF bclose_header THEN
        PERFORM owa.header_close();
    END IF;
END
$$;

CREATE OR REPLACE FUNCTION owa_util.redirect_url(curl text, bclose_header boolean DEFAULT true)
RETURNS void LANGUAGE plpgsql AS $$
BEGIN
    -- After body output a Location line would only be page text.
    IF coalesce(current_setting('owa.hdr', true), '') = 'b' THEN
        RAISE EXCEPTION 'owa_util.redirect_url: the response header is already closed'
            USING ERRCODE = '55000';
    END IF;
    PERFORM owa.header_line('Location: ' || owa.header_value('owa_util.redirect_url', curl));
    IF bclose_header THEN
        PERFORM owa.header_close();
    END IF;
END
$$;

CREATE OR REPLACE FUNCTION owa_util.status_line(nstatus integer, creason text DEFAULT NULL,
                                                bclose_header boolean DEFAULT true)
RETURNS void LANGUAGE plpgsql AS $$
BEGIN
    PERFORM owa.header_line('Status: ' || nstatus
                            || owa.header_value('owa_util.status_line', coalesce(' ' || creason, '')));
    IF bclose_header THEN
        PERFORM owa.header_close();
    END IF;
END
$$;

CREATE OR REPLACE FUNCTION owa_util.get_cgi_env(param_name text) RETURNS text
LANGUAGE sql STABLE AS $$ SELECT owa.get_cgi_env(param_name) $$;

-- The URL of the procedure being run: SCRIPT_NAME and PATH_INFO.
CREATE OR REPLACE FUNCTION owa_util.get_owa_service_path() RETURNS text
LANGUAGE sql STABLE AS $$ SELECT coalesce(owa.get_cgi_env('SCRIPT_NAME'), '') || '/' $$;

-- The routine the gateway runs for this request: PATH_INFO without its '/'
-- and without the '!' of a flexible-argument call.
CREATE OR REPLACE FUNCTION owa_util.get_procedure() RETURNS text
LANGUAGE sql STABLE AS $$
    SELECT ltrim(ltrim(coalesce(owa.get_cgi_env('PATH_INFO'), ''), '/'), '!')
$$;

-- Every CGI variable as "name = value<br>", escaped: the values come from
-- the browser.
CREATE OR REPLACE FUNCTION owa_util.print_cgi_env() RETURNS void
LANGUAGE plpgsql AS $$
DECLARE
    names text[] := owa.cgi_var_name();
    vals text[] := owa.cgi_var_val();
BEGIN
    FOR i IN 1 .. coalesce(array_length(names, 1), 0) LOOP
        PERFORM htp.print(htf.escape_sc(names[i]) || ' = ' || htf.escape_sc(vals[i]) || htf.nl());
    END LOOP;
END
$$;

-- Takes the page written so far out of the buffer and shows it as notices,
-- one per line (for trying a page in psql).
CREATE OR REPLACE FUNCTION owa_util.showpage() RETURNS void
LANGUAGE plpgsql AS $$
DECLARE
    lines text[];
    line text;
BEGIN
    LOOP
        lines := owa.get_page(1000);
        EXIT WHEN cardinality(lines) = 0;
        FOREACH line IN ARRAY lines LOOP
            RAISE NOTICE '%', rtrim(line, chr(10));
        END LOOP;
    END LOOP;
END
$$;

-- Dates from forms: choose_date writes three selects named p_name (day,
-- month, year); the procedure receives them as one owa_util.datetype array
-- and turns it into a date with todate.
CREATE OR REPLACE FUNCTION owa_util.todate(p_datearray owa_util.datetype) RETURNS date
LANGUAGE sql IMMUTABLE AS $$
    SELECT CASE WHEN cardinality(p_datearray) = 3
                THEN to_date(p_datearray[1] || '-' || p_datearray[2] || '-' || p_datearray[3],
                             'DD-MON-YYYY') END
$$;

CREATE OR REPLACE FUNCTION owa_util.choose_date(p_name text, p_date date DEFAULT current_date)
RETURNS void LANGUAGE plpgsql AS $$
DECLARE
    d date := coalesce(p_date, current_date);
    part text;
BEGIN
    PERFORM htp.formselectopen(p_name);
    FOR i IN 1 .. 31 LOOP
        part := to_char(i, 'FM00');
        PERFORM htp.formselectoption(part, CASE WHEN i = extract(day FROM d) THEN 'selected' END,
                                     'value="' || part || '"');
    END LOOP;
    PERFORM htp.formselectclose();
    PERFORM htp.formselectopen(p_name);
    FOR i IN 1 .. 12 LOOP
        part := upper(to_char(make_date(2000, i, 1), 'MON'));
        PERFORM htp.formselectoption(part, CASE WHEN i = extract(month FROM d) THEN 'selected' END,
                                     'value="' || part || '"');
    END LOOP;
    PERFORM htp.formselectclose();
    PERFORM htp.formselectopen(p_name);
    FOR i IN extract(year FROM d)::integer - 5 .. extract(year FROM d)::integer + 5 LOOP
        PERFORM htp.formselectoption(i, CASE WHEN i = extract(year FROM d) THEN 'selected' END,
                                     'value="' || i || '"');
    END LOOP;
    PERFORM htp.formselectclose();
END
$$;
