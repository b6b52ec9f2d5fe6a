-- 05_owa_util.sql - the owa_util package: response header lines and the
-- CGI environment. Header lines go before any body output; a header left
-- open is closed by http_header_close (or the bclose_header flags).

CREATE OR REPLACE FUNCTION owa_util.http_header_close() RETURNS void
LANGUAGE sql AS $$ SELECT owa.header_close() $$;

CREATE OR REPLACE FUNCTION owa_util.mime_header(ccontent_type text DEFAULT 'text/html',
                                                bclose_header boolean DEFAULT true,
                                                ccharset text DEFAULT NULL)
RETURNS void LANGUAGE plpgsql AS $$
BEGIN
    PERFORM owa.header_line('Content-type: ' || coalesce(ccontent_type, 'text/html')
                            || coalesce('; charset=' || ccharset, ''));
    IF bclose_header THEN
        PERFORM owa.header_close();
    END IF;
END
$$;

CREATE OR REPLACE FUNCTION owa_util.redirect_url(curl text, bclose_header boolean DEFAULT true)
RETURNS void LANGUAGE plpgsql AS $$
BEGIN
    PERFORM owa.header_line('Location: ' || curl);
    IF bclose_header THEN
        PERFORM owa.header_close();
    END IF;
END
$$;

CREATE OR REPLACE FUNCTION owa_util.status_line(nstatus integer, creason text DEFAULT NULL,
                                                bclose_header boolean DEFAULT true)
RETURNS void LANGUAGE plpgsql AS $$
BEGIN
    PERFORM owa.header_line('Status: ' || nstatus || coalesce(' ' || creason, ''));
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
