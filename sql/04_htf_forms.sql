-- 04_htf_forms.sql - the htf form routines: the form, its inputs, selects
-- and text areas. Values are written as given (see 03_htf.sql): escape user
-- text with htf.escape_sc.

CREATE FUNCTION htf.formopen(curl text, cmethod text DEFAULT 'POST', ctarget text DEFAULT NULL,
                             cenctype text DEFAULT NULL, cattributes text DEFAULT NULL)
RETURNS text LANGUAGE sql IMMUTABLE AS $$
    SELECT '<form' || htf.attr('action', curl) || htf.attr('method', cmethod)
        || htf.attr('target', ctarget) || htf.attr('enctype', cenctype) || htf.more(cattributes) || '>'
$$;
CREATE FUNCTION htf.formclose() RETURNS text LANGUAGE sql IMMUTABLE AS $$ SELECT '</form>' $$;

-- <input type=... name=...> with the attributes in between as given.
CREATE FUNCTION htf.forminput(ctype text, cname text, cmiddle text, cattributes text)
RETURNS text LANGUAGE sql IMMUTABLE AS $$
    SELECT '<input' || htf.attr('type', ctype) || htf.attr('name', cname) || cmiddle
        || htf.more(cattributes) || '>'
$$;

CREATE FUNCTION htf.formtext(cname text, csize integer DEFAULT NULL, cmaxlength integer DEFAULT NULL,
                             cvalue anycompatible DEFAULT NULL, cattributes text DEFAULT NULL)
RETURNS text LANGUAGE sql IMMUTABLE AS $$
    SELECT htf.forminput('text', cname, htf.attr('size', csize::text)
        || htf.attr('maxlength', cmaxlength::text) || htf.attr('value', cvalue::text), cattributes)
$$;

CREATE FUNCTION htf.formpassword(cname text, csize integer DEFAULT NULL,
                                 cmaxlength integer DEFAULT NULL,
                                 cvalue anycompatible DEFAULT NULL, cattributes text DEFAULT NULL)
RETURNS text LANGUAGE sql IMMUTABLE AS $$
    SELECT htf.forminput('password', cname, htf.attr('size', csize::text)
        || htf.attr('maxlength', cmaxlength::text) || htf.attr('value', cvalue::text), cattributes)
$$;

CREATE FUNCTION htf.formhidden(cname text, cvalue anycompatible DEFAULT NULL,
                               cattributes text DEFAULT NULL)
RETURNS text LANGUAGE sql IMMUTABLE AS $$
    SELECT htf.forminput('hidden', cname, htf.attr('value', cvalue::text), cattributes)
$$;

CREATE FUNCTION htf.formcheckbox(cname text, cvalue anycompatible DEFAULT 'on',
                                 cchecked text DEFAULT NULL, cattributes text DEFAULT NULL)
RETURNS text LANGUAGE sql IMMUTABLE AS $$
    SELECT htf.forminput('checkbox', cname,
        htf.attr('value', cvalue::text) || htf.flag('checked', cchecked), cattributes)
$$;

CREATE FUNCTION htf.formradio(cname text, cvalue anycompatible, cchecked text DEFAULT NULL,
                              cattributes text DEFAULT NULL)
RETURNS text LANGUAGE sql IMMUTABLE AS $$
    SELECT htf.forminput('radio', cname,
        htf.attr('value', cvalue::text) || htf.flag('checked', cchecked), cattributes)
$$;

CREATE FUNCTION htf.formsubmit(cname text DEFAULT NULL, cvalue anycompatible DEFAULT 'Submit',
                               cattributes text DEFAULT NULL)
RETURNS text LANGUAGE sql IMMUTABLE AS $$
    SELECT htf.forminput('submit', cname, htf.attr('value', cvalue::text), cattributes)
$$;

CREATE FUNCTION htf.formreset(cvalue anycompatible DEFAULT 'Reset', cattributes text DEFAULT NULL)
RETURNS text LANGUAGE sql IMMUTABLE AS $$
    SELECT htf.forminput('reset', NULL, htf.attr('value', cvalue::text), cattributes)
$$;

CREATE FUNCTION htf.formfile(cname text, cattributes text DEFAULT NULL)
RETURNS text LANGUAGE sql IMMUTABLE AS $$ SELECT htf.forminput('file', cname, '', cattributes) $$;

-- An image that submits the form; the browser sends the clicked point as
-- <cname>.x and <cname>.y (see owa_image).
CREATE FUNCTION htf.formimage(cname text, csrc text, calign text DEFAULT NULL,
                              cattributes text DEFAULT NULL)
RETURNS text LANGUAGE sql IMMUTABLE AS $$
    SELECT htf.forminput('image', cname, htf.attr('src', csrc) || htf.attr('align', calign), cattributes)
$$;

CREATE FUNCTION htf.formselectopen(cname text, cprompt text DEFAULT NULL, nsize integer DEFAULT NULL,
                                   cattributes text DEFAULT NULL)
RETURNS text LANGUAGE sql IMMUTABLE AS $$
    SELECT coalesce(cprompt || ' ', '') || '<select' || htf.attr('name', cname)
        || htf.attr('size', nsize::text) || htf.more(cattributes) || '>'
$$;

CREATE FUNCTION htf.formselectoption(cvalue anycompatible, cselected text DEFAULT NULL,
                                     cattributes text DEFAULT NULL)
RETURNS text LANGUAGE sql IMMUTABLE AS $$
    SELECT '<option' || htf.flag('selected', cselected) || htf.more(cattributes) || '>'
        || coalesce(cvalue::text, '')
$$;
CREATE FUNCTION htf.formselectclose() RETURNS text LANGUAGE sql IMMUTABLE AS $$ SELECT '</select>' $$;

CREATE FUNCTION htf.formtextareaopen2(cname text, nrows integer, ncolumns integer,
                                      calign text DEFAULT NULL, cwrap text DEFAULT NULL,
                                      cattributes text DEFAULT NULL)
RETURNS text LANGUAGE sql IMMUTABLE AS $$
    SELECT '<textarea' || htf.attr('name', cname) || htf.attr('rows', nrows::text)
        || htf.attr('cols', ncolumns::text) || htf.attr('align', calign) || htf.attr('wrap', cwrap)
        || htf.more(cattributes) || '>'
$$;
CREATE FUNCTION htf.formtextareaopen(cname text, nrows integer, ncolumns integer,
                                     calign text DEFAULT NULL, cattributes text DEFAULT NULL)
RETURNS text LANGUAGE sql IMMUTABLE AS $$
    SELECT htf.formtextareaopen2(cname, nrows, ncolumns, calign, NULL, cattributes)
$$;
CREATE FUNCTION htf.formtextareaclose() RETURNS text
LANGUAGE sql IMMUTABLE AS $$ SELECT '</textarea>' $$;

-- An empty text area; its content goes between formTextareaOpen and Close.
CREATE FUNCTION htf.formtextarea(cname text, nrows integer, ncolumns integer,
                                 calign text DEFAULT NULL, cattributes text DEFAULT NULL)
RETURNS text LANGUAGE sql IMMUTABLE AS $$
    SELECT htf.formtextareaopen2(cname, nrows, ncolumns, calign, NULL, cattributes) || '</textarea>'
$$;
CREATE FUNCTION htf.formtextarea2(cname text, nrows integer, ncolumns integer,
                                  calign text DEFAULT NULL, cwrap text DEFAULT NULL,
                                  cattributes text DEFAULT NULL)
RETURNS text LANGUAGE sql IMMUTABLE AS $$
    SELECT htf.formtextareaopen2(cname, nrows, ncolumns, calign, cwrap, cattributes) || '</textarea>'
$$;
