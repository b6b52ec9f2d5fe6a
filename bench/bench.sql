-- bench.sql - what bench/run and bench/form_memory add to the demo database:
-- the form and upload targets and the stored document of the measurements.
SET ROLE demo;

-- Receives the largest url-encoded form a request may send: every field in
-- one array argument.
CREATE OR REPLACE PROCEDURE demo.bench_form(a text[] DEFAULT '{}')
LANGUAGE plpgsql AS $$
BEGIN
    PERFORM owa_util.mime_header('text/plain');
    PERFORM htp.p('fields ' || cardinality(a));
END
$$;

-- Receives the benchmark's 1 MiB upload and deletes the row the gateway
-- stored for it in the same transaction, so that a run of uploads leaves
-- the table as it found it.
CREATE OR REPLACE PROCEDURE demo.bench_upload(first text DEFAULT '')
LANGUAGE plpgsql AS $$
DECLARE
    stored integer;
BEGIN
    DELETE FROM demo.wwv_document WHERE name = first;
    GET DIAGNOSTICS stored = ROW_COUNT;
    PERFORM owa_util.mime_header('text/plain');
    PERFORM htp.p('stored ' || stored);
END
$$;

-- 1 MiB of text lines (compressible, as documents mostly are).
DELETE FROM demo.image WHERE name = 'bench-1mib.txt';
INSERT INTO demo.image (name, mime_type, img_size, image)
SELECT 'bench-1mib.txt', 'text/plain', 1048576,
       substring(convert_to(string_agg(lpad(i::text, 7, '0') || ' ' || md5(i::text) || E'\n', ''
                                       ORDER BY i), 'UTF8') FROM 1 FOR 1048576)
FROM generate_series(1, 26000) AS i;
