-- 09_service.sql - objects of one service owner: the sequence that names
-- uploads, the two document tables and the timing table, in the owner's
-- schema (created when missing). Document content is stored EXTERNAL
-- (uncompressed) so that pieces can be read from any offset cheaply. Each
-- stored document carries its modification time (last_updated), which the
-- download road announces and compares with the browser's cached copy.
--
--   SELECT owa.create_service('shop');   -- as a superuser or the owner

-- An updated row is a new version of the document.
CREATE OR REPLACE FUNCTION owa.touch_last_updated() RETURNS trigger
LANGUAGE plpgsql AS $$
BEGIN
    NEW.last_updated := now();
    RETURN NEW;
END
$$;

CREATE OR REPLACE FUNCTION owa.create_service(owner name) RETURNS void
LANGUAGE plpgsql AS $$
BEGIN
    IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = owner) THEN
        RAISE EXCEPTION 'role % does not exist', owner;
    END IF;
    EXECUTE format('CREATE SCHEMA IF NOT EXISTS %I AUTHORIZATION %I', owner, owner);
    EXECUTE format('CREATE SEQUENCE IF NOT EXISTS %I.img_seq', owner);
    EXECUTE format('CREATE TABLE IF NOT EXISTS %I.image (
                        name text PRIMARY KEY,
                        mime_type text,
                        img_size integer,
                        image bytea,
                        last_updated timestamptz NOT NULL DEFAULT now())', owner);
    EXECUTE format('ALTER TABLE %I.image ALTER COLUMN image SET STORAGE EXTERNAL', owner);
    EXECUTE format('ALTER TABLE %I.image
                        ADD COLUMN IF NOT EXISTS last_updated timestamptz NOT NULL DEFAULT now()',
                   owner);
    EXECUTE format('CREATE OR REPLACE TRIGGER image_last_updated BEFORE UPDATE ON %I.image
                        FOR EACH ROW EXECUTE FUNCTION owa.touch_last_updated()', owner);
    EXECUTE format('CREATE TABLE IF NOT EXISTS %I.wwv_document (
                        name text PRIMARY KEY,
                        mime_type text,
                        doc_size integer,
                        content bytea)', owner);
    EXECUTE format('ALTER TABLE %I.wwv_document ALTER COLUMN content SET STORAGE EXTERNAL', owner);
    EXECUTE format('CREATE TABLE IF NOT EXISTS %I.timing (
                        url text,
                        msg text,
                        start_hsecs bigint,
                        stop_hsecs bigint,
                        userid text,
                        remote_addr text,
                        http_user_agent text,
                        logged_at timestamptz DEFAULT clock_timestamp())', owner);
    EXECUTE format('ALTER SEQUENCE %I.img_seq OWNER TO %I', owner, owner);
    EXECUTE format('ALTER TABLE %I.image OWNER TO %I', owner, owner);
    EXECUTE format('ALTER TABLE %I.wwv_document OWNER TO %I', owner, owner);
    EXECUTE format('ALTER TABLE %I.timing OWNER TO %I', owner, owner);
END
$$;
REVOKE ALL ON FUNCTION owa.create_service(name) FROM PUBLIC;
