-- hello.sql - the smallest page of a service of your own: run it as the
-- service's owner role (here demo) after kestrel-toolkit install and
-- kestrel-toolkit service; then /demo/owa/hello?name=Ada answers.
CREATE OR REPLACE PROCEDURE hello(name text DEFAULT 'world')
LANGUAGE plpgsql AS $$
BEGIN
    PERFORM htp.htmlopen();
    PERFORM htp.header(1, 'Hello, ' || htf.escape_sc(name));
    PERFORM htp.htmlclose();
END
$$;
