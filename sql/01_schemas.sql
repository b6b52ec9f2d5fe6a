-- 01_schemas.sql - the toolkit's schemas, one per package it stands for.
-- Installed by scripts/toolkit install; every file is safe to run again.
CREATE SCHEMA IF NOT EXISTS owa;
CREATE SCHEMA IF NOT EXISTS htf;
CREATE SCHEMA IF NOT EXISTS htp;
CREATE SCHEMA IF NOT EXISTS owa_util;
CREATE SCHEMA IF NOT EXISTS owa_cookie;
CREATE SCHEMA IF NOT EXISTS cgi_args;
CREATE SCHEMA IF NOT EXISTS sys;
CREATE SCHEMA IF NOT EXISTS owa_sec;
CREATE SCHEMA IF NOT EXISTS owa_opt_lock;
CREATE SCHEMA IF NOT EXISTS owa_pattern;
CREATE SCHEMA IF NOT EXISTS owa_text;
CREATE SCHEMA IF NOT EXISTS owa_image;

-- Every role that runs web procedures uses the toolkit.
GRANT USAGE ON SCHEMA owa, htf, htp, owa_util, owa_cookie, cgi_args, sys, owa_sec, owa_opt_lock,
    owa_pattern, owa_text, owa_image TO PUBLIC;

-- Array types of the packages (a table type is an array): created once,
-- kept by upgrades since procedures declare arguments of these types.
CREATE OR REPLACE FUNCTION owa.ensure_domain(qualified_name text, base text) RETURNS void
LANGUAGE plpgsql AS $$
BEGIN
    IF to_regtype(qualified_name) IS NULL THEN
        EXECUTE format('CREATE DOMAIN %s AS %s', qualified_name, base);
    END IF;
END
$$;
DO $domains$
BEGIN
    PERFORM owa.ensure_domain('owa.vc_arr', 'text[]');
    PERFORM owa.ensure_domain('owa.nc_arr', 'numeric[]');
    PERFORM owa.ensure_domain('owa.ip_address', 'integer[]');
    PERFORM owa.ensure_domain('owa_util.ident_arr', 'text[]');
    PERFORM owa.ensure_domain('owa_util.num_arr', 'numeric[]');
    PERFORM owa.ensure_domain('owa_util.datetype', 'text[]');
    PERFORM owa.ensure_domain('owa_cookie.vc_arr', 'text[]');
    PERFORM owa.ensure_domain('owa_opt_lock.vcarray', 'text[]');
    PERFORM owa.ensure_domain('owa_image.point', 'text[]');
    PERFORM owa.ensure_domain('owa_text.vc_arr', 'text[]');
    PERFORM owa.ensure_domain('owa_text.int_arr', 'integer[]');
END
$domains$;

CREATE OR REPLACE FUNCTION owa.toolkit_version() RETURNS text
LANGUAGE sql IMMUTABLE AS $$ SELECT '1.1' $$;
