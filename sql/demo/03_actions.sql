-- 03_actions.sql - the demo service's pre-action and post-action (the
-- pre_demo and post_demo settings of the application file).
SET ROLE demo;

-- Evaluated before every page of the service: pages whose name starts with
-- private_ are refused with a short page of its own.
CREATE OR REPLACE FUNCTION demo.pre_action() RETURNS boolean
LANGUAGE plpgsql AS $$
DECLARE
    page text := lower(coalesce(owa_util.get_cgi_env('PATH_INFO'), ''));
BEGIN
    IF page LIKE '/private\_%' OR page LIKE '/demo.private\_%' THEN
        PERFORM set_config('demo.refused', 'yes', false);
        PERFORM owa_util.status_line(403, 'Forbidden', false);
        PERFORM owa_util.mime_header('text/html');
        PERFORM htp.prn('<p>These notes are private.</p>');
        RETURN false;
    END IF;
    PERFORM set_config('demo.refused', '', false);
    RETURN true;
END
$$;

-- Runs after every request of the service; its output follows the page.
-- Only pages that a procedure wrote get the footer: stored documents and
-- "not found" answers left the toolkit's header state (owa.hdr) untouched,
-- and must not get a line appended.
CREATE OR REPLACE PROCEDURE demo.post_action()
LANGUAGE plpgsql AS $$
BEGIN
    IF coalesce(current_setting('demo.refused', true), '') = 'yes'
       OR coalesce(current_setting('owa.hdr', true), '') <> 'b' THEN
        RETURN;
    END IF;
    PERFORM htp.p('<p class="footer">Served by kestrel at '
                  || to_char(clock_timestamp(), 'HH24:MI:SS') || '.</p>');
END
$$;
