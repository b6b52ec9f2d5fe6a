-- 09_service.sql - objects of one service owner: the sequence that names
-- uploads, the document store and the timing table, in the owner's schema
-- (created when missing). Document content is stored EXTERNAL
-- (uncompressed) so that pieces can be read from any offset cheaply.
--
-- One table holds every document: wwv_document, laid out the way uploads
-- write it (a plain table, so that large uploads stream in through COPY).
-- image is a view over it with the download names (img_size, image) that
-- also keeps the upload names, so that either relation serves both roads
-- when <service>_image_tname names it. Rows inserted or updated through the
-- view land in the table.
--
--   SELECT owa.create_service('shop');   -- as a superuser or the owner

-- Keeps last_updated with the content: set on insert (its default) and on
-- every update that writes the content, its size or its type.
CREATE OR REPLACE FUNCTION owa.document_touched() RETURNS trigger
LANGUAGE plpgsql AS $$
BEGIN
    NEW.last_updated := clock_timestamp();
    RETURN NEW;
END
$$;

-- Empties the image table of an older installer and drops it, so that the
-- view can take its name: its rows move into wwv_document. A name already
-- taken there keeps the uploaded row (the name the application was handed);
-- a differing image row is kept aside in image_conflicts and reported, never
-- dropped. Returns the GRANTs the table carried (for the view), or NULL.
CREATE OR REPLACE FUNCTION owa.merge_image_table(owner name) RETURNS text
LANGUAGE plpgsql AS $$
DECLARE
    moved bigint;
    conflicts bigint;
    grants text;
BEGIN
    IF (SELECT c.relkind FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace
        WHERE n.nspname = owner AND c.relname = 'image') IS DISTINCT FROM 'r' THEN
        RETURN NULL;
    END IF;
    SELECT string_agg(format('GRANT %s ON %I.image TO %s', a.privilege_type, owner,
                             CASE WHEN a.grantee = 0 THEN 'PUBLIC'
                                  ELSE quote_ident(pg_get_userbyid(a.grantee)) END), '; ')
        INTO grants
        FROM pg_class c, aclexplode(c.relacl) a
        WHERE c.oid = format('%I.image', owner)::regclass AND a.grantee <> c.relowner;
    EXECUTE format('INSERT INTO %1$I.wwv_document (name, mime_type, doc_size, content)
                    SELECT name, mime_type, img_size, image FROM %1$I.image i
                    WHERE NOT EXISTS (SELECT 1 FROM %1$I.wwv_document d WHERE d.name = i.name)',
                   owner);
    GET DIAGNOSTICS moved = ROW_COUNT;
    EXECUTE format('DELETE FROM %1$I.image i
                    WHERE EXISTS (SELECT 1 FROM %1$I.wwv_document d
                                  WHERE d.name = i.name AND d.content IS NOT DISTINCT FROM i.image
                                    AND d.mime_type IS NOT DISTINCT FROM i.mime_type
                                    AND d.doc_size IS NOT DISTINCT FROM i.img_size)',
                   owner);
    EXECUTE format('SELECT count(*) FROM %I.image', owner) INTO conflicts;
    IF conflicts > 0 THEN
        EXECUTE format('CREATE TABLE IF NOT EXISTS %1$I.image_conflicts (LIKE %1$I.image)', owner);
        EXECUTE format('ALTER TABLE %I.image_conflicts OWNER TO %I', owner, owner);
        EXECUTE format('INSERT INTO %1$I.image_conflicts SELECT * FROM %1$I.image', owner);
        RAISE WARNING '% rows of %.image name documents that %.wwv_document holds already: kept in %.image_conflicts',
            conflicts, owner, owner, owner;
    END IF;
    EXECUTE format('DROP TABLE %I.image', owner);
    RAISE NOTICE '%.image: % rows moved into %.wwv_document', owner, moved, owner;
    RETURN grants;
END
$$;
REVOKE ALL ON FUNCTION owa.merge_image_table(name) FROM PUBLIC;

CREATE OR REPLACE FUNCTION owa.create_service(owner name) RETURNS void
LANGUAGE plpgsql AS $$
DECLARE
    image_grants text;
BEGIN
    IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = owner) THEN
        RAISE EXCEPTION 'role % does not exist', owner;
    END IF;
    EXECUTE format('CREATE SCHEMA IF NOT EXISTS %I AUTHORIZATION %I', owner, owner);
    EXECUTE format('CREATE SEQUENCE IF NOT EXISTS %I.img_seq', owner);
    EXECUTE format('CREATE TABLE IF NOT EXISTS %I.wwv_document (
                        name text PRIMARY KEY,
                        mime_type text,
                        doc_size integer,
                        content bytea)', owner);
    EXECUTE format('ALTER TABLE %I.wwv_document
                        ADD COLUMN IF NOT EXISTS file_name text,
                        ADD COLUMN IF NOT EXISTS last_updated timestamptz NOT NULL
                            DEFAULT clock_timestamp()', owner);
    EXECUTE format('ALTER TABLE %I.wwv_document ALTER COLUMN content SET STORAGE EXTERNAL', owner);
    EXECUTE format('CREATE OR REPLACE TRIGGER document_touched
                        BEFORE UPDATE OF content, doc_size, mime_type ON %I.wwv_document
                        FOR EACH ROW EXECUTE FUNCTION owa.document_touched()', owner);
    image_grants := owa.merge_image_table(owner);
    EXECUTE format('CREATE OR REPLACE VIEW %1$I.image AS
                        SELECT name, mime_type, doc_size AS img_size, content AS image,
                               file_name, last_updated, doc_size, content
                        FROM %1$I.wwv_document', owner);
    IF image_grants IS NOT NULL THEN
        EXECUTE image_grants;
    END IF;
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
    EXECUTE format('ALTER TABLE %I.wwv_document OWNER TO %I', owner, owner);
    EXECUTE format('ALTER VIEW %I.image OWNER TO %I', owner, owner);
    EXECUTE format('ALTER TABLE %I.timing OWNER TO %I', owner, owner);
END
$$;
REVOKE ALL ON FUNCTION owa.create_service(name) FROM PUBLIC;
