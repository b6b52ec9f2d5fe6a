-- 04_htf_tables.sql - the htf table routines. Cell values are written as
-- given (see 03_htf.sql); spans are integers.

CREATE FUNCTION htf.tableopen(cborder text DEFAULT NULL, calign text DEFAULT NULL,
                              cnowrap text DEFAULT NULL, cclear text DEFAULT NULL,
                              cattributes text DEFAULT NULL)
RETURNS text LANGUAGE sql IMMUTABLE AS $$
    SELECT '<table' || htf.more(cborder) || htf.attr('align', calign) || htf.flag('nowrap', cnowrap)
        || htf.attr('clear', cclear) || htf.more(cattributes) || '>'
$$;
CREATE FUNCTION htf.tableclose() RETURNS text LANGUAGE sql IMMUTABLE AS $$ SELECT '</table>' $$;

CREATE FUNCTION htf.tablecaption(ccaption anycompatible, calign text DEFAULT NULL,
                                 cattributes text DEFAULT NULL)
RETURNS text LANGUAGE sql IMMUTABLE AS $$
    SELECT '<caption' || htf.attr('align', calign) || htf.more(cattributes) || '>'
        || coalesce(ccaption::text, '') || '</caption>'
$$;

CREATE FUNCTION htf.tablerowopen(calign text DEFAULT NULL, cvalign text DEFAULT NULL,
                                 cdp text DEFAULT NULL, cnowrap text DEFAULT NULL,
                                 cattributes text DEFAULT NULL)
RETURNS text LANGUAGE sql IMMUTABLE AS $$
    SELECT '<tr' || htf.attr('align', calign) || htf.attr('valign', cvalign) || htf.attr('dp', cdp)
        || htf.flag('nowrap', cnowrap) || htf.more(cattributes) || '>'
$$;
CREATE FUNCTION htf.tablerowclose() RETURNS text LANGUAGE sql IMMUTABLE AS $$ SELECT '</tr>' $$;

-- <tag attributes>value</tag> of a cell.
CREATE FUNCTION htf.tablecell(tag text, cvalue text, calign text, cdp text, cnowrap text,
                              crowspan integer, ccolspan integer, cattributes text)
RETURNS text LANGUAGE sql IMMUTABLE AS $$
    SELECT '<' || tag || htf.attr('align', calign) || htf.attr('dp', cdp) || htf.flag('nowrap', cnowrap)
        || htf.attr('rowspan', crowspan::text) || htf.attr('colspan', ccolspan::text)
        || htf.more(cattributes) || '>' || coalesce(cvalue, '') || '</' || tag || '>'
$$;

CREATE FUNCTION htf.tableheader(cvalue anycompatible DEFAULT NULL, calign text DEFAULT NULL,
                                cdp text DEFAULT NULL, cnowrap text DEFAULT NULL,
                                crowspan integer DEFAULT NULL, ccolspan integer DEFAULT NULL,
                                cattributes text DEFAULT NULL)
RETURNS text LANGUAGE sql IMMUTABLE AS $$
    SELECT htf.tablecell('th', cvalue::text, calign, cdp, cnowrap, crowspan, ccolspan, cattributes)
$$;

CREATE FUNCTION htf.tabledata(cvalue anycompatible DEFAULT NULL, calign text DEFAULT NULL,
                              cdp text DEFAULT NULL, cnowrap text DEFAULT NULL,
                              crowspan integer DEFAULT NULL, ccolspan integer DEFAULT NULL,
                              cattributes text DEFAULT NULL)
RETURNS text LANGUAGE sql IMMUTABLE AS $$
    SELECT htf.tablecell('td', cvalue::text, calign, cdp, cnowrap, crowspan, ccolspan, cattributes)
$$;
