; kestrel.app - an application file for kestrel (OWS_APPFILE names it).
; Readable by the user the web server runs kestrel as, writable by nobody
; else: it holds database passwords (or {enc} values made with kestrel-passwd).
[DBAUTH]
; services that log on with the browser's Basic credentials
dbauth_services = demo_auth
; every phase of every request into demo.timing (the timing report reads it)
timing_table = demo.timing
timed_services = all

[SERVICES]
(
owa_service=demo
owa_user=demo
owa_password=demo-pw
owa_connect_string=host=/var/run/postgresql dbname=kestrel_demo
owa_log_dir=/var/log/kestrel
)
(
owa_service=demo_auth
owa_user=demo
owa_connect_string=host=/var/run/postgresql dbname=kestrel_demo
owa_log_dir=/var/log/kestrel
)
