#!/usr/bin/env bash
# reuse_test.sh - what one request may leave to the next when the gateway
# keeps its database session (FastCGI with reuse_connection), checked in
# either mode: no session state after a failed procedure, no session of
# another service or other credentials, a fresh logon after the server ended
# the session. KESTREL_E2E_MODE=fastcgi also asks that sessions were kept.
# usage: reuse_test.sh HTTP_PORT PG_PORT DBNAME   (run by ctest, fixture "web" or "web_fastcgi")
set -uo pipefail
[ $# -eq 3 ] || { sed -n '2,8p' "$0" >&2; exit 2; }
http_port=$1 pg_port=$2 db=$3
mode=${KESTREL_E2E_MODE:-cgi}
base=http://127.0.0.1:$http_port
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source "$(dirname "$0")/e2e_checks.sh"

# The probe page: its backend, its user and the state a request could leave.
field() { sed -n "s/.*\\b$1=\\([^ <]*\\).*/\\1/p" <<<"$body" | head -1; }

# Pages of this test: leak sets state that a rollback does not undo and
# fails; its backend goes into a sequence, which no rollback undoes either.
sql "drop schema if exists e2e_reuse cascade; drop procedure if exists demo.e2e_reuse_leak(), demo.e2e_reuse_probe()" >/dev/null
sql "
create schema e2e_reuse;
create sequence e2e_reuse.leak_pid;
create procedure demo.e2e_reuse_leak() language plpgsql as \$\$
begin
    perform setval('e2e_reuse.leak_pid', pg_backend_pid());
    perform set_config('app.leak', 'left-over', false);
    perform pg_advisory_lock(4242);
    perform htp.print('half a page');
    raise exception 'failed on purpose';
end \$\$;
create procedure demo.e2e_reuse_probe() language plpgsql as \$\$
begin
    perform htp.print('backend=' || pg_backend_pid() || ' user=' || session_user
        || ' leak=' || coalesce(nullif(current_setting('app.leak', true), ''), 'none')
        || ' locks=' || (select count(*) from pg_locks
                         where locktype = 'advisory' and pid = pg_backend_pid()));
end \$\$;
grant usage on schema e2e_reuse to public;
grant usage, update on sequence e2e_reuse.leak_pid to public;
grant execute on procedure demo.e2e_reuse_leak(), demo.e2e_reuse_probe() to public;" >/dev/null

begin_case "a failed procedure leaves no session state"
same_session=0
for _ in 1 2 3 4 5 6; do
    fetch "$base/demo/owa/demo.e2e_reuse_leak"
    expect_body_has "failed on purpose"
    fetch "$base/demo/owa/demo.e2e_reuse_probe"
    expect_status 200
    expect_body_has "leak=none locks=0"
    [ "$(field backend)" = "$(sql "select last_value from e2e_reuse.leak_pid")" ] &&
        same_session=$((same_session + 1))
done
if [ "$mode" = fastcgi ]; then
    [ "$same_session" -gt 0 ] && ok || fail "no probe ran in the failed request's session"
fi

begin_case "another service or other credentials never get the session"
for _ in 1 2; do
    fetch "$base/demo_auth/owa/demo.e2e_reuse_probe" -u webuser:webpass
    expect_status 200
    expect_body_has "user=webuser "
    fetch "$base/demo/owa/demo.e2e_reuse_probe"
    expect_body_has "user=demo "
    fetch "$base/demo_auth/owa/demo.e2e_reuse_probe" -u webuser:webpass
    expect_body_has "user=webuser "
    # The right user with the password in another case is refused, even
    # right after that user's request.
    fetch "$base/demo_auth/owa/demo.e2e_reuse_probe" -u webuser:WEBPASS
    expect_status 401
done

begin_case "a session ended by the server costs a fresh logon, not an error"
fetch "$base/demo/owa/demo.e2e_reuse_probe"
before=$(field backend)
sql "select pg_terminate_backend(pid) from pg_stat_activity
     where datname = current_database() and application_name = 'kestrel'" >/dev/null
for _ in 1 2 3 4; do
    fetch "$base/demo/owa/hello"
    expect_status 200
    expect_body_has "Hello, world"
done
fetch "$base/demo/owa/demo.e2e_reuse_probe"
[ -n "$(field backend)" ] && [ "$(field backend)" != "$before" ] && ok ||
    fail "backend $(field backend) after $before was ended"
if [ "$mode" = fastcgi ]; then
    # At most two processes serve a site, and a web server may hand
    # consecutive requests to either: of three, two share a kept session.
    seen=
    for _ in 1 2 3; do
        fetch "$base/demo/owa/demo.e2e_reuse_probe"
        seen+="$(field backend)"$'\n'
    done
    [ "$(sort <<<"$seen" | uniq -d | grep -c .)" -ge 1 ] && ok || fail "the fresh session was not kept"
fi

sql "drop schema e2e_reuse cascade; drop procedure demo.e2e_reuse_leak(), demo.e2e_reuse_probe()" >/dev/null
finish
