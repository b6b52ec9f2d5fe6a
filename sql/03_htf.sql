-- 03_htf.sql - the htf package: functions that return HTML text. Every
-- htf function has an htp twin (04_htp.sql) that writes the same text to
-- the page as one line.

CREATE OR REPLACE FUNCTION htf.escape_sc(ctext text) RETURNS text
LANGUAGE sql IMMUTABLE AS $$
    SELECT replace(replace(replace(replace(ctext, '&', '&amp;'), '<', '&lt;'), '>', '&gt;'),
                   '"', '&quot;')
$$;

-- ' name="value"' for an optional attribute; nothing when the value is null.
CREATE OR REPLACE FUNCTION htf.attr(name text, value text) RETURNS text
LANGUAGE sql IMMUTABLE AS $$
    SELECT CASE WHEN value IS NULL THEN '' ELSE ' ' || name || '="' || value || '"' END
$$;

-- ' attributes' for free-form attributes; nothing when null.
CREATE OR REPLACE FUNCTION htf.more(cattributes text) RETURNS text
LANGUAGE sql IMMUTABLE AS $$
    SELECT CASE WHEN cattributes IS NULL THEN '' ELSE ' ' || cattributes END
$$;

-- <tag attributes>text</tag>
CREATE OR REPLACE FUNCTION htf.wrap(tag text, ctext text, cattributes text DEFAULT NULL)
RETURNS text LANGUAGE sql IMMUTABLE AS $$
    SELECT '<' || tag || htf.more(cattributes) || '>' || coalesce(ctext, '') || '</' || tag || '>'
$$;

CREATE OR REPLACE FUNCTION htf.htmlopen() RETURNS text LANGUAGE sql IMMUTABLE AS $$ SELECT '<html>' $$;
CREATE OR REPLACE FUNCTION htf.htmlclose() RETURNS text LANGUAGE sql IMMUTABLE AS $$ SELECT '</html>' $$;
CREATE OR REPLACE FUNCTION htf.headopen() RETURNS text LANGUAGE sql IMMUTABLE AS $$ SELECT '<head>' $$;
CREATE OR REPLACE FUNCTION htf.headclose() RETURNS text LANGUAGE sql IMMUTABLE AS $$ SELECT '</head>' $$;
CREATE OR REPLACE FUNCTION htf.bodyclose() RETURNS text LANGUAGE sql IMMUTABLE AS $$ SELECT '</body>' $$;
CREATE OR REPLACE FUNCTION htf.br() RETURNS text LANGUAGE sql IMMUTABLE AS $$ SELECT '<br>' $$;
CREATE OR REPLACE FUNCTION htf.nl() RETURNS text LANGUAGE sql IMMUTABLE AS $$ SELECT '<br>' $$;
CREATE OR REPLACE FUNCTION htf.hr() RETURNS text LANGUAGE sql IMMUTABLE AS $$ SELECT '<hr>' $$;
CREATE OR REPLACE FUNCTION htf.line() RETURNS text LANGUAGE sql IMMUTABLE AS $$ SELECT '<hr>' $$;
CREATE OR REPLACE FUNCTION htf.para() RETURNS text LANGUAGE sql IMMUTABLE AS $$ SELECT '<p>' $$;
CREATE OR REPLACE FUNCTION htf.tableclose() RETURNS text LANGUAGE sql IMMUTABLE AS $$ SELECT '</table>' $$;
CREATE OR REPLACE FUNCTION htf.tablerowopen() RETURNS text LANGUAGE sql IMMUTABLE AS $$ SELECT '<tr>' $$;
CREATE OR REPLACE FUNCTION htf.tablerowclose() RETURNS text LANGUAGE sql IMMUTABLE AS $$ SELECT '</tr>' $$;
CREATE OR REPLACE FUNCTION htf.formclose() RETURNS text LANGUAGE sql IMMUTABLE AS $$ SELECT '</form>' $$;
CREATE OR REPLACE FUNCTION htf.formselectclose() RETURNS text LANGUAGE sql IMMUTABLE AS $$ SELECT '</select>' $$;
CREATE OR REPLACE FUNCTION htf.ulistopen() RETURNS text LANGUAGE sql IMMUTABLE AS $$ SELECT '<ul>' $$;
CREATE OR REPLACE FUNCTION htf.ulistclose() RETURNS text LANGUAGE sql IMMUTABLE AS $$ SELECT '</ul>' $$;
CREATE OR REPLACE FUNCTION htf.olistopen() RETURNS text LANGUAGE sql IMMUTABLE AS $$ SELECT '<ol>' $$;
CREATE OR REPLACE FUNCTION htf.olistclose() RETURNS text LANGUAGE sql IMMUTABLE AS $$ SELECT '</ol>' $$;
CREATE OR REPLACE FUNCTION htf.centeropen() RETURNS text LANGUAGE sql IMMUTABLE AS $$ SELECT '<center>' $$;
CREATE OR REPLACE FUNCTION htf.centerclose() RETURNS text LANGUAGE sql IMMUTABLE AS $$ SELECT '</center>' $$;

CREATE OR REPLACE FUNCTION htf.bodyopen(cbackground text DEFAULT NULL, cattributes text DEFAULT NULL)
RETURNS text LANGUAGE sql IMMUTABLE AS $$
    SELECT '<body' || htf.attr('background', cbackground) || htf.more(cattributes) || '>'
$$;

CREATE OR REPLACE FUNCTION htf.title(ctitle text) RETURNS text
LANGUAGE sql IMMUTABLE AS $$ SELECT htf.wrap('title', ctitle) $$;

CREATE OR REPLACE FUNCTION htf.header(nsize integer, cheader text, calign text DEFAULT NULL,
                                      cattributes text DEFAULT NULL)
RETURNS text LANGUAGE sql IMMUTABLE AS $$
    SELECT '<h' || nsize || htf.attr('align', calign) || htf.more(cattributes) || '>'
        || coalesce(cheader, '') || '</h' || nsize || '>'
$$;

CREATE OR REPLACE FUNCTION htf.htitle(ctitle text, nsize integer DEFAULT 1) RETURNS text
LANGUAGE sql IMMUTABLE AS $$
    SELECT htf.headopen() || htf.title(ctitle) || htf.headclose() || htf.bodyopen()
        || htf.header(nsize, ctitle)
$$;

CREATE OR REPLACE FUNCTION htf.paragraph(calign text DEFAULT NULL, cattributes text DEFAULT NULL)
RETURNS text LANGUAGE sql IMMUTABLE AS $$
    SELECT '<p' || htf.attr('align', calign) || htf.more(cattributes) || '>'
$$;

CREATE OR REPLACE FUNCTION htf.bold(ctext text, cattributes text DEFAULT NULL) RETURNS text
LANGUAGE sql IMMUTABLE AS $$ SELECT htf.wrap('b', ctext, cattributes) $$;
CREATE OR REPLACE FUNCTION htf.italic(ctext text, cattributes text DEFAULT NULL) RETURNS text
LANGUAGE sql IMMUTABLE AS $$ SELECT htf.wrap('i', ctext, cattributes) $$;
CREATE OR REPLACE FUNCTION htf.underline(ctext text, cattributes text DEFAULT NULL) RETURNS text
LANGUAGE sql IMMUTABLE AS $$ SELECT htf.wrap('u', ctext, cattributes) $$;
CREATE OR REPLACE FUNCTION htf.strong(ctext text, cattributes text DEFAULT NULL) RETURNS text
LANGUAGE sql IMMUTABLE AS $$ SELECT htf.wrap('strong', ctext, cattributes) $$;
CREATE OR REPLACE FUNCTION htf.em(ctext text, cattributes text DEFAULT NULL) RETURNS text
LANGUAGE sql IMMUTABLE AS $$ SELECT htf.wrap('em', ctext, cattributes) $$;
CREATE OR REPLACE FUNCTION htf.code(ctext text, cattributes text DEFAULT NULL) RETURNS text
LANGUAGE sql IMMUTABLE AS $$ SELECT htf.wrap('code', ctext, cattributes) $$;
CREATE OR REPLACE FUNCTION htf.preformatted(ctext text, cattributes text DEFAULT NULL) RETURNS text
LANGUAGE sql IMMUTABLE AS $$ SELECT htf.wrap('pre', ctext, cattributes) $$;
CREATE OR REPLACE FUNCTION htf.center(ctext text) RETURNS text
LANGUAGE sql IMMUTABLE AS $$ SELECT htf.wrap('center', ctext) $$;
CREATE OR REPLACE FUNCTION htf.listitem(ctext text DEFAULT NULL, cattributes text DEFAULT NULL)
RETURNS text LANGUAGE sql IMMUTABLE AS $$
    SELECT '<li' || htf.more(cattributes) || '>' || coalesce(ctext, '')
$$;
CREATE OR REPLACE FUNCTION htf.comment(ctext text) RETURNS text
LANGUAGE sql IMMUTABLE AS $$ SELECT '<!-- ' || coalesce(ctext, '') || ' -->' $$;

CREATE OR REPLACE FUNCTION htf.anchor(curl text, ctext text, cname text DEFAULT NULL,
                                      cattributes text DEFAULT NULL)
RETURNS text LANGUAGE sql IMMUTABLE AS $$
    SELECT '<a' || htf.attr('href', curl) || htf.attr('name', cname) || htf.more(cattributes)
        || '>' || coalesce(ctext, '') || '</a>'
$$;

CREATE OR REPLACE FUNCTION htf.mailto(caddress text, ctext text, cattributes text DEFAULT NULL)
RETURNS text LANGUAGE sql IMMUTABLE AS $$ SELECT htf.anchor('mailto:' || caddress, ctext, NULL, cattributes) $$;

CREATE OR REPLACE FUNCTION htf.img(curl text, calign text DEFAULT NULL, calt text DEFAULT NULL,
                                   cattributes text DEFAULT NULL)
RETURNS text LANGUAGE sql IMMUTABLE AS $$
    SELECT '<img' || htf.attr('src', curl) || htf.attr('align', calign) || htf.attr('alt', calt)
        || htf.more(cattributes) || '>'
$$;

CREATE OR REPLACE FUNCTION htf.tableopen(cborder text DEFAULT NULL, calign text DEFAULT NULL,
                                         cattributes text DEFAULT NULL)
RETURNS text LANGUAGE sql IMMUTABLE AS $$
    SELECT '<table' || CASE WHEN cborder IS NULL THEN '' ELSE ' ' || cborder END
        || htf.attr('align', calign) || htf.more(cattributes) || '>'
$$;

CREATE OR REPLACE FUNCTION htf.tablecaption(ccaption text, calign text DEFAULT NULL,
                                            cattributes text DEFAULT NULL)
RETURNS text LANGUAGE sql IMMUTABLE AS $$
    SELECT '<caption' || htf.attr('align', calign) || htf.more(cattributes) || '>'
        || coalesce(ccaption, '') || '</caption>'
$$;

CREATE OR REPLACE FUNCTION htf.tabledata(cvalue text DEFAULT NULL, calign text DEFAULT NULL,
                                         cattributes text DEFAULT NULL)
RETURNS text LANGUAGE sql IMMUTABLE AS $$
    SELECT '<td' || htf.attr('align', calign) || htf.more(cattributes) || '>'
        || coalesce(cvalue, '') || '</td>'
$$;

CREATE OR REPLACE FUNCTION htf.tableheader(cvalue text DEFAULT NULL, calign text DEFAULT NULL,
                                           cattributes text DEFAULT NULL)
RETURNS text LANGUAGE sql IMMUTABLE AS $$
    SELECT '<th' || htf.attr('align', calign) || htf.more(cattributes) || '>'
        || coalesce(cvalue, '') || '</th>'
$$;

CREATE OR REPLACE FUNCTION htf.formopen(curl text, cmethod text DEFAULT 'POST',
                                        ctarget text DEFAULT NULL, cenctype text DEFAULT NULL,
                                        cattributes text DEFAULT NULL)
RETURNS text LANGUAGE sql IMMUTABLE AS $$
    SELECT '<form' || htf.attr('action', curl) || htf.attr('method', cmethod)
        || htf.attr('target', ctarget) || htf.attr('enctype', cenctype) || htf.more(cattributes) || '>'
$$;

-- <input type=...> with the optional attributes the form helpers share.
CREATE OR REPLACE FUNCTION htf.forminput(ctype text, cname text, cvalue text DEFAULT NULL,
                                         cattributes text DEFAULT NULL)
RETURNS text LANGUAGE sql IMMUTABLE AS $$
    SELECT '<input' || htf.attr('type', ctype) || htf.attr('name', cname)
        || htf.attr('value', htf.escape_sc(cvalue)) || htf.more(cattributes) || '>'
$$;

CREATE OR REPLACE FUNCTION htf.formtext(cname text, csize text DEFAULT NULL,
                                        cmaxlength text DEFAULT NULL, cvalue text DEFAULT NULL,
                                        cattributes text DEFAULT NULL)
RETURNS text LANGUAGE sql IMMUTABLE AS $$
    SELECT htf.forminput('text', cname, cvalue,
        nullif(ltrim(htf.attr('size', csize) || htf.attr('maxlength', cmaxlength)
                     || htf.more(cattributes)), ''))
$$;

CREATE OR REPLACE FUNCTION htf.formpassword(cname text, csize text DEFAULT NULL,
                                            cmaxlength text DEFAULT NULL, cvalue text DEFAULT NULL,
                                            cattributes text DEFAULT NULL)
RETURNS text LANGUAGE sql IMMUTABLE AS $$
    SELECT htf.forminput('password', cname, cvalue,
        nullif(ltrim(htf.attr('size', csize) || htf.attr('maxlength', cmaxlength)
                     || htf.more(cattributes)), ''))
$$;

CREATE OR REPLACE FUNCTION htf.formhidden(cname text, cvalue text DEFAULT NULL,
                                          cattributes text DEFAULT NULL)
RETURNS text LANGUAGE sql IMMUTABLE AS $$ SELECT htf.forminput('hidden', cname, cvalue, cattributes) $$;

CREATE OR REPLACE FUNCTION htf.formcheckbox(cname text, cvalue text DEFAULT 'on',
                                            cchecked text DEFAULT NULL, cattributes text DEFAULT NULL)
RETURNS text LANGUAGE sql IMMUTABLE AS $$
    SELECT htf.forminput('checkbox', cname, cvalue,
        nullif(ltrim(CASE WHEN cchecked IS NULL THEN '' ELSE ' checked' END
                     || htf.more(cattributes)), ''))
$$;

CREATE OR REPLACE FUNCTION htf.formradio(cname text, cvalue text, cchecked text DEFAULT NULL,
                                         cattributes text DEFAULT NULL)
RETURNS text LANGUAGE sql IMMUTABLE AS $$
    SELECT htf.forminput('radio', cname, cvalue,
        nullif(ltrim(CASE WHEN cchecked IS NULL THEN '' ELSE ' checked' END
                     || htf.more(cattributes)), ''))
$$;

CREATE OR REPLACE FUNCTION htf.formsubmit(cname text DEFAULT NULL, cvalue text DEFAULT 'Submit',
                                          cattributes text DEFAULT NULL)
RETURNS text LANGUAGE sql IMMUTABLE AS $$ SELECT htf.forminput('submit', cname, cvalue, cattributes) $$;

CREATE OR REPLACE FUNCTION htf.formreset(cvalue text DEFAULT 'Reset', cattributes text DEFAULT NULL)
RETURNS text LANGUAGE sql IMMUTABLE AS $$ SELECT htf.forminput('reset', NULL, cvalue, cattributes) $$;

CREATE OR REPLACE FUNCTION htf.formfile(cname text, cattributes text DEFAULT NULL)
RETURNS text LANGUAGE sql IMMUTABLE AS $$ SELECT htf.forminput('file', cname, NULL, cattributes) $$;

CREATE OR REPLACE FUNCTION htf.formtextarea(cname text, nrows integer, ncolumns integer,
                                            cvalue text DEFAULT NULL, cattributes text DEFAULT NULL)
RETURNS text LANGUAGE sql IMMUTABLE AS $$
    SELECT '<textarea' || htf.attr('name', cname) || htf.attr('rows', nrows::text)
        || htf.attr('cols', ncolumns::text) || htf.more(cattributes) || '>'
        || coalesce(htf.escape_sc(cvalue), '') || '</textarea>'
$$;

CREATE OR REPLACE FUNCTION htf.formselectopen(cname text, cprompt text DEFAULT NULL,
                                              nsize integer DEFAULT NULL,
                                              cattributes text DEFAULT NULL)
RETURNS text LANGUAGE sql IMMUTABLE AS $$
    SELECT coalesce(cprompt || ' ', '') || '<select' || htf.attr('name', cname)
        || htf.attr('size', nsize::text) || htf.more(cattributes) || '>'
$$;

CREATE OR REPLACE FUNCTION htf.formselectoption(cvalue text, cselected text DEFAULT NULL,
                                                cattributes text DEFAULT NULL)
RETURNS text LANGUAGE sql IMMUTABLE AS $$
    SELECT '<option' || CASE WHEN cselected IS NULL THEN '' ELSE ' selected' END
        || htf.more(cattributes) || '>' || coalesce(cvalue, '')
$$;
