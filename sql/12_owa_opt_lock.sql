-- 12_owa_opt_lock.sql - the owa_opt_lock package: checksums for optimistic
-- locking. A form stores the checksum of the row it shows (store_values);
-- the procedure that saves the form checks that the row still has it
-- (verify_values). A row is named by owner, table and its ctid (the row
-- identifier PostgreSQL has: an update gives the row a new one, so a row
-- changed since the form was written no longer matches).

-- A number from 0 to 2^32-1 for a text; the same text always gives the same.
CREATE OR REPLACE FUNCTION owa_opt_lock.checksum(p_buff text) RETURNS bigint
LANGUAGE sql IMMUTABLE AS $$
    SELECT ('x' || substr(md5(coalesce(p_buff, '')), 1, 8))::bit(32)::bigint
$$;

-- The checksum of a row's text form; null when there is no such row.
CREATE OR REPLACE FUNCTION owa_opt_lock.checksum(p_owner text, p_tname text, p_rowid text)
RETURNS bigint LANGUAGE plpgsql STABLE AS $$
DECLARE
    tbl regclass := format('%I.%I', lower(p_owner), lower(p_tname))::regclass;
    row_text text;
BEGIN
    EXECUTE format('SELECT t::text FROM %s AS t WHERE ctid = $1::tid', tbl) INTO row_text USING p_rowid;
    RETURN CASE WHEN row_text IS NULL THEN NULL ELSE owa_opt_lock.checksum(row_text) END;
END
$$;

-- Four hidden fields named p_old_values: owner, table, row id, checksum.
CREATE OR REPLACE FUNCTION owa_opt_lock.store_values(p_owner text, p_tname text, p_rowid text)
RETURNS void LANGUAGE plpgsql AS $$
BEGIN
    PERFORM htp.formhidden('p_old_values', htf.escape_sc(p_owner));
    PERFORM htp.formhidden('p_old_values', htf.escape_sc(p_tname));
    PERFORM htp.formhidden('p_old_values', htf.escape_sc(p_rowid));
    PERFORM htp.formhidden('p_old_values', owa_opt_lock.checksum(p_owner, p_tname, p_rowid));
END
$$;

-- True when the row named by the stored values still has the stored
-- checksum. The values come back from the browser: anything that names no
-- row (a bad table, a bad row id) is simply false.
CREATE OR REPLACE FUNCTION owa_opt_lock.verify_values(p_old_values owa_opt_lock.vcarray)
RETURNS boolean LANGUAGE plpgsql STABLE AS $$
BEGIN
    IF cardinality(p_old_values) IS DISTINCT FROM 4 OR p_old_values[4] IS NULL THEN
        RETURN false;
    END IF;
    RETURN coalesce(owa_opt_lock.checksum(p_old_values[1], p_old_values[2], p_old_values[3])::text
                    = p_old_values[4], false);
EXCEPTION
    WHEN invalid_text_representation OR undefined_table OR invalid_schema_name
         OR invalid_name OR syntax_error THEN
        RETURN false;
END
$$;
