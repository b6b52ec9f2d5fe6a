-- 03_htf.sql - the htf package: functions that return HTML text; this file
-- holds the shared helpers, the page structure, text, lists and links
-- (forms and tables follow in 04_htf_*.sql). Every htf function has an htp
-- twin (04_htp.sql) that writes the same text to the page as one line.
--
-- Escaping rule: tag routines write their arguments as given; only
-- htf.escape_sc (HTML text and attribute values) and htf.escape_url (URLs)
-- escape. The value parameter of a routine (the text it wraps, a field's
-- value) is anycompatible: numbers, dates, booleans and text arrive as their
-- PostgreSQL text form, and a default of NULL keeps calls without it
-- unambiguous. Sizes and counts are integers.

-- An upgrade may change signatures: the toolkit owns these two schemas, so
-- their routines are created afresh (inside the installer's transaction).
DO $drop$
DECLARE
    f regprocedure;
BEGIN
    FOR f IN
        SELECT p.oid::regprocedure FROM pg_proc p
        WHERE p.pronamespace IN ('htf'::regnamespace, 'htp'::regnamespace)
    LOOP
        EXECUTE 'DROP ROUTINE ' || f;
    END LOOP;
END
$drop$;

CREATE FUNCTION htf.escape_sc(ctext anycompatible) RETURNS text
LANGUAGE sql IMMUTABLE AS $$
    SELECT replace(replace(replace(replace(ctext::text, '&', '&amp;'), '<', '&lt;'), '>', '&gt;'),
                   '"', '&quot;')
$$;

-- Percent-encodes every byte of the UTF-8 form except letters, digits, the
-- unreserved "-._~" and the characters that give a URL its structure
-- (":/?#[]@!$&'()*+,;="), so a whole URL stays usable. p_charset is only
-- accepted: text is always encoded as UTF-8.
CREATE FUNCTION htf.escape_url(p_url text, p_charset text DEFAULT 'UTF-8') RETURNS text
LANGUAGE sql IMMUTABLE AS $$
    SELECT string_agg(CASE WHEN chr(b) ~ '[A-Za-z0-9._~:/?#@!$&''()*+,;=\[\]-]' AND b < 128
                           THEN chr(b) ELSE '%' || upper(lpad(to_hex(b), 2, '0')) END,
                      '' ORDER BY i)
    FROM (SELECT i, get_byte(convert_to(p_url, 'UTF8'), i) AS b
          FROM generate_series(0, octet_length(convert_to(p_url, 'UTF8')) - 1) AS i) AS bytes
$$;

-- ' name="value"' for an optional attribute; nothing when the value is null.
CREATE FUNCTION htf.attr(name text, value text) RETURNS text
LANGUAGE sql IMMUTABLE AS $$
    SELECT CASE WHEN value IS NULL THEN '' ELSE ' ' || name || '="' || value || '"' END
$$;

-- ' name' for a flag attribute (nowrap, checked, ...): present when not null.
CREATE FUNCTION htf.flag(name text, value text) RETURNS text
LANGUAGE sql IMMUTABLE AS $$ SELECT CASE WHEN value IS NULL THEN '' ELSE ' ' || name END $$;

-- ' attributes' for free-form attributes; nothing when null.
CREATE FUNCTION htf.more(cattributes text) RETURNS text
LANGUAGE sql IMMUTABLE AS $$
    SELECT CASE WHEN cattributes IS NULL THEN '' ELSE ' ' || cattributes END
$$;

-- <tag attributes>text</tag>
CREATE FUNCTION htf.wrap(tag text, ctext text, cattributes text DEFAULT NULL)
RETURNS text LANGUAGE sql IMMUTABLE AS $$
    SELECT '<' || tag || htf.more(cattributes) || '>' || coalesce(ctext, '') || '</' || tag || '>'
$$;

-- Page structure.
CREATE FUNCTION htf.htmlopen() RETURNS text LANGUAGE sql IMMUTABLE AS $$ SELECT '<html>' $$;
CREATE FUNCTION htf.htmlclose() RETURNS text LANGUAGE sql IMMUTABLE AS $$ SELECT '</html>' $$;
CREATE FUNCTION htf.headopen() RETURNS text LANGUAGE sql IMMUTABLE AS $$ SELECT '<head>' $$;
CREATE FUNCTION htf.headclose() RETURNS text LANGUAGE sql IMMUTABLE AS $$ SELECT '</head>' $$;
CREATE FUNCTION htf.bodyclose() RETURNS text LANGUAGE sql IMMUTABLE AS $$ SELECT '</body>' $$;

CREATE FUNCTION htf.bodyopen(cbackground text DEFAULT NULL, cattributes text DEFAULT NULL)
RETURNS text LANGUAGE sql IMMUTABLE AS $$
    SELECT '<body' || htf.attr('background', cbackground) || htf.more(cattributes) || '>'
$$;

CREATE FUNCTION htf.title(ctitle anycompatible) RETURNS text
LANGUAGE sql IMMUTABLE AS $$ SELECT htf.wrap('title', ctitle::text) $$;

CREATE FUNCTION htf.header(nsize integer, cheader anycompatible, calign text DEFAULT NULL,
                           cnowrap text DEFAULT NULL, cclear text DEFAULT NULL,
                           cattributes text DEFAULT NULL)
RETURNS text LANGUAGE sql IMMUTABLE AS $$
    SELECT '<h' || nsize || htf.attr('align', calign) || htf.flag('nowrap', cnowrap)
        || htf.attr('clear', cclear) || htf.more(cattributes) || '>'
        || coalesce(cheader::text, '') || '</h' || nsize || '>'
$$;

CREATE FUNCTION htf.htitle(ctitle anycompatible, nsize integer DEFAULT 1, calign text DEFAULT NULL,
                           cnowrap text DEFAULT NULL, cclear text DEFAULT NULL,
                           cattributes text DEFAULT NULL)
RETURNS text LANGUAGE sql IMMUTABLE AS $$
    SELECT htf.headopen() || htf.title(ctitle) || htf.headclose() || htf.bodyopen()
        || htf.header(nsize, ctitle, calign, cnowrap, cclear, cattributes)
$$;

-- The address of the page being run, so relative links resolve against it.
CREATE FUNCTION htf.base(ctarget text DEFAULT NULL, cattributes text DEFAULT NULL)
RETURNS text LANGUAGE sql STABLE AS $$
    SELECT '<base' || htf.attr('href', coalesce(owa.get_cgi_env('SCRIPT_NAME'), '')
                                       || coalesce(owa.get_cgi_env('PATH_INFO'), ''))
        || htf.attr('target', ctarget) || htf.more(cattributes) || '>'
$$;

CREATE FUNCTION htf.linkrel(crel text, curl text, ctitle text DEFAULT NULL) RETURNS text
LANGUAGE sql IMMUTABLE AS $$
    SELECT '<link' || htf.attr('rel', crel) || htf.attr('href', curl) || htf.attr('title', ctitle) || '>'
$$;

CREATE FUNCTION htf.linkrev(crev text, curl text, ctitle text DEFAULT NULL) RETURNS text
LANGUAGE sql IMMUTABLE AS $$
    SELECT '<link' || htf.attr('rev', crev) || htf.attr('href', curl) || htf.attr('title', ctitle) || '>'
$$;

CREATE FUNCTION htf.meta(chttp_equiv text, cname text, ccontent anycompatible) RETURNS text
LANGUAGE sql IMMUTABLE AS $$
    SELECT '<meta' || htf.attr('http-equiv', chttp_equiv) || htf.attr('name', cname)
        || htf.attr('content', ccontent::text) || '>'
$$;

CREATE FUNCTION htf.script(cscript text, clanguage text DEFAULT NULL) RETURNS text
LANGUAGE sql IMMUTABLE AS $$
    SELECT '<script' || htf.attr('language', clanguage) || '>' || coalesce(cscript, '') || '</script>'
$$;

CREATE FUNCTION htf.style(cstyle text) RETURNS text
LANGUAGE sql IMMUTABLE AS $$ SELECT htf.wrap('style', cstyle) $$;

-- Breaks, rules and blocks.
CREATE FUNCTION htf.nl(cclear text DEFAULT NULL, cattributes text DEFAULT NULL) RETURNS text
LANGUAGE sql IMMUTABLE AS $$ SELECT '<br' || htf.attr('clear', cclear) || htf.more(cattributes) || '>' $$;
CREATE FUNCTION htf.br(cclear text DEFAULT NULL, cattributes text DEFAULT NULL) RETURNS text
LANGUAGE sql IMMUTABLE AS $$ SELECT htf.nl(cclear, cattributes) $$;

CREATE FUNCTION htf.hr(cclear text DEFAULT NULL, csrc text DEFAULT NULL,
                       cattributes text DEFAULT NULL) RETURNS text
LANGUAGE sql IMMUTABLE AS $$
    SELECT '<hr' || htf.attr('clear', cclear) || htf.attr('src', csrc) || htf.more(cattributes) || '>'
$$;
CREATE FUNCTION htf.line(cclear text DEFAULT NULL, csrc text DEFAULT NULL,
                         cattributes text DEFAULT NULL) RETURNS text
LANGUAGE sql IMMUTABLE AS $$ SELECT htf.hr(cclear, csrc, cattributes) $$;

CREATE FUNCTION htf.para() RETURNS text LANGUAGE sql IMMUTABLE AS $$ SELECT '<p>' $$;

CREATE FUNCTION htf.paragraph(calign text DEFAULT NULL, cnowrap text DEFAULT NULL,
                              cclear text DEFAULT NULL, cattributes text DEFAULT NULL)
RETURNS text LANGUAGE sql IMMUTABLE AS $$
    SELECT '<p' || htf.attr('align', calign) || htf.flag('nowrap', cnowrap)
        || htf.attr('clear', cclear) || htf.more(cattributes) || '>'
$$;

CREATE FUNCTION htf.address(cvalue anycompatible, cnowrap text DEFAULT NULL,
                            cclear text DEFAULT NULL, cattributes text DEFAULT NULL)
RETURNS text LANGUAGE sql IMMUTABLE AS $$
    SELECT '<address' || htf.flag('nowrap', cnowrap) || htf.attr('clear', cclear)
        || htf.more(cattributes) || '>' || coalesce(cvalue::text, '') || '</address>'
$$;

CREATE FUNCTION htf.comment(ctext anycompatible) RETURNS text
LANGUAGE sql IMMUTABLE AS $$ SELECT '<!-- ' || coalesce(ctext::text, '') || ' -->' $$;

CREATE FUNCTION htf.preopen(cclear text DEFAULT NULL, cwidth text DEFAULT NULL,
                            cattributes text DEFAULT NULL) RETURNS text
LANGUAGE sql IMMUTABLE AS $$
    SELECT '<pre' || htf.attr('clear', cclear) || htf.attr('width', cwidth) || htf.more(cattributes) || '>'
$$;
CREATE FUNCTION htf.preclose() RETURNS text LANGUAGE sql IMMUTABLE AS $$ SELECT '</pre>' $$;
CREATE FUNCTION htf.preformatted(ctext anycompatible, cclear text DEFAULT NULL,
                                 cwidth text DEFAULT NULL, cattributes text DEFAULT NULL)
RETURNS text LANGUAGE sql IMMUTABLE AS $$
    SELECT htf.preopen(cclear, cwidth, cattributes) || coalesce(ctext::text, '') || '</pre>'
$$;

CREATE FUNCTION htf.blockquoteopen(cnowrap text DEFAULT NULL, cclear text DEFAULT NULL,
                                   cattributes text DEFAULT NULL) RETURNS text
LANGUAGE sql IMMUTABLE AS $$
    SELECT '<blockquote' || htf.flag('nowrap', cnowrap) || htf.attr('clear', cclear)
        || htf.more(cattributes) || '>'
$$;
CREATE FUNCTION htf.blockquoteclose() RETURNS text
LANGUAGE sql IMMUTABLE AS $$ SELECT '</blockquote>' $$;

CREATE FUNCTION htf.div(calign text DEFAULT NULL, cattributes text DEFAULT NULL) RETURNS text
LANGUAGE sql IMMUTABLE AS $$ SELECT '<div' || htf.attr('align', calign) || htf.more(cattributes) || '>' $$;

CREATE FUNCTION htf.center(ctext anycompatible) RETURNS text
LANGUAGE sql IMMUTABLE AS $$ SELECT htf.wrap('center', ctext::text) $$;
CREATE FUNCTION htf.centeropen() RETURNS text LANGUAGE sql IMMUTABLE AS $$ SELECT '<center>' $$;
CREATE FUNCTION htf.centerclose() RETURNS text LANGUAGE sql IMMUTABLE AS $$ SELECT '</center>' $$;

-- Character formatting: htf.<name>(ctext, cattributes) wraps ctext in <tag>.
DO $install$
DECLARE
    t record;
BEGIN
    FOR t IN
        SELECT * FROM (VALUES ('bold', 'b'), ('italic', 'i'), ('underline', 'u'),
                              ('strong', 'strong'), ('em', 'em'), ('emphasis', 'em'),
                              ('code', 'code'), ('cite', 'cite'), ('citation', 'cite'),
                              ('kbd', 'kbd'), ('keyboard', 'kbd'), ('sample', 'samp'),
                              ('variable', 'var'), ('dfn', 'dfn'), ('teletype', 'tt'),
                              ('big', 'big'), ('small', 'small'), ('strike', 'strike'),
                              ('s', 's')) AS v(routine, tag)
    LOOP
        EXECUTE format(
            'CREATE FUNCTION htf.%I(ctext anycompatible, cattributes text DEFAULT NULL) '
            'RETURNS text LANGUAGE sql IMMUTABLE AS %L',
            t.routine, format('SELECT htf.wrap(%L, ctext::text, cattributes)', t.tag));
    END LOOP;
END
$install$;

CREATE FUNCTION htf.sub(ctext anycompatible, calign text DEFAULT NULL,
                        cattributes text DEFAULT NULL) RETURNS text
LANGUAGE sql IMMUTABLE AS $$
    SELECT htf.wrap('sub', ctext::text, nullif(ltrim(htf.attr('align', calign) || htf.more(cattributes)), ''))
$$;
CREATE FUNCTION htf.sup(ctext anycompatible, calign text DEFAULT NULL,
                        cattributes text DEFAULT NULL) RETURNS text
LANGUAGE sql IMMUTABLE AS $$
    SELECT htf.wrap('sup', ctext::text, nullif(ltrim(htf.attr('align', calign) || htf.more(cattributes)), ''))
$$;

CREATE FUNCTION htf.basefont(nsize integer, cattributes text DEFAULT NULL) RETURNS text
LANGUAGE sql IMMUTABLE AS $$ SELECT '<basefont' || htf.attr('size', nsize::text) || htf.more(cattributes) || '>' $$;

CREATE FUNCTION htf.fontopen(ccolor text DEFAULT NULL, cface text DEFAULT NULL,
                             csize anycompatible DEFAULT NULL, cattributes text DEFAULT NULL)
RETURNS text LANGUAGE sql IMMUTABLE AS $$
    SELECT '<font' || htf.attr('color', ccolor) || htf.attr('face', cface)
        || htf.attr('size', csize::text) || htf.more(cattributes) || '>'
$$;
CREATE FUNCTION htf.fontclose() RETURNS text LANGUAGE sql IMMUTABLE AS $$ SELECT '</font>' $$;

-- Lists.
CREATE FUNCTION htf.listheader(ctext anycompatible, cattributes text DEFAULT NULL) RETURNS text
LANGUAGE sql IMMUTABLE AS $$ SELECT htf.wrap('lh', ctext::text, cattributes) $$;

CREATE FUNCTION htf.listitem(ctext anycompatible DEFAULT NULL, cclear text DEFAULT NULL,
                             cdingbat text DEFAULT NULL, csrc text DEFAULT NULL,
                             cattributes text DEFAULT NULL)
RETURNS text LANGUAGE sql IMMUTABLE AS $$
    SELECT '<li' || htf.attr('clear', cclear) || htf.attr('dingbat', cdingbat)
        || htf.attr('src', csrc) || htf.more(cattributes) || '>' || coalesce(ctext::text, '')
$$;

CREATE FUNCTION htf.ulistopen(cclear text DEFAULT NULL, cwrap text DEFAULT NULL,
                              cdingbat text DEFAULT NULL, csrc text DEFAULT NULL,
                              cattributes text DEFAULT NULL)
RETURNS text LANGUAGE sql IMMUTABLE AS $$
    SELECT '<ul' || htf.attr('clear', cclear) || htf.attr('wrap', cwrap)
        || htf.attr('dingbat', cdingbat) || htf.attr('src', csrc) || htf.more(cattributes) || '>'
$$;
CREATE FUNCTION htf.ulistclose() RETURNS text LANGUAGE sql IMMUTABLE AS $$ SELECT '</ul>' $$;

CREATE FUNCTION htf.olistopen(cclear text DEFAULT NULL, cwrap text DEFAULT NULL,
                              cattributes text DEFAULT NULL)
RETURNS text LANGUAGE sql IMMUTABLE AS $$
    SELECT '<ol' || htf.attr('clear', cclear) || htf.attr('wrap', cwrap) || htf.more(cattributes) || '>'
$$;
CREATE FUNCTION htf.olistclose() RETURNS text LANGUAGE sql IMMUTABLE AS $$ SELECT '</ol>' $$;

CREATE FUNCTION htf.dlistopen(cclear text DEFAULT NULL, ccompact text DEFAULT NULL,
                              cattributes text DEFAULT NULL)
RETURNS text LANGUAGE sql IMMUTABLE AS $$
    SELECT '<dl' || htf.attr('clear', cclear) || htf.flag('compact', ccompact) || htf.more(cattributes) || '>'
$$;
CREATE FUNCTION htf.dlistterm(ctext anycompatible DEFAULT NULL, cclear text DEFAULT NULL,
                              cattributes text DEFAULT NULL)
RETURNS text LANGUAGE sql IMMUTABLE AS $$
    SELECT '<dt' || htf.attr('clear', cclear) || htf.more(cattributes) || '>' || coalesce(ctext::text, '')
$$;
CREATE FUNCTION htf.dlistdef(ctext anycompatible DEFAULT NULL, cclear text DEFAULT NULL,
                             cattributes text DEFAULT NULL)
RETURNS text LANGUAGE sql IMMUTABLE AS $$
    SELECT '<dd' || htf.attr('clear', cclear) || htf.more(cattributes) || '>' || coalesce(ctext::text, '')
$$;
CREATE FUNCTION htf.dlistclose() RETURNS text LANGUAGE sql IMMUTABLE AS $$ SELECT '</dl>' $$;

-- Links and images.
CREATE FUNCTION htf.anchor(curl text, ctext anycompatible, cname text DEFAULT NULL,
                           cattributes text DEFAULT NULL)
RETURNS text LANGUAGE sql IMMUTABLE AS $$
    SELECT '<a' || htf.attr('href', curl) || htf.attr('name', cname) || htf.more(cattributes)
        || '>' || coalesce(ctext::text, '') || '</a>'
$$;

CREATE FUNCTION htf.anchor2(curl text, ctext anycompatible, cname text DEFAULT NULL,
                            ctarget text DEFAULT NULL, cattributes text DEFAULT NULL)
RETURNS text LANGUAGE sql IMMUTABLE AS $$
    SELECT '<a' || htf.attr('href', curl) || htf.attr('name', cname) || htf.attr('target', ctarget)
        || htf.more(cattributes) || '>' || coalesce(ctext::text, '') || '</a>'
$$;

CREATE FUNCTION htf.mailto(caddress text, ctext anycompatible, cname text DEFAULT NULL,
                           cattributes text DEFAULT NULL)
RETURNS text LANGUAGE sql IMMUTABLE AS $$
    SELECT htf.anchor('mailto:' || caddress, ctext::text, cname, cattributes)
$$;

CREATE FUNCTION htf.img(curl text, calign text DEFAULT NULL, calt text DEFAULT NULL,
                        cismap text DEFAULT NULL, cattributes text DEFAULT NULL)
RETURNS text LANGUAGE sql IMMUTABLE AS $$
    SELECT '<img' || htf.attr('src', curl) || htf.attr('align', calign) || htf.attr('alt', calt)
        || htf.flag('ismap', cismap) || htf.more(cattributes) || '>'
$$;

CREATE FUNCTION htf.img2(curl text, calign text DEFAULT NULL, calt text DEFAULT NULL,
                         cismap text DEFAULT NULL, cusemap text DEFAULT NULL,
                         cattributes text DEFAULT NULL)
RETURNS text LANGUAGE sql IMMUTABLE AS $$
    SELECT '<img' || htf.attr('src', curl) || htf.attr('align', calign) || htf.attr('alt', calt)
        || htf.flag('ismap', cismap) || htf.attr('usemap', cusemap) || htf.more(cattributes) || '>'
$$;

CREATE FUNCTION htf.mapopen(cname text, cattributes text DEFAULT NULL) RETURNS text
LANGUAGE sql IMMUTABLE AS $$ SELECT '<map' || htf.attr('name', cname) || htf.more(cattributes) || '>' $$;
CREATE FUNCTION htf.mapclose() RETURNS text LANGUAGE sql IMMUTABLE AS $$ SELECT '</map>' $$;

CREATE FUNCTION htf.area(ccoords text, cshape text DEFAULT NULL, chref text DEFAULT NULL,
                         cnohref text DEFAULT NULL, ctarget text DEFAULT NULL,
                         cattributes text DEFAULT NULL)
RETURNS text LANGUAGE sql IMMUTABLE AS $$
    SELECT '<area' || htf.attr('coords', ccoords) || htf.attr('shape', cshape)
        || htf.attr('href', chref) || htf.flag('nohref', cnohref) || htf.attr('target', ctarget)
        || htf.more(cattributes) || '>'
$$;
