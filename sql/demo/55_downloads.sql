-- 55_downloads.sql - procedures that answer with a file instead of a page
-- (owa.download_document and owa.download_bytes), at /demo/owa/<name>.
SET ROLE demo;

-- The stored welcome text, saved by the browser as welcome.txt.
CREATE OR REPLACE PROCEDURE demo.download_welcome()
LANGUAGE plpgsql AS $$
BEGIN
    PERFORM owa.download_document('welcome.txt', 'welcome.txt');
END
$$;

-- A CSV computed by the procedure, under a name that is not plain ASCII.
CREATE OR REPLACE PROCEDURE demo.orders_csv(rows integer DEFAULT 3)
LANGUAGE plpgsql AS $$
DECLARE
    csv text := 'order,customer' || chr(10);
BEGIN
    FOR i IN 1 .. least(greatest(rows, 0), 1000) LOOP
        csv := csv || i || ',Zoë O''Brien' || chr(10);
    END LOOP;
    PERFORM owa.download_bytes(convert_to(csv, 'UTF8'), 'text/csv', 'commandes été.csv');
END
$$;

-- mib MiB (at most 100) of hash output that repeats only every 1 MiB and 7
-- bytes, so that a piece lost or sent twice changes every later byte.
CREATE OR REPLACE FUNCTION demo.sample_bytes(mib integer) RETURNS bytea
LANGUAGE sql IMMUTABLE AS $$
    SELECT substring(decode(repeat(encode(block, 'hex'), least(greatest(mib, 0), 100) + 1), 'hex')
                     FROM 1 FOR least(greatest(mib, 0), 100) * 1048576)
    FROM (SELECT decode(string_agg(md5(i::text), '' ORDER BY i), 'hex') || '\x00010203040506'::bytea
              AS block
          FROM generate_series(1, 65536) AS i) AS b
$$;

CREATE OR REPLACE PROCEDURE demo.download_sample(mib integer DEFAULT 1)
LANGUAGE plpgsql AS $$
BEGIN
    PERFORM owa.download_bytes(demo.sample_bytes(mib), 'application/octet-stream',
                               'sample-' || mib || 'mib.bin');
END
$$;

RESET ROLE;
