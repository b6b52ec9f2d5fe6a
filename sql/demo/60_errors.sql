-- 60_errors.sql - demo pages that fail, to show what a failure looks like:
-- a failure three routines deep, a commit refused by a deferred constraint
-- and a sign-in that fails with a password among its fields.
SET client_min_messages = warning;
SET ROLE demo;

CREATE TABLE IF NOT EXISTS demo.customers (
    id integer PRIMARY KEY
);
INSERT INTO demo.customers (id) VALUES (1) ON CONFLICT DO NOTHING;
CREATE TABLE IF NOT EXISTS demo.orders (
    id       integer PRIMARY KEY,
    customer integer NOT NULL
             REFERENCES demo.customers (id) DEFERRABLE INITIALLY DEFERRED
);

-- The order is checked only at the commit: the page is written before it.
CREATE OR REPLACE PROCEDURE demo.save_order(id text, customer text)
LANGUAGE plpgsql AS $$
BEGIN
    INSERT INTO demo.orders (id, customer) VALUES (id::integer, customer::integer);
    PERFORM demo.page_open('Orders');
    PERFORM htp.p('<p>Order ' || id || ' saved.</p>');
END
$$;

CREATE OR REPLACE FUNCTION demo.parse_quantity(quantity text) RETURNS integer
LANGUAGE plpgsql AS $$
BEGIN
    RETURN quantity::integer;
END
$$;

CREATE OR REPLACE FUNCTION demo.price_line(quantity text) RETURNS integer
LANGUAGE plpgsql AS $$
BEGIN
    RETURN demo.parse_quantity(quantity) * 3;
END
$$;

-- Fails in parse_quantity, two calls below the page.
CREATE OR REPLACE PROCEDURE demo.price_order(quantity text)
LANGUAGE plpgsql AS $$
BEGIN
    PERFORM demo.page_open('Price');
    PERFORM htp.p('<p>' || demo.price_line(quantity) || '</p>');
END
$$;

-- Calls a routine that does not exist: a failure inside, not a form mismatch.
CREATE OR REPLACE PROCEDURE demo.call_missing()
LANGUAGE plpgsql AS $$
BEGIN
    PERFORM demo.no_such_helper(1);
END
$$;

CREATE OR REPLACE PROCEDURE demo.sign_in(username text, password text)
LANGUAGE plpgsql AS $$
BEGIN
    RAISE EXCEPTION 'sign-in is closed for %', username;
END
$$;
