-- 04_htp.sql - the htp package: writes to the page buffer. print and p
-- write a line (with its line end), prn writes text as it is, prints and ps
-- write a line escaped with htf.escape_sc. The first body
-- output of a procedure that wrote no header brings the default header
-- "Content-type: text/html" and the blank line.

-- SQL wrappers, so that the planner inlines them into the caller.
CREATE OR REPLACE FUNCTION htp.prn(cbuf text) RETURNS void
LANGUAGE sql AS $$ SELECT owa.body_append(cbuf) $$;

CREATE OR REPLACE FUNCTION htp.print(cbuf text DEFAULT NULL) RETURNS void
LANGUAGE sql AS $$ SELECT owa.body_append(coalesce(cbuf, '') || chr(10)) $$;

CREATE OR REPLACE FUNCTION htp.p(cbuf text DEFAULT NULL) RETURNS void
LANGUAGE sql AS $$ SELECT owa.body_append(coalesce(cbuf, '') || chr(10)) $$;

-- Numbers, dates and other values print as their text.
CREATE OR REPLACE FUNCTION htp.prn(cbuf anycompatible) RETURNS void
LANGUAGE sql AS $$ SELECT htp.prn(cbuf::text) $$;
CREATE OR REPLACE FUNCTION htp.print(cbuf anycompatible) RETURNS void
LANGUAGE sql AS $$ SELECT htp.print(cbuf::text) $$;
CREATE OR REPLACE FUNCTION htp.p(cbuf anycompatible) RETURNS void
LANGUAGE sql AS $$ SELECT htp.print(cbuf::text) $$;

CREATE OR REPLACE FUNCTION htp.prints(ctext anycompatible DEFAULT NULL) RETURNS void
LANGUAGE sql AS $$ SELECT htp.print(htf.escape_sc(ctext)) $$;
CREATE OR REPLACE FUNCTION htp.ps(ctext anycompatible DEFAULT NULL) RETURNS void
LANGUAGE sql AS $$ SELECT htp.print(htf.escape_sc(ctext)) $$;

-- Every htf function gets an htp twin with the same arguments that prints
-- its text as one line.
DO $install$
DECLARE
    f record;
    call_args text;
BEGIN
    FOR f IN
        SELECT p.oid, p.proname, p.proargnames, p.pronargs
        FROM pg_proc p
        WHERE p.pronamespace = 'htf'::regnamespace
          AND p.proname NOT IN ('escape_sc', 'escape_url', 'attr', 'flag', 'more', 'wrap',
                                'forminput', 'tablecell')
    LOOP
        SELECT coalesce(string_agg(format('%I => %I', a, a), ', '), '')
          INTO call_args
          FROM unnest(f.proargnames[1:f.pronargs]) AS a;
        EXECUTE format(
            'CREATE OR REPLACE FUNCTION htp.%I(%s) RETURNS void LANGUAGE sql AS %L',
            f.proname, pg_get_function_arguments(f.oid),
            format('SELECT htp.print(htf.%I(%s))', f.proname, call_args));
    END LOOP;
END
$install$;
