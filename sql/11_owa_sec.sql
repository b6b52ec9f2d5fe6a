-- 11_owa_sec.sql - the owa_sec package: who is asking. The user and
-- password come from the request's Basic credentials (REMOTE_USER first,
-- as the web server or the gateway's database authentication set it), the
-- client from REMOTE_ADDR and REMOTE_HOST.

-- The user and password of the Basic credentials; nulls when there are none.
CREATE OR REPLACE FUNCTION owa_sec.basic_credentials(OUT username text, OUT password text)
LANGUAGE plpgsql STABLE AS $$
DECLARE
    header text := owa.get_cgi_env('HTTP_AUTHORIZATION');
    decoded text;
BEGIN
    IF header IS NULL OR lower(split_part(btrim(header), ' ', 1)) <> 'basic' THEN
        RETURN;
    END IF;
    BEGIN
        decoded := convert_from(decode(btrim(substr(btrim(header), 6)), 'base64'), 'UTF8');
    EXCEPTION WHEN OTHERS THEN
        RETURN;  -- not base64 or not text: no credentials
    END;
    IF strpos(decoded, ':') = 0 THEN
        RETURN;
    END IF;
    username := substr(decoded, 1, strpos(decoded, ':') - 1);
    password := substr(decoded, strpos(decoded, ':') + 1);
END
$$;

CREATE OR REPLACE FUNCTION owa_sec.get_user_id() RETURNS text
LANGUAGE sql STABLE AS $$
    SELECT coalesce(owa.get_cgi_env('REMOTE_USER'), (owa_sec.basic_credentials()).username)
$$;

CREATE OR REPLACE FUNCTION owa_sec.get_password() RETURNS text
LANGUAGE sql STABLE AS $$ SELECT (owa_sec.basic_credentials()).password $$;

-- The client's address as numbers: the 4 octets of IPv4 (also of an
-- IPv4-mapped IPv6 address), else the 8 groups of IPv6; null when
-- REMOTE_ADDR is absent or no address.
CREATE OR REPLACE FUNCTION owa_sec.get_client_ip() RETURNS owa.ip_address
LANGUAGE plpgsql STABLE AS $$
DECLARE
    addr text;
    halves text[];
    head text[];
    tail text[];
BEGIN
    BEGIN
        addr := host(owa.get_cgi_env('REMOTE_ADDR')::inet);
    EXCEPTION WHEN invalid_text_representation THEN
        RETURN NULL;
    END;
    IF addr ~ '^[0-9.]+$' OR addr ~* '^::ffff:[0-9.]+$' THEN
        RETURN string_to_array(regexp_replace(addr, '^::ffff:', '', 'i'), '.')::integer[];
    END IF;
    halves := string_to_array(addr, '::');
    head := coalesce(string_to_array(nullif(halves[1], ''), ':'), '{}');
    tail := coalesce(string_to_array(nullif(halves[2], ''), ':'), '{}');
    IF cardinality(halves) = 2 THEN
        head := head || array_fill('0'::text, ARRAY[8 - cardinality(head) - cardinality(tail)]) || tail;
    END IF;
    RETURN (SELECT array_agg(('x' || lpad(g, 8, '0'))::bit(32)::integer ORDER BY i)
            FROM unnest(head) WITH ORDINALITY AS t(g, i));
END
$$;

CREATE OR REPLACE FUNCTION owa_sec.get_client_hostname() RETURNS text
LANGUAGE sql STABLE AS $$
    SELECT coalesce(owa.get_cgi_env('REMOTE_HOST'), owa.get_cgi_env('REMOTE_ADDR'))
$$;
