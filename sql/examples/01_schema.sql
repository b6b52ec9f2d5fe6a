-- 01_schema.sql - the tracker, a small task tracker ported to kestrel as a
-- reference application: its schema and seed data. Installed into the demo
-- database by scripts/lib/demo_site; served by the service "tracker".
SET ROLE demo;
CREATE SCHEMA IF NOT EXISTS tracker;

CREATE TABLE IF NOT EXISTS tracker.tasks (
    id serial PRIMARY KEY,
    title text NOT NULL,
    owner text NOT NULL DEFAULT 'nobody',
    priority integer NOT NULL DEFAULT 3,
    due date,
    done boolean NOT NULL DEFAULT false,
    notes text
);

TRUNCATE tracker.tasks RESTART IDENTITY;
INSERT INTO tracker.tasks (title, owner, priority, due, done, notes) VALUES
    ('Write the porting guide', 'ada', 1, '2026-12-08', false, 'PERFORM & parentheses'),
    ('Fix <script> injection', 'bob', 2, '2026-12-01', true, 'Escape "user" text'),
    ('Plan the release', 'ada', 3, '2026-12-15', false, NULL),
    ('Review path aliases', 'cy', 2, NULL, false, 'tasks/2 and tasks/3');
