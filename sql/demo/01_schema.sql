-- 01_schema.sql - the demo application's schema and its one table. Run as a
-- superuser into a database that has the toolkit; objects belong to the role
-- demo, the account of the demo service.
SET client_min_messages = warning;
CREATE SCHEMA IF NOT EXISTS demo AUTHORIZATION demo;
SET ROLE demo;

CREATE TABLE IF NOT EXISTS demo.guestbook (
    id      bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
    message text NOT NULL,
    signed  timestamptz NOT NULL DEFAULT now()
);
