-- 07_cgi_args.sql - the cgi_args package of generic-argument mode: the form
-- fields of the request as a counter and two arrays, kept for the session
-- (in session settings, like the page buffer). The gateway calls add once
-- per field, in request order.

CREATE OR REPLACE FUNCTION cgi_args.names() RETURNS text[]
LANGUAGE sql STABLE AS $$
    SELECT coalesce(nullif(current_setting('cgi_args.names', true), ''), '{}')::text[]
$$;

CREATE OR REPLACE FUNCTION cgi_args.vals() RETURNS text[]
LANGUAGE sql STABLE AS $$
    SELECT coalesce(nullif(current_setting('cgi_args.vals', true), ''), '{}')::text[]
$$;

CREATE OR REPLACE FUNCTION cgi_args.argc() RETURNS integer
LANGUAGE sql STABLE AS $$ SELECT coalesce(array_length(cgi_args.names(), 1), 0) $$;

CREATE OR REPLACE FUNCTION cgi_args.argnam(i integer) RETURNS text
LANGUAGE sql STABLE AS $$ SELECT (cgi_args.names())[i] $$;

CREATE OR REPLACE FUNCTION cgi_args.argval(i integer) RETURNS text
LANGUAGE sql STABLE AS $$ SELECT (cgi_args.vals())[i] $$;

-- Appends one field; returns the new count.
CREATE OR REPLACE FUNCTION cgi_args.add(name text, val text) RETURNS integer
LANGUAGE plpgsql AS $$
DECLARE
    names text[] := cgi_args.names() || name;
BEGIN
    PERFORM set_config('cgi_args.names', names::text, false);
    PERFORM set_config('cgi_args.vals', (cgi_args.vals() || val)::text, false);
    RETURN array_length(names, 1);
END
$$;

-- The first value of a field (name compared without regard to case), or null.
CREATE OR REPLACE FUNCTION cgi_args.get(name text) RETURNS text
LANGUAGE plpgsql STABLE AS $$
DECLARE
    names text[] := cgi_args.names();
BEGIN
    FOR i IN 1 .. coalesce(array_length(names, 1), 0) LOOP
        IF lower(names[i]) = lower(name) THEN
            RETURN (cgi_args.vals())[i];
        END IF;
    END LOOP;
    RETURN NULL;
END
$$;

CREATE OR REPLACE FUNCTION cgi_args.reset() RETURNS void
LANGUAGE plpgsql AS $$
BEGIN
    PERFORM set_config('cgi_args.names', '', false);
    PERFORM set_config('cgi_args.vals', '', false);
END
$$;
