-- 60_timing.sql - the demo's timing report page, /demo/owa/timing_report,
-- over demo.timing (the demo's application file names it as timing_table).
SELECT owa_timing.enable('demo');
