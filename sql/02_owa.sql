-- 02_owa.sql - the owa package: the page buffer the procedures write into,
-- the CGI environment of the request, and the reset between requests.
--
-- Design note: the page buffer lives in session settings, never in tables.
-- Output is appended to a chunk (owa.pg_cur); a chunk that reaches 4 KiB is
-- moved to its own setting (owa.pg_1, owa.pg_2, ...), so each append copies
-- at most one chunk and a page costs time linear in its size. No catalog
-- object is created per request, other sessions cannot see the page, and a
-- rolled-back savepoint takes its output with it. Text that get_page has
-- taken but not returned waits in owa.pg_front.
--
-- Header state (owa.hdr): '' nothing written yet; 'h' header lines are being
-- written; 'b' the header is closed and the body has begun.

CREATE OR REPLACE FUNCTION owa.setting_int(name text) RETURNS integer
LANGUAGE sql STABLE AS $$
    SELECT coalesce(nullif(current_setting(name, true), ''), '0')::integer
$$;

-- Appends text to the page buffer as it is; no header logic.
CREATE OR REPLACE FUNCTION owa.page_append(piece text) RETURNS void
LANGUAGE plpgsql AS $$
DECLARE
    cur text := coalesce(current_setting('owa.pg_cur', true), '') || coalesce(piece, '');
    n integer;
BEGIN
    IF octet_length(cur) >= 4096 THEN
        n := owa.setting_int('owa.pg_n') + 1;
        PERFORM set_config('owa.pg_' || n, cur, false);
        PERFORM set_config('owa.pg_n', n::text, false);
        cur := '';
    END IF;
    PERFORM set_config('owa.pg_cur', cur, false);
END
$$;

-- Header lines: start the header when nothing was written yet.
-- A header value as given, or an exception naming the routine when it holds
-- a line end: one CR or LF would let a request's value add header lines of
-- its own, or a body. (A text value cannot hold NUL at all.)
CREATE OR REPLACE FUNCTION owa.header_value(routine text, value text) RETURNS text
LANGUAGE plpgsql IMMUTABLE AS $$
BEGIN
    IF strpos(value, chr(13)) > 0 OR strpos(value, chr(10)) > 0 THEN
        RAISE EXCEPTION '%: a header value must not hold CR or LF', routine
            USING ERRCODE = '22023';
    END IF;
    RETURN value;
END
$$;

CREATE OR REPLACE FUNCTION owa.header_line(line text) RETURNS void
LANGUAGE plpgsql AS $$
BEGIN
    PERFORM owa.header_value('owa.header_line', line);
    IF coalesce(current_setting('owa.hdr', true), '') = '' THEN
        PERFORM set_config('owa.hdr', 'h', false);
    END IF;
    PERFORM owa.page_append(line || chr(10));
END
$$;

-- The database's character set as HTTP names it; NULL for SQL_ASCII and
-- sets without an HTTP name. Browsers post forms back in the charset of the
-- page, so every text page names it.
CREATE OR REPLACE FUNCTION owa.charset() RETURNS text
LANGUAGE sql STABLE AS $$
    SELECT CASE e
        WHEN 'UTF8' THEN 'utf-8'
        WHEN 'LATIN1' THEN 'iso-8859-1' WHEN 'LATIN2' THEN 'iso-8859-2'
        WHEN 'LATIN3' THEN 'iso-8859-3' WHEN 'LATIN4' THEN 'iso-8859-4'
        WHEN 'LATIN5' THEN 'iso-8859-9' WHEN 'LATIN6' THEN 'iso-8859-10'
        WHEN 'LATIN7' THEN 'iso-8859-13' WHEN 'LATIN8' THEN 'iso-8859-14'
        WHEN 'LATIN9' THEN 'iso-8859-15' WHEN 'LATIN10' THEN 'iso-8859-16'
        WHEN 'WIN866' THEN 'ibm866' WHEN 'KOI8R' THEN 'koi8-r' WHEN 'KOI8U' THEN 'koi8-u'
        WHEN 'EUC_JP' THEN 'euc-jp' WHEN 'EUC_KR' THEN 'euc-kr' WHEN 'EUC_CN' THEN 'gb2312'
        ELSE CASE
            WHEN e ~ '^WIN(874|125[0-8])$' THEN 'windows-' || substr(e, 4)
            WHEN e ~ '^ISO_8859_[5-8]$' THEN 'iso-8859-' || substr(e, 10)
        END
    END
    FROM (SELECT current_setting('server_encoding') AS e) AS s
$$;

-- The Content-type value of a text page: the type and the database charset.
CREATE OR REPLACE FUNCTION owa.text_content_type(ctype text) RETURNS text
LANGUAGE sql STABLE AS $$ SELECT ctype || coalesce('; charset=' || owa.charset(), '') $$;

-- Ends the header with its blank line (once).
CREATE OR REPLACE FUNCTION owa.header_close() RETURNS void
LANGUAGE plpgsql AS $$
BEGIN
    IF coalesce(current_setting('owa.hdr', true), '') <> 'b' THEN
        PERFORM set_config('owa.hdr', 'b', false);
        PERFORM owa.page_append(chr(10));
    END IF;
END
$$;

-- The gateway has written the response header itself (the include road):
-- body output must not bring the default one.
CREATE OR REPLACE FUNCTION owa.header_sent() RETURNS void
LANGUAGE sql AS $$ SELECT set_config('owa.hdr', 'b', false) $$;

-- Body output: a procedure that wrote no header gets the default one. The
-- append is written out here rather than calling page_append, since this runs
-- once per line of every page.
CREATE OR REPLACE FUNCTION owa.body_append(piece text) RETURNS void
LANGUAGE plpgsql AS $$
DECLARE
    cur text := coalesce(current_setting('owa.pg_cur', true), '');
    n integer;
BEGIN
    IF coalesce(current_setting('owa.hdr', true), '') = '' THEN
        PERFORM set_config('owa.hdr', 'b', false);
        cur := cur || 'Content-type: ' || owa.text_content_type('text/html') || chr(10) || chr(10);
    END IF;
    cur := cur || coalesce(piece, '');
    IF octet_length(cur) >= 4096 THEN
        n := owa.setting_int('owa.pg_n') + 1;
        PERFORM set_config('owa.pg_' || n, cur, false);
        PERFORM set_config('owa.pg_n', n::text, false);
        cur := '';
    END IF;
    PERFORM set_config('owa.pg_cur', cur, false);
END
$$;

-- Takes the next part of the page: the waiting front text and whole chunks,
-- up to about max_bytes (at least one chunk). more tells whether anything is
-- left. The gateway's page fetch reads the buffer through this.
CREATE OR REPLACE FUNCTION owa.get_page_chunk(max_bytes integer DEFAULT 65536,
                                              OUT piece text, OUT more boolean)
LANGUAGE plpgsql AS $$
DECLARE
    r integer := owa.setting_int('owa.pg_r');
    n integer := owa.setting_int('owa.pg_n');
    cur text := coalesce(current_setting('owa.pg_cur', true), '');
BEGIN
    piece := coalesce(current_setting('owa.pg_front', true), '');
    IF piece <> '' THEN
        PERFORM set_config('owa.pg_front', '', false);
    END IF;
    WHILE r < n AND (piece = '' OR octet_length(piece) + 4096 <= max_bytes) LOOP
        r := r + 1;
        piece := piece || current_setting('owa.pg_' || r);
        PERFORM set_config('owa.pg_' || r, '', false);
    END LOOP;
    IF r = n AND cur <> '' AND (piece = '' OR octet_length(piece) + octet_length(cur) <= max_bytes) THEN
        piece := piece || cur;
        cur := '';
        PERFORM set_config('owa.pg_cur', '', false);
    END IF;
    IF r = n THEN
        -- every full chunk is read: later output starts again at owa.pg_1
        PERFORM set_config('owa.pg_n', '0', false);
        PERFORM set_config('owa.pg_r', '0', false);
    ELSE
        PERFORM set_config('owa.pg_r', r::text, false);
    END IF;
    more := r < n OR cur <> '';
END
$$;

-- Up to irows lines of the page, each with its line end (the last one may
-- lack it). Lines not returned stay in the buffer.
CREATE OR REPLACE FUNCTION owa.get_page(irows integer DEFAULT 27) RETURNS text[]
LANGUAGE plpgsql AS $$
DECLARE
    buf text := '';
    parts text[];
    lines text[] := '{}';
    chunk record;
    i integer;
BEGIN
    LOOP
        parts := string_to_array(buf, chr(10));
        EXIT WHEN coalesce(array_length(parts, 1), 0) - 1 >= irows;
        SELECT * INTO chunk FROM owa.get_page_chunk(65536);
        EXIT WHEN coalesce(chunk.piece, '') = '';
        buf := buf || chunk.piece;
    END LOOP;
    parts := coalesce(string_to_array(buf, chr(10)), '{}');
    i := 1;
    -- the last element follows the last line end: a partial line or ''
    WHILE i < array_length(parts, 1) AND i <= irows LOOP
        lines := lines || (parts[i] || chr(10));
        i := i + 1;
    END LOOP;
    buf := array_to_string(parts[i:], chr(10));
    IF buf <> '' AND coalesce(array_length(lines, 1), 0) < irows THEN
        lines := lines || buf;
        buf := '';
    END IF;
    PERFORM set_config('owa.pg_front', buf, false);
    RETURN lines;
END
$$;

-- Empties the page buffer and forgets the header state and any download.
CREATE OR REPLACE FUNCTION owa.reset_page() RETURNS void
LANGUAGE plpgsql AS $$
DECLARE
    n integer := owa.setting_int('owa.pg_n');
BEGIN
    FOR i IN 1 .. n LOOP
        PERFORM set_config('owa.pg_' || i, '', false);
    END LOOP;
    PERFORM set_config('owa.pg_n', '0', false);
    PERFORM set_config('owa.pg_r', '0', false);
    PERFORM set_config('owa.pg_cur', '', false);
    PERFORM set_config('owa.pg_front', '', false);
    PERFORM set_config('owa.hdr', '', false);
    PERFORM set_config('owa.dl_kind', '', false);
END
$$;

-- The request's CGI environment: num pairs of names and values. Starts the
-- request with an empty page buffer. Returns num.
CREATE OR REPLACE FUNCTION owa.init_cgi_env(num integer, names text[], vals text[])
RETURNS integer
LANGUAGE plpgsql AS $$
BEGIN
    PERFORM owa.reset_page();
    PERFORM set_config('owa.cgi_names', coalesce(names[1:num], '{}')::text, false);
    PERFORM set_config('owa.cgi_values', coalesce(vals[1:num], '{}')::text, false);
    RETURN num;
END
$$;

-- The value of a CGI variable (name compared without regard to case), or null.
CREATE OR REPLACE FUNCTION owa.get_cgi_env(param_name text) RETURNS text
LANGUAGE plpgsql STABLE AS $$
DECLARE
    names text[] := coalesce(nullif(current_setting('owa.cgi_names', true), ''), '{}')::text[];
    vals text[] := coalesce(nullif(current_setting('owa.cgi_values', true), ''), '{}')::text[];
BEGIN
    FOR i IN 1 .. coalesce(array_length(names, 1), 0) LOOP
        IF upper(names[i]) = upper(param_name) THEN
            RETURN vals[i];
        END IF;
    END LOOP;
    RETURN NULL;
END
$$;

-- Forgets all request state of the session: page, header, environment and
-- the generic arguments.
CREATE OR REPLACE FUNCTION owa.reset() RETURNS void
LANGUAGE plpgsql AS $$
BEGIN
    PERFORM owa.reset_page();
    PERFORM set_config('owa.cgi_names', '', false);
    PERFORM set_config('owa.cgi_values', '', false);
    PERFORM set_config('cgi_args.names', '', false);
    PERFORM set_config('cgi_args.vals', '', false);
END
$$;

-- The request's CGI environment as counter and arrays, in the order the
-- gateway passed it (package variables elsewhere: call them with ()).
CREATE OR REPLACE FUNCTION owa.cgi_var_name() RETURNS owa.vc_arr
LANGUAGE sql STABLE AS $$
    SELECT coalesce(nullif(current_setting('owa.cgi_names', true), ''), '{}')::text[]::owa.vc_arr
$$;

CREATE OR REPLACE FUNCTION owa.cgi_var_val() RETURNS owa.vc_arr
LANGUAGE sql STABLE AS $$
    SELECT coalesce(nullif(current_setting('owa.cgi_values', true), ''), '{}')::text[]::owa.vc_arr
$$;

CREATE OR REPLACE FUNCTION owa.num_cgi_vars() RETURNS integer
LANGUAGE sql STABLE AS $$ SELECT coalesce(array_length(owa.cgi_var_name(), 1), 0) $$;
