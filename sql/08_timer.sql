-- 08_timer.sql - the database clock the timing log reads: hundredths of a
-- second, wrapping at 32 bits. clock_timestamp moves within a transaction.
CREATE OR REPLACE VIEW sys.v_$timer AS
    SELECT (floor(extract(epoch FROM clock_timestamp()) * 100)::bigint % 4294967296) AS hsecs;
GRANT SELECT ON sys.v_$timer TO PUBLIC;
