-- 08_owa_download.sql - downloads from procedures: instead of its page, a
-- procedure may answer with a stored document or with bytes it computed.
--
--   PERFORM owa.download_document('report.pdf');
--   PERFORM owa.download_bytes(content, 'text/csv', 'orders 2026.csv');
--
-- The request is remembered in session settings and the page buffer is
-- replaced by one marker line; the gateway, finding it, asks get_download
-- what to send and reads the content piece by piece, like a document of the
-- store. Computed bytes wait in a session temporary table, never in the
-- gateway's memory. A file name makes the download an attachment.

CREATE OR REPLACE FUNCTION owa.start_download(kind text, doc_name text, file_name text)
RETURNS void
LANGUAGE plpgsql AS $$
BEGIN
    PERFORM owa.reset_page();
    PERFORM set_config('owa.dl_kind', kind, false);
    PERFORM set_config('owa.dl_name', doc_name, false);
    PERFORM set_config('owa.dl_file', coalesce(file_name, ''), false);
    PERFORM owa.page_append('X-Kestrel-Download: ' || kind || chr(10));
    -- later output must not open a header of its own
    PERFORM set_config('owa.hdr', 'b', false);
END
$$;

-- A document of the service's document table, by name.
CREATE OR REPLACE FUNCTION owa.download_document(name text, file_name text DEFAULT NULL)
RETURNS void
LANGUAGE plpgsql AS $$
BEGIN
    IF $1 IS NULL OR $1 = '' THEN
        RAISE EXCEPTION 'owa.download_document: no document name' USING ERRCODE = '22023';
    END IF;
    PERFORM owa.start_download('document', $1, $2);
END
$$;

-- Bytes the procedure computed, with their type.
CREATE OR REPLACE FUNCTION owa.download_bytes(content bytea, mime_type text,
                                              file_name text DEFAULT NULL)
RETURNS void
LANGUAGE plpgsql AS $$
BEGIN
    IF to_regclass('pg_temp.owa_download') IS NULL THEN
        CREATE TEMPORARY TABLE owa_download (
            name text,
            mime_type text,
            img_size integer,
            image bytea,
            last_updated timestamptz);
        -- uncompressed, so that any piece is read without the whole
        ALTER TABLE pg_temp.owa_download ALTER COLUMN image SET STORAGE EXTERNAL;
    END IF;
    DELETE FROM pg_temp.owa_download;
    INSERT INTO pg_temp.owa_download
        VALUES ('download',
                owa.header_value('owa.download_bytes', coalesce($2, 'application/octet-stream')),
                octet_length($1),
                coalesce($1, ''::bytea), NULL);
    PERFORM owa.start_download('bytes', 'download', $3);
END
$$;

-- What the procedure asked to send: kind ('document' or 'bytes', null when
-- nothing), the document name and the file name ('' for none).
CREATE OR REPLACE FUNCTION owa.get_download(OUT kind text, OUT name text, OUT file_name text)
LANGUAGE sql STABLE AS $$
    SELECT nullif(current_setting('owa.dl_kind', true), ''),
           current_setting('owa.dl_name', true),
           coalesce(current_setting('owa.dl_file', true), '')
$$;
