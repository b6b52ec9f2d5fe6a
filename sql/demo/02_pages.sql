-- 02_pages.sql - the demo's pages: procedures that write HTML through htp,
-- reached at /demo/owa/<name>. Each shows one road of the gateway.
SET ROLE demo;

-- The page frame shared by every page.
CREATE OR REPLACE FUNCTION demo.page_open(title text) RETURNS void
LANGUAGE plpgsql AS $$
BEGIN
    PERFORM htp.htmlopen();
    PERFORM htp.headopen();
    PERFORM htp.title(title);
    PERFORM htp.headclose();
    PERFORM htp.bodyopen();
    PERFORM htp.header(1, htf.escape_sc(title));
END
$$;

CREATE OR REPLACE FUNCTION demo.page_close() RETURNS void
LANGUAGE plpgsql AS $$
BEGIN
    PERFORM htp.p(htf.anchor('home', 'Back to the demo home page'));
    PERFORM htp.bodyclose();
    PERFORM htp.htmlclose();
END
$$;

-- The home page: one link per road.
CREATE OR REPLACE PROCEDURE demo.home()
LANGUAGE plpgsql AS $$
BEGIN
    PERFORM htp.htmlopen();
    PERFORM htp.headopen();
    PERFORM htp.title('kestrel demo');
    PERFORM htp.headclose();
    PERFORM htp.bodyopen();
    PERFORM htp.header(1, 'kestrel demo');
    PERFORM htp.p('<p>Every page here is a stored procedure in the schema demo.</p>');
    PERFORM htp.ulistopen();
    PERFORM htp.listitem(htf.anchor('hello', 'hello') || ': the smallest page');
    PERFORM htp.listitem(htf.anchor('greet', 'greet') || ' and '
                         || htf.anchor('greet?name=Ada&greeting=Welcome', 'greet with arguments')
                         || ': arguments with defaults');
    PERFORM htp.listitem(htf.anchor('order_form', 'order_form')
                         || ': a form whose repeated field arrives as an array');
    PERFORM htp.listitem(htf.anchor('numbers?n=40', 'numbers')
                         || ': a page longer than one fetch of 27 lines');
    PERFORM htp.listitem(htf.anchor('long_lines', 'long_lines')
                         || ': lines longer than a page slot');
    PERFORM htp.listitem(htf.anchor('guestbook', 'guestbook')
                         || ': rows written by a page and committed');
    PERFORM htp.listitem(htf.anchor('sign_and_fail?message=lost', 'sign_and_fail')
                         || ': an exception after writing, rolled back');
    PERFORM htp.listitem(htf.anchor('form_echo?b=2', 'form_echo without a')
                         || ': a missing argument and the mismatch report');
    PERFORM htp.listitem(htf.anchor('private_notes', 'private_notes')
                         || ': refused by the pre-action');
    PERFORM htp.listitem(htf.anchor('upload_form', 'upload_form')
                         || ': files stored in the document table under generated names');
    PERFORM htp.listitem(htf.anchor('timing_report', 'timing_report')
                         || ': latency percentiles of the timing log, as a table and a chart');
    PERFORM htp.listitem(htf.anchor('../owai/welcome.txt', 'owai/welcome.txt') || ' and '
                         || htf.anchor('../owaigz/welcome.txt.gz', 'owaigz/welcome.txt.gz')
                         || ': a stored document, as stored and gzip-compressed');
    PERFORM htp.listitem(htf.anchor('download_welcome', 'download_welcome') || ' and '
                         || htf.anchor('orders_csv', 'orders_csv')
                         || ': a procedure that answers with a file to save');
    PERFORM htp.listitem(htf.anchor('docs/include.html?name=Ada', 'docs/include.html')
                         || ': an include file whose blocks run in the database');
    PERFORM htp.listitem(htf.anchor('docs/data.csv.gz', 'docs/data.csv.gz')
                         || ': a file on disk, compressed on the fly');
    PERFORM htp.listitem(htf.anchor('../../demo_auth/owa/hello', 'demo_auth/owa/hello')
                         || ': logs on with your Basic credentials (webuser / webpass)');
    PERFORM htp.ulistclose();
    PERFORM htp.bodyclose();
    PERFORM htp.htmlclose();
END
$$;

-- Greets the browser's user when the service logs on with its credentials.
CREATE OR REPLACE PROCEDURE demo.hello()
LANGUAGE plpgsql AS $$
BEGIN
    PERFORM demo.page_open('Hello');
    PERFORM htp.p('<p>Hello, '
                  || htf.escape_sc(coalesce(owa_util.get_cgi_env('REMOTE_USER'), 'world'))
                  || '!</p>');
    PERFORM demo.page_close();
END
$$;

CREATE OR REPLACE PROCEDURE demo.greet(name text DEFAULT 'stranger',
                                       greeting text DEFAULT 'Good day')
LANGUAGE plpgsql AS $$
BEGIN
    PERFORM demo.page_open('Greeting');
    PERFORM htp.p('<p>' || htf.escape_sc(greeting) || ', ' || htf.escape_sc(name) || '!</p>');
    PERFORM demo.page_close();
END
$$;

-- A form with a repeated field: every checked topping travels as one
-- element of the array argument of order_received.
CREATE OR REPLACE PROCEDURE demo.order_form()
LANGUAGE plpgsql AS $$
DECLARE
    topping text;
BEGIN
    PERFORM demo.page_open('Order a pizza');
    PERFORM htp.formopen('order_received', 'GET');
    PERFORM htp.p('<p>Name: ' || htf.formtext('customer', '20') || '</p>');
    FOREACH topping IN ARRAY ARRAY['cheese', 'olives', 'mushrooms', 'peppers'] LOOP
        PERFORM htp.p('<label>' || htf.formcheckbox('topping', topping) || ' '
                      || topping || '</label><br>');
    END LOOP;
    PERFORM htp.formsubmit(cvalue => 'Order');
    PERFORM htp.formclose();
    PERFORM demo.page_close();
END
$$;

CREATE OR REPLACE PROCEDURE demo.order_received(customer text,
                                                topping text[] DEFAULT '{}')
LANGUAGE plpgsql AS $$
DECLARE
    t text;
BEGIN
    PERFORM demo.page_open('Order received');
    PERFORM htp.p('<p>Thank you, ' || htf.escape_sc(customer) || '. Your toppings:</p>');
    PERFORM htp.ulistopen();
    FOREACH t IN ARRAY topping LOOP
        PERFORM htp.listitem(htf.escape_sc(t));
    END LOOP;
    PERFORM htp.ulistclose();
    PERFORM demo.page_close();
END
$$;

-- A multipart form: each file is stored in demo.wwv_document before the
-- procedure runs, and its field arrives holding the generated name, under
-- which /owai/ serves it back.
CREATE OR REPLACE PROCEDURE demo.upload_form()
LANGUAGE plpgsql AS $$
BEGIN
    PERFORM demo.page_open('Upload files');
    PERFORM htp.formopen('upload_received', 'POST', cenctype => 'multipart/form-data');
    PERFORM htp.p('<p>Title: ' || htf.formtext('title', '30') || '</p>');
    PERFORM htp.p('<p>' || htf.formfile('first') || '</p>');
    PERFORM htp.p('<p>' || htf.formfile('second') || '</p>');
    PERFORM htp.formsubmit(cvalue => 'Upload');
    PERFORM htp.formclose();
    PERFORM demo.page_close();
END
$$;

CREATE OR REPLACE PROCEDURE demo.upload_received(title text DEFAULT '',
                                                 first text DEFAULT '',
                                                 second text DEFAULT '')
LANGUAGE plpgsql AS $$
DECLARE
    doc record;
BEGIN
    PERFORM demo.page_open('Files received');
    PERFORM htp.p('<p>' || htf.escape_sc(title) || '</p>');
    PERFORM htp.ulistopen();
    FOR doc IN SELECT name, mime_type, doc_size, file_name FROM demo.wwv_document
               WHERE name IN (first, second) ORDER BY name LOOP
        PERFORM htp.listitem(htf.anchor('../owai/' || doc.name, htf.escape_sc(doc.name))
                             || ' (' || htf.escape_sc(doc.file_name) || '): '
                             || htf.escape_sc(doc.mime_type) || ', ' || doc.doc_size || ' bytes');
    END LOOP;
    PERFORM htp.ulistclose();
    PERFORM demo.page_close();
END
$$;

-- Shows a scalar and an array argument as they arrived.
CREATE OR REPLACE PROCEDURE demo.form_echo(a text, b text[] DEFAULT '{}')
LANGUAGE plpgsql AS $$
BEGIN
    PERFORM demo.page_open('Form echo');
    PERFORM htp.ulistopen();
    PERFORM htp.p('<li>a = ' || htf.escape_sc(a) || '</li>');
    PERFORM htp.p('<li>b = [' || htf.escape_sc(array_to_string(b, ', ')) || ']</li>');
    PERFORM htp.ulistclose();
    PERFORM demo.page_close();
END
$$;

-- More lines than one page fetch carries.
CREATE OR REPLACE PROCEDURE demo.numbers(n integer DEFAULT 40)
LANGUAGE plpgsql AS $$
BEGIN
    PERFORM owa_util.mime_header('text/html');
    PERFORM htp.p('<ol>');
    FOR i IN 1 .. least(greatest(n, 0), 10000) LOOP
        PERFORM htp.p('<li>line ' || i || '</li>');
    END LOOP;
    PERFORM htp.p('</ol>');
END
$$;

-- Lines longer than the 255 characters of a page slot.
CREATE OR REPLACE PROCEDURE demo.long_lines(width integer DEFAULT 1000)
LANGUAGE plpgsql AS $$
BEGIN
    PERFORM owa_util.mime_header('text/html');
    PERFORM htp.p('<p>' || repeat('x', least(greatest(width, 0), 100000)) || '</p>');
    PERFORM htp.p('<p>' || repeat('y', 300) || '</p>');
    PERFORM htp.p('<p>end</p>');
END
$$;

-- The guestbook: signing writes a row that the request's commit keeps.
CREATE OR REPLACE PROCEDURE demo.guestbook()
LANGUAGE plpgsql AS $$
DECLARE
    entry record;
BEGIN
    PERFORM demo.page_open('Guestbook');
    PERFORM htp.formopen('sign_guestbook', 'POST');
    PERFORM htp.p(htf.formtext('message', '40') || htf.formsubmit(cvalue => 'Sign'));
    PERFORM htp.formclose();
    PERFORM htp.ulistopen();
    FOR entry IN SELECT message, signed FROM demo.guestbook ORDER BY id DESC LIMIT 20 LOOP
        PERFORM htp.listitem(htf.escape_sc(entry.message) || ' <small>'
                             || to_char(entry.signed, 'YYYY-MM-DD HH24:MI') || '</small>');
    END LOOP;
    PERFORM htp.ulistclose();
    PERFORM demo.page_close();
END
$$;

CREATE OR REPLACE PROCEDURE demo.sign_guestbook(message text)
LANGUAGE plpgsql AS $$
BEGIN
    INSERT INTO demo.guestbook (message) VALUES (message);
    PERFORM demo.page_open('Guestbook');
    PERFORM htp.p('<p>Thank you for signing.</p>');
    PERFORM htp.p(htf.anchor('guestbook', 'Read the guestbook'));
    PERFORM demo.page_close();
END
$$;

-- Writes a row and part of a page, then fails: the gateway answers with its
-- error page and the row is rolled back with the request.
CREATE OR REPLACE PROCEDURE demo.sign_and_fail(message text)
LANGUAGE plpgsql AS $$
BEGIN
    INSERT INTO demo.guestbook (message) VALUES (message);
    PERFORM demo.page_open('Guestbook');
    PERFORM htp.p('<p>Thank you for signing.</p>');
    RAISE EXCEPTION 'the guestbook is closed today';
END
$$;

-- Never shown: the pre-action refuses it.
CREATE OR REPLACE PROCEDURE demo.private_notes()
LANGUAGE plpgsql AS $$
BEGIN
    PERFORM demo.page_open('Private notes');
    PERFORM htp.p('<p>The secret recipe.</p>');
    PERFORM demo.page_close();
END
$$;
