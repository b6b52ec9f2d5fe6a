-- 15_owa_image.sql - the owa_image package: the point clicked on an image
-- input (htf.formimage). The browser sends <name>.x and <name>.y; the
-- gateway passes both to the argument <name>, declared owa_image.point.

CREATE OR REPLACE FUNCTION owa_image.get_x(p owa_image.point) RETURNS integer
LANGUAGE sql IMMUTABLE AS $$ SELECT CASE WHEN p[1] ~ '^\s*-?\d{1,9}\s*$' THEN p[1]::integer END $$;

CREATE OR REPLACE FUNCTION owa_image.get_y(p owa_image.point) RETURNS integer
LANGUAGE sql IMMUTABLE AS $$ SELECT CASE WHEN p[2] ~ '^\s*-?\d{1,9}\s*$' THEN p[2]::integer END $$;
