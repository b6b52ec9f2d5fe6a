-- 02_pages.sql - the tracker's pages, written the way applications of this
-- kind are written: htp/htf tag routines, explicit escaping of user text,
-- owa_util and owa_cookie. Expected pages: sql/examples/expected/.
SET ROLE demo;

CREATE OR REPLACE PROCEDURE tracker.page_open(p_title text) LANGUAGE plpgsql AS $$
BEGIN
    PERFORM htp.htmlopen();
    PERFORM htp.headopen();
    PERFORM htp.title(htf.escape_sc(p_title));
    PERFORM htp.meta('Content-Type', NULL, 'text/html; charset=utf-8');
    PERFORM htp.linkrel('stylesheet', '/tracker.css');
    PERFORM htp.style('td.late { color: red; }');
    PERFORM htp.script('function confirmDone() { return true; }', 'javascript');
    PERFORM htp.headclose();
    PERFORM htp.bodyopen(cattributes => 'class="tracker"');
    PERFORM htp.header(1, htf.escape_sc(p_title), 'left');
END
$$;

CREATE OR REPLACE PROCEDURE tracker.page_close() LANGUAGE plpgsql AS $$
BEGIN
    PERFORM htp.hr();
    PERFORM htp.address(htf.mailto('tracker@example.org', 'Tracker team'));
    PERFORM htp.bodyclose();
    PERFORM htp.htmlclose();
END
$$;

-- The task list: sortable by a whitelisted column, two tasks per page.
CREATE OR REPLACE PROCEDURE tracker.task_list(p_sort text DEFAULT 'id', p_page integer DEFAULT 1)
LANGUAGE plpgsql AS $$
DECLARE
    sort_column text := CASE lower(p_sort) WHEN 'title' THEN 'title' WHEN 'due' THEN 'due'
                                            WHEN 'priority' THEN 'priority' ELSE 'id' END;
    page_no integer := greatest(coalesce(p_page, 1), 1);
    r record;
    shown integer := 0;
BEGIN
    CALL tracker.page_open('Tasks');
    PERFORM htp.comment('sorted by ' || sort_column);
    PERFORM htp.tableopen('border="1"', cattributes => 'id="tasks"');
    PERFORM htp.tablecaption('Page ' || page_no || ', by ' || sort_column, 'top');
    PERFORM htp.tablerowopen();
    PERFORM htp.tableheader(htf.anchor('tracker.task_list?p_sort=id', '#'));
    PERFORM htp.tableheader(htf.anchor('tracker.task_list?p_sort=title', 'Title'));
    PERFORM htp.tableheader(htf.anchor('tracker.task_list?p_sort=priority', 'Priority'));
    PERFORM htp.tableheader(htf.anchor('tracker.task_list?p_sort=due', 'Due'), cnowrap => 'y');
    PERFORM htp.tableheader('Done');
    PERFORM htp.tablerowclose();
    FOR r IN EXECUTE format('SELECT * FROM tracker.tasks ORDER BY %I NULLS LAST, id LIMIT 2 OFFSET $1',
                            sort_column) USING (page_no - 1) * 2 LOOP
        PERFORM htp.tablerowopen(cvalign => 'top');
        PERFORM htp.tabledata(r.id, 'right');
        PERFORM htp.tabledata(htf.anchor('tracker.task_view?p_id=' || r.id, htf.escape_sc(r.title)));
        PERFORM htp.tabledata(r.priority, calign => 'center');
        PERFORM htp.tabledata(r.due, cattributes => CASE WHEN r.due < date '2026-12-05' THEN 'class="late"' END);
        PERFORM htp.tabledata(r.done);
        PERFORM htp.tablerowclose();
        shown := shown + 1;
    END LOOP;
    IF shown = 0 THEN
        PERFORM htp.tablerowopen();
        PERFORM htp.tabledata(htf.italic('No tasks on this page'), ccolspan => 5);
        PERFORM htp.tablerowclose();
    END IF;
    PERFORM htp.tableclose();
    PERFORM htp.para();
    IF page_no > 1 THEN
        PERFORM htp.anchor(htf.escape_url('tracker.task_list?p_sort=' || sort_column || '&p_page=' || (page_no - 1)),
                           'Previous');
    END IF;
    PERFORM htp.anchor(htf.escape_url('tracker.task_list?p_sort=' || sort_column || '&p_page=' || (page_no + 1)),
                       'Next');
    PERFORM htp.nl();
    PERFORM htp.anchor2('tracker.task_form', htf.bold('New task'), ctarget => '_self');
    CALL tracker.page_close();
END
$$;

-- One task; the owner's text is escaped, the notes kept as preformatted text.
CREATE OR REPLACE PROCEDURE tracker.task_view(p_id integer) LANGUAGE plpgsql AS $$
DECLARE
    t tracker.tasks;
BEGIN
    SELECT * INTO t FROM tracker.tasks WHERE id = p_id;
    IF NOT FOUND THEN
        PERFORM owa_util.status_line(404, 'Not Found', false);
        PERFORM owa_util.mime_header('text/html');
        PERFORM htp.p('No task ' || p_id);
        RETURN;
    END IF;
    CALL tracker.page_open('Task ' || t.id);
    PERFORM htp.dlistopen();
    PERFORM htp.dlistterm('Title');
    PERFORM htp.dlistdef(htf.escape_sc(t.title));
    PERFORM htp.dlistterm('Owner');
    PERFORM htp.dlistdef(htf.strong(htf.escape_sc(t.owner)));
    PERFORM htp.dlistterm('Priority');
    PERFORM htp.dlistdef(t.priority);
    PERFORM htp.dlistterm('Due');
    PERFORM htp.dlistdef(coalesce(to_char(t.due, 'DD Mon YYYY'), htf.em('none')));
    PERFORM htp.dlistclose();
    PERFORM htp.blockquoteopen();
    PERFORM htp.preformatted(htf.escape_sc(coalesce(t.notes, '')));
    PERFORM htp.blockquoteclose();
    PERFORM htp.formopen('tracker.task_done', 'POST');
    PERFORM htp.formhidden('p_id', t.id);
    PERFORM htp.formsubmit(cvalue => 'Mark done', cattributes => 'onclick="return confirmDone()"');
    PERFORM htp.formclose();
    PERFORM htp.anchor('tracker.task_list', 'All tasks');
    CALL tracker.page_close();
END
$$;

-- The create form.
CREATE OR REPLACE PROCEDURE tracker.task_form() LANGUAGE plpgsql AS $$
BEGIN
    CALL tracker.page_open('New task');
    PERFORM htp.formopen('tracker.task_save', cattributes => 'id="new"');
    PERFORM htp.div(cattributes => 'class="field"');
    PERFORM htp.prn('Title: ');
    PERFORM htp.formtext('p_title', 40, 200);
    PERFORM htp.print('</div>');
    PERFORM htp.prn('Owner: ');
    PERFORM htp.formselectopen('p_owner');
    PERFORM htp.formselectoption('ada', 'selected', 'value="ada"');
    PERFORM htp.formselectoption('bob', cattributes => 'value="bob"');
    PERFORM htp.formselectclose();
    PERFORM htp.br();
    PERFORM htp.prn('Priority: ');
    FOR i IN 1 .. 3 LOOP
        PERFORM htp.formradio('p_priority', i, CASE WHEN i = 3 THEN 'checked' END);
    END LOOP;
    PERFORM htp.br();
    PERFORM htp.prn('Due: ');
    PERFORM owa_util.choose_date('p_due', date '2026-12-07');
    PERFORM htp.br();
    PERFORM htp.formtextareaopen('p_notes', 4, 60);
    PERFORM htp.prn('');
    PERFORM htp.formtextareaclose();
    PERFORM htp.formcheckbox('p_urgent', 'yes');
    PERFORM htp.prn('Urgent');
    PERFORM htp.br();
    PERFORM htp.formsubmit(cvalue => 'Create');
    PERFORM htp.formreset();
    PERFORM htp.formclose();
    PERFORM htp.ulistopen();
    PERFORM htp.listitem('Titles are shown ' || htf.underline('as typed') || ', escaped');
    PERFORM htp.listitem('Dates use ' || htf.code('owa_util.todate'));
    PERFORM htp.ulistclose();
    CALL tracker.page_close();
END
$$;

-- The POST handler: stores the task and redirects to the list.
CREATE OR REPLACE PROCEDURE tracker.task_save(p_title text, p_owner text DEFAULT 'nobody',
                                              p_priority integer DEFAULT 3,
                                              p_due owa_util.datetype DEFAULT NULL,
                                              p_notes text DEFAULT NULL, p_urgent text DEFAULT NULL)
LANGUAGE plpgsql AS $$
BEGIN
    IF btrim(coalesce(p_title, '')) = '' THEN
        RAISE EXCEPTION 'A task needs a title';
    END IF;
    INSERT INTO tracker.tasks (title, owner, priority, due, notes)
    VALUES (p_title, p_owner, CASE WHEN p_urgent IS NOT NULL THEN 1 ELSE p_priority END,
            owa_util.todate(p_due), p_notes);
    PERFORM owa_util.redirect_url('tracker.task_list?p_sort=id');
END
$$;

CREATE OR REPLACE PROCEDURE tracker.task_done(p_id integer) LANGUAGE plpgsql AS $$
BEGIN
    UPDATE tracker.tasks SET done = true WHERE id = p_id;
    PERFORM owa_util.redirect_url('tracker.task_view?p_id=' || p_id);
END
$$;

-- A cookie preference: p_theme given sets it, else the cookie is read.
CREATE OR REPLACE PROCEDURE tracker.prefs(p_theme text DEFAULT NULL) LANGUAGE plpgsql AS $$
DECLARE
    c owa_cookie.cookie;
BEGIN
    IF p_theme IS NOT NULL THEN
        PERFORM owa_util.mime_header('text/html', false);
        PERFORM owa_cookie.send('theme', htf.escape_url(p_theme), path => '/tracker');
        PERFORM owa_util.http_header_close();
    END IF;
    c := owa_cookie.get('theme');
    PERFORM htp.htmlopen();
    PERFORM htp.title('Preferences');
    PERFORM htp.paragraph(calign => 'left');
    PERFORM htp.prn('Theme cookies: ' || c.num_vals || ', first: ');
    PERFORM htp.prints(coalesce(c.vals[1], 'default'));
    PERFORM htp.fontopen(ccolor => 'gray', csize => 2);
    PERFORM htp.prn('Set with ' || htf.anchor('tracker.prefs?p_theme=dark', 'dark'));
    PERFORM htp.fontclose();
    PERFORM htp.small('Client: ' || htf.escape_sc(coalesce(owa_util.get_cgi_env('REQUEST_METHOD'), '?')));
    PERFORM htp.htmlclose();
END
$$;

-- Flexible arguments (/tracker/owa/!tracker.search): every field, any name,
-- in request order.
CREATE OR REPLACE PROCEDURE tracker.search(name_array owa.vc_arr, value_array owa.vc_arr)
LANGUAGE plpgsql AS $$
BEGIN
    PERFORM htp.htmlopen();
    PERFORM htp.title('Search');
    PERFORM htp.olistopen();
    FOR i IN 1 .. coalesce(array_length(name_array, 1), 0) LOOP
        PERFORM htp.listitem(htf.escape_sc(name_array[i]) || ' = ' || htf.escape_sc(value_array[i]));
    END LOOP;
    PERFORM htp.olistclose();
    PERFORM htp.p('Procedure: ' || owa_util.get_procedure());
    PERFORM htp.htmlclose();
END
$$;

-- Path alias (/tracker/owa/tasks/<id>): the rest of the path arrives as
-- p_path; other fields arrive by name as usual.
CREATE OR REPLACE PROCEDURE tracker.rest(p_path text, format text DEFAULT 'html')
LANGUAGE plpgsql AS $$
DECLARE
    t tracker.tasks;
BEGIN
    IF p_path !~ '^[0-9]{1,9}$' THEN
        PERFORM owa_util.status_line(404, 'Not Found', false);
        PERFORM owa_util.mime_header('text/plain');
        PERFORM htp.prn('No such path: ');
        PERFORM htp.ps(p_path);
        RETURN;
    END IF;
    SELECT * INTO t FROM tracker.tasks WHERE id = p_path::integer;
    IF format = 'text' THEN
        PERFORM owa_util.mime_header('text/plain');
        PERFORM htp.p(t.id || ': ' || t.title);
        RETURN;
    END IF;
    PERFORM htp.htmlopen();
    PERFORM htp.title('Task ' || t.id);
    PERFORM htp.center(htf.big(htf.escape_sc(t.title)));
    PERFORM htp.img2('/img/task.png', calt => 'task', cusemap => '#task');
    PERFORM htp.htmlclose();
END
$$;
