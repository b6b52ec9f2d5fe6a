-- 01_schemas.sql - the toolkit's schemas, one per package it stands for.
-- Installed by scripts/toolkit install; every file is safe to run again.
CREATE SCHEMA IF NOT EXISTS owa;
CREATE SCHEMA IF NOT EXISTS htf;
CREATE SCHEMA IF NOT EXISTS htp;
CREATE SCHEMA IF NOT EXISTS owa_util;
CREATE SCHEMA IF NOT EXISTS owa_cookie;
CREATE SCHEMA IF NOT EXISTS cgi_args;
CREATE SCHEMA IF NOT EXISTS sys;

-- Every role that runs web procedures uses the toolkit.
GRANT USAGE ON SCHEMA owa, htf, htp, owa_util, owa_cookie, cgi_args, sys TO PUBLIC;

CREATE OR REPLACE FUNCTION owa.toolkit_version() RETURNS text
LANGUAGE sql IMMUTABLE AS $$ SELECT '1.0' $$;
