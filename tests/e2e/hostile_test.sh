#!/usr/bin/env bash
# hostile_test.sh - hostile requests against the demo site: logons that must
# be refused, headers a page must not forge, paths and names that must not
# reach more than the site meant.
# usage: hostile_test.sh HTTP_PORT PG_PORT DBNAME   (run by ctest, fixture "web")
set -uo pipefail
[ $# -eq 3 ] || { sed -n '2,5p' "$0" >&2; exit 2; }
http_port=$1 pg_port=$2 db=$3
base=http://127.0.0.1:$http_port
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source "$(dirname "$0")/e2e_checks.sh"
# The fixture's site directory, beside the cluster in the build tree.
site=$(dirname "$KESTREL_TEST_PG_DIR")/tests/e2e/site
[ "${KESTREL_E2E_MODE:-cgi}" = cgi ] || site=$site-fastcgi

# ---- who may log on --------------------------------------------------------

# A role with a password but outside demo_web, created once for the cluster.
sql "do \$\$ begin
  if not exists (select 1 from pg_roles where rolname = 'kestrel_outsider') then
    create role kestrel_outsider login password 'outpw';
  end if; end \$\$" >/dev/null 2>&1

begin_case "browser logons: superuser and non-members refused, members served"
while read -r credentials want; do
    fetch "$base/demo_auth/owa/hello" -u "$credentials"
    expect_status "$want"
    [ "$want" = 401 ] && expect_body_lacks "Hello"
done <<'CASES'
postgres:anything 401
postgres: 401
Postgres:anything 401
kestrel_outsider:outpw 401
webuser:webpass 200
CASES

begin_case "the cluster checks the superuser's password on the socket web logons use"
for password in "" anything; do
    PGPASSWORD=$password psql -X -w -h "/tmp/kestrel-pg-$pg_port" -p "$pg_port" -U postgres \
        -d "$db" -c "select 1" >/dev/null 2>&1
    expect_equal "postgres with password '$password': $?" "postgres with password '$password': 2"
done

# ---- headers a page writes ------------------------------------------------

sql "create or replace procedure demo.kestrel_go(u text) language plpgsql as \$\$
     begin perform owa_util.redirect_url(u); end \$\$;
     create or replace procedure demo.kestrel_cookie(v text) language plpgsql as \$\$
     begin perform owa_cookie.send('k', v); perform htp.p('ok'); end \$\$;
     alter procedure demo.kestrel_go(text) owner to demo;
     alter procedure demo.kestrel_cookie(text) owner to demo" >/dev/null

begin_case "a request's CR or LF never makes a header line or a body"
fetch "$base/demo/owa/kestrel_go" --data 'u=http://x/%0D%0ASet-Cookie: evil=1%0D%0A%0D%0A<script>'
expect_header_lacks "evil=1"
# The error report repeats the value, as plain text: never a page of its.
expect_header_has "Content-Type: text/plain"
expect_body_has "owa_util.redirect_url"
fetch "$base/demo/owa/kestrel_cookie" --data 'v=1%0AX-Evil: 1'
expect_header_lacks "X-Evil"
expect_body_has "owa_cookie.send"
fetch "$base/demo/owa/kestrel_go" --data 'u=http://example.org/'
expect_header_has "Location: http://example.org/"

# ---- what a URL can reach --------------------------------------------------

# Routines the demo's role may execute but that are no pages of the site:
# anything in public (EXECUTE goes to PUBLIC by default) or another schema.
sql "create table if not exists public.kestrel_pwned (what text);
     grant insert on public.kestrel_pwned to public;
     create schema if not exists kestrel_other;
     grant usage on schema kestrel_other to public;
     create or replace procedure public.pwn_public() language sql
         as \$\$ insert into public.kestrel_pwned values ('public') \$\$;
     create or replace procedure public.\"select\"() language sql
         as \$\$ insert into public.kestrel_pwned values ('select') \$\$;
     create or replace procedure kestrel_other.x() language sql
         as \$\$ insert into public.kestrel_pwned values ('other') \$\$;
     create or replace function demo.kestrel_fn() returns void language sql
         as \$\$ insert into public.kestrel_pwned values ('function') \$\$;
     truncate public.kestrel_pwned" >/dev/null

begin_case "only the service's exposed schemas are reachable"
for path in /demo/owa/pwn_public /demo/owa/public.pwn_public /demo/owa/kestrel_other.x \
    /demo/owa/select /demo/owa/htp.p /demo_auth/owa/pwn_public /tracker/owa/demo.hello \
    /demo/owa/kestrel_fn /demo/owa/demo.kestrel_fn; do
    fetch "$base$path?cbuf=x" -u webuser:webpass
    expect_body_lacks "Hello, world"
done
expect_equal "$(sql "select count(*) from public.kestrel_pwned")" 0
fetch "$base/demo/owa/hello"
expect_body_has "Hello, world"
fetch "$base/demo_auth/owa/hello" -u webuser:webpass
expect_body_has "Hello, webuser"

# ---- URLs are decoded once, by the web server ------------------------------

begin_case "an encoded escape or query mark names no other page or document"
for path in "/demo/owa/h%2565llo" "/demo/owa/hello%3Fx" "/demo/owa/hello%253F"; do
    fetch "$base$path"
    expect_body_lacks "Hello, world"
done
fetch "$base/demo/owai/welcome%252Etxt"
expect_body_has "no data found"

# ---- rows of the document table that name a file ---------------------------

begin_case "a stored path outside the service's filedir is refused"
ln -sfn "$site/conf/kestrel.app" "$site/files/link.txt"
for target in "$site/conf/kestrel.app" "$site/files/../conf/kestrel.app" "$site/files/link.txt"; do
    sql "insert into demo.image (name, mime_type, img_size, image)
         values ('pwn.txt', 'text/plain', -1, convert_to('$target', 'UTF8'))
         on conflict (name) do update set image = excluded.image, img_size = -1" >/dev/null
    fetch "$base/tracker/owai/pwn.txt"
    expect_body_lacks "owa_password"
    expect_body_has "is not inside tracker_filedir"
done
sql "delete from demo.image where name = 'pwn.txt'" >/dev/null
rm -f "$site/files/link.txt"

# ---- bodies and limits -----------------------------------------------------


begin_case "a chunked form reaches the procedure whole"
fetch "$base/demo/owa/form_echo" -H "Transfer-Encoding: chunked" --data-binary 'a=x&b=y&b=z'
expect_body_has "<li>a = x</li>"
expect_body_has "<li>b = [y, z]</li>"

begin_case "too many fields, too many file parts, too large a form"
seq 10001 | sed 's/^/a=/' | paste -sd '&' >"$work/fields"
fetch "$base/demo/owa/form_echo" --data-binary "@$work/fields"
expect_status 413
expect_body_has "Too many form fields: more than 10000"
# Other suites store documents in the same database meanwhile: count this
# body's only.
documents() { sql "select count(*) from demo.wwv_document where doc_size = $(wc -c <"$work/fields")"; }
before=$(documents)
parts=()
for i in $(seq 101); do parts+=(-F "f=@$work/fields;filename=f$i.txt"); done
fetch "$base/demo/owa/form_echo" "${parts[@]}"
expect_status 413
expect_body_has "Too many file parts: 101, at most 100 allowed"
expect_equal "$(documents)" "$before"
# 95 kB: one long value among 9,997 empty ones of the same name, which
# alike would have asked for 640 MB.
{
    head -c 65533 /dev/zero | tr '\0' x | sed 's/^/a=1\&b=/'
    seq 9997 | sed 's/.*/\&b=/' | tr -d '\n'
} >"$work/skewed"
fetch "$base/demo/owa/form_echo" --data-binary "@$work/skewed"
expect_status 413
expect_body_has "Form field 'b' has 9998 values of up to 65533 bytes"
head -c $((12 * 1024 * 1024 + 1)) /dev/zero | tr '\0' a >"$work/big"
fetch "$base/demo/owa/form_echo" --data-binary "@$work/big"
expect_status 413
expect_body_has "exceeds the limit of 12582912 bytes"

# ---- timeouts --------------------------------------------------------------

begin_case "a statement that runs too long is cancelled"
sql "create or replace procedure demo.kestrel_sleepy() language sql as \$\$ select pg_sleep(30) \$\$;
     alter procedure demo.kestrel_sleepy() owner to demo" >/dev/null
fetch "$base/demo/owa/kestrel_sleepy"
expect_body_has "statement timeout"
fetch "$base/demo/owa/hello"
expect_body_has "Hello, world"

begin_case "a client that gives up stops its statement"
# lighttpd closes the FastCGI connection of a request whose client has gone;
# a CGI process is ended by the web server instead.
if [ "${KESTREL_E2E_MODE:-cgi}" = fastcgi ]; then
    sql "create or replace procedure tracker.kestrel_slow() language sql
             as \$\$ select pg_sleep(60) \$\$;
         alter procedure tracker.kestrel_slow() owner to demo" >/dev/null
    sleeping() { sql "select count(*) from pg_stat_activity where query like '%kestrel_slow%'
                      and state = 'active' and pid <> pg_backend_pid()"; }
    # Both processes of the site, each abandoned after a second.
    curl -s --max-time 1 "$base/tracker/owa/kestrel_slow" >/dev/null &
    curl -s --max-time 1 "$base/tracker/owa/kestrel_slow" >/dev/null &
    wait
    for _ in $(seq 50); do
        [ "$(sleeping)" = 0 ] && break
        sleep 0.1
    done
    expect_equal "$(sleeping)" 0
    fetch "$base/demo/owa/hello"
    expect_body_has "Hello, world"
fi

# ---- the demo --------------------------------------------------------------

begin_case "the pre-action guards every service"
for service in demo demo_auth; do
    fetch "$base/$service/owa/private_notes" -u webuser:webpass
    expect_status 403
    expect_body_lacks "secret"
done

begin_case "the application file is private"
expect_equal "$(stat -c %a "$site/conf/kestrel.app")" 600

finish
