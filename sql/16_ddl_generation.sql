-- 16_ddl_generation.sql - a counter that every committed DDL command bumps.
-- A gateway that keeps its session caches routine descriptions and reads
-- this counter at the start of each request: a new value drops the cache,
-- so a redefined routine is never called with a stale argument list. The
-- counter is transactional, so it moves exactly when the DDL becomes visible.
CREATE TABLE IF NOT EXISTS owa.ddl_generation (n bigint NOT NULL);
INSERT INTO owa.ddl_generation (n)
SELECT 0 WHERE NOT EXISTS (SELECT 1 FROM owa.ddl_generation);
GRANT SELECT ON owa.ddl_generation TO PUBLIC;

-- The counter while the trigger is there to move it, else NULL (nothing may
-- be cached then). PL/pgSQL keeps the plan for the session.
CREATE OR REPLACE FUNCTION owa.ddl_generation() RETURNS bigint
LANGUAGE plpgsql STABLE AS $$
BEGIN
    RETURN (SELECT g.n FROM owa.ddl_generation g
            WHERE EXISTS (SELECT FROM pg_catalog.pg_event_trigger
                          WHERE evtname = 'owa_ddl_generation' AND evtenabled <> 'D'));
END
$$;

-- Runs as the installer: whoever runs DDL bumps the counter, nobody else can.
CREATE OR REPLACE FUNCTION owa.bump_ddl_generation() RETURNS event_trigger
LANGUAGE plpgsql SECURITY DEFINER SET search_path = pg_catalog AS $$
BEGIN
    UPDATE owa.ddl_generation SET n = n + 1;
END
$$;
REVOKE ALL ON FUNCTION owa.bump_ddl_generation() FROM PUBLIC;

-- Only commands that can change what a routine's description says bump it:
-- temporary tables and the like created by requests take no lock here.
-- Event triggers need a superuser. Without one the table stays, the trigger
-- is missing, and gateways see that and describe every routine afresh.
DO $trigger$
BEGIN
    IF (SELECT rolsuper FROM pg_roles WHERE rolname = current_user)
       AND NOT EXISTS (SELECT 1 FROM pg_event_trigger WHERE evtname = 'owa_ddl_generation') THEN
        CREATE EVENT TRIGGER owa_ddl_generation ON ddl_command_end
            WHEN TAG IN ('CREATE FUNCTION', 'ALTER FUNCTION', 'DROP FUNCTION',
                         'CREATE PROCEDURE', 'ALTER PROCEDURE', 'DROP PROCEDURE',
                         'ALTER ROUTINE', 'DROP ROUTINE', 'CREATE SCHEMA', 'ALTER SCHEMA',
                         'DROP SCHEMA', 'CREATE TYPE', 'ALTER TYPE', 'DROP TYPE',
                         'CREATE DOMAIN', 'ALTER DOMAIN', 'DROP DOMAIN', 'DROP OWNED',
                         'CREATE EXTENSION', 'ALTER EXTENSION', 'DROP EXTENSION')
            EXECUTE FUNCTION owa.bump_ddl_generation();
    END IF;
END
$trigger$;
