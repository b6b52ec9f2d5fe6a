-- 20_timing_report.sql - the timing report page: per-phase latency
-- percentiles of a service's timing table over a time window, with an inline
-- SVG bar chart. A page only for services that enable it:
--
--   SELECT owa_timing.enable('shop');   -- creates shop.timing_report
--
-- which serves /shop/owa/timing_report?from_time=...&to_time=... The toolkit
-- routine itself is no page (the gateway excludes owa_timing.).
CREATE SCHEMA IF NOT EXISTS owa_timing;
GRANT USAGE ON SCHEMA owa_timing TO PUBLIC;

-- One row per phase (the msg column) within [window_start, window_end):
-- durations in milliseconds, the clock wrapping at 2^32 hundredths.
CREATE OR REPLACE FUNCTION owa_timing.phase_stats(timing_table regclass,
                                                  window_start timestamptz,
                                                  window_end timestamptz)
RETURNS TABLE (phase text, requests bigint, p50 numeric, p90 numeric, p99 numeric, worst numeric)
LANGUAGE plpgsql STABLE AS $$
BEGIN
    RETURN QUERY EXECUTE format(
        'WITH d AS (
             SELECT msg, ((stop_hsecs - start_hsecs + 4294967296) %% 4294967296) * 10 AS ms
               FROM %s
              WHERE logged_at >= $1 AND logged_at < $2 AND msg IS NOT NULL)
         SELECT msg, count(*),
                round(percentile_cont(0.50) WITHIN GROUP (ORDER BY ms)::numeric, 1),
                round(percentile_cont(0.90) WITHIN GROUP (ORDER BY ms)::numeric, 1),
                round(percentile_cont(0.99) WITHIN GROUP (ORDER BY ms)::numeric, 1),
                max(ms)::numeric
           FROM d GROUP BY msg ORDER BY msg', timing_table)
    USING window_start, window_end;
END
$$;

-- Three bars a phase (p50, p90, p99), scaled to the largest p99.
CREATE OR REPLACE FUNCTION owa_timing.chart(timing_table regclass, window_start timestamptz,
                                            window_end timestamptz)
RETURNS text
LANGUAGE plpgsql STABLE AS $$
DECLARE
    label_width constant integer := 130;
    bar_space constant integer := 420;
    row_height constant integer := 48;
    colours constant text[] := ARRAY['#4c78a8', '#f58518', '#e45756'];
    names constant text[] := ARRAY['p50', 'p90', 'p99'];
    s record;
    top numeric;
    y integer := 28;
    svg text := '';
    bar numeric;
BEGIN
    SELECT greatest(max(p99), 1) INTO top
      FROM owa_timing.phase_stats(timing_table, window_start, window_end);
    FOR i IN 1 .. 3 LOOP
        svg := svg || format('<rect x="%s" y="6" width="10" height="10" fill="%s"/>'
                             '<text x="%s" y="15">%s</text>',
                             label_width + (i - 1) * 70, colours[i],
                             label_width + (i - 1) * 70 + 14, names[i]);
    END LOOP;
    FOR s IN SELECT * FROM owa_timing.phase_stats(timing_table, window_start, window_end) LOOP
        svg := svg || format('<text x="0" y="%s">%s</text>', y + 20, htf.escape_sc(s.phase));
        FOR i IN 1 .. 3 LOOP
            bar := CASE i WHEN 1 THEN s.p50 WHEN 2 THEN s.p90 ELSE s.p99 END;
            svg := svg || format(
                '<rect class="%s" x="%s" y="%s" width="%s" height="12" fill="%s">'
                '<title>%s %s: %s ms</title></rect>',
                names[i], label_width, y + (i - 1) * 14,
                round(greatest(bar / top * bar_space, 1), 1), colours[i],
                htf.escape_sc(s.phase), names[i], bar);
        END LOOP;
        svg := svg || format('<text x="%s" y="%s">%s ms</text>',
                             label_width + bar_space + 6, y + 38, s.p99);
        y := y + row_height;
    END LOOP;
    RETURN format('<svg xmlns="http://www.w3.org/2000/svg" width="%s" height="%s" '
                  'role="img" aria-label="latency per phase" font-family="sans-serif" '
                  'font-size="12">%s</svg>',
                  label_width + bar_space + 80, y + 4, svg);
END
$$;

-- Reads a window limit from a form: empty means the default.
CREATE OR REPLACE FUNCTION owa_timing.window_limit(value text, fallback timestamptz)
RETURNS timestamptz
LANGUAGE plpgsql STABLE AS $$
BEGIN
    IF coalesce(btrim(value), '') = '' THEN
        RETURN fallback;
    END IF;
    RETURN value::timestamptz;
END
$$;

-- The page: a window form, the percentile table and the chart. The window
-- defaults to the last 24 hours.
CREATE OR REPLACE PROCEDURE owa_timing.report(timing_table regclass, from_time text DEFAULT NULL,
                                              to_time text DEFAULT NULL)
LANGUAGE plpgsql AS $$
DECLARE
    window_end timestamptz;
    window_start timestamptz;
    s record;
    found_rows boolean := false;
BEGIN
    BEGIN
        window_end := owa_timing.window_limit(to_time, clock_timestamp());
        window_start := owa_timing.window_limit(from_time, window_end - interval '24 hours');
    EXCEPTION WHEN invalid_datetime_format OR datetime_field_overflow THEN
        PERFORM owa_util.status_line(400, 'Bad Request', false);
        PERFORM owa_util.mime_header('text/html', true);
        PERFORM htp.p('<p>Bad time window: give from_time and to_time as timestamps.</p>');
        RETURN;
    END;
    PERFORM htp.htmlopen();
    PERFORM htp.headopen();
    PERFORM htp.title('Timing report');
    PERFORM htp.headclose();
    PERFORM htp.bodyopen();
    PERFORM htp.header(1, 'Timing report');
    PERFORM htp.p(format('<p>%s, from %s to %s</p>', htf.escape_sc(timing_table::text),
                         htf.escape_sc(window_start::text), htf.escape_sc(window_end::text)));
    PERFORM htp.p(format('<form method="get" action="timing_report">from '
                         '<input name="from_time" value="%s"> to '
                         '<input name="to_time" value="%s"> <input type="submit" value="Show">'
                         '</form>', htf.escape_sc(window_start::text),
                         htf.escape_sc(window_end::text)));
    PERFORM htp.p('<table border="1"><tr><th>phase</th><th>requests</th><th>p50 ms</th>'
                  '<th>p90 ms</th><th>p99 ms</th><th>max ms</th></tr>');
    FOR s IN SELECT * FROM owa_timing.phase_stats(timing_table, window_start, window_end) LOOP
        found_rows := true;
        PERFORM htp.p(format('<tr><td>%s</td><td>%s</td><td>%s</td><td>%s</td><td>%s</td>'
                             '<td>%s</td></tr>', htf.escape_sc(s.phase), s.requests, s.p50,
                             s.p90, s.p99, s.worst));
    END LOOP;
    PERFORM htp.p('</table>');
    IF found_rows THEN
        PERFORM htp.p(owa_timing.chart(timing_table, window_start, window_end));
    ELSE
        PERFORM htp.p('<p>No timed requests in this window.</p>');
    END IF;
    PERFORM htp.bodyclose();
    PERFORM htp.htmlclose();
END
$$;

-- Enables the page for a service owner: OWNER.timing_report over
-- OWNER.timing, run with the rights of whoever calls it.
CREATE OR REPLACE FUNCTION owa_timing.enable(owner name) RETURNS void
LANGUAGE plpgsql AS $$
BEGIN
    EXECUTE format(
        'CREATE OR REPLACE PROCEDURE %I.timing_report(from_time text DEFAULT NULL, '
        'to_time text DEFAULT NULL) LANGUAGE plpgsql AS $page$ '
        'BEGIN CALL owa_timing.report(%L::regclass, from_time, to_time); END $page$',
        owner, format('%I.timing', owner));
    EXECUTE format('ALTER PROCEDURE %I.timing_report(text, text) OWNER TO %I', owner, owner);
END
$$;
REVOKE ALL ON FUNCTION owa_timing.enable(name) FROM PUBLIC;
