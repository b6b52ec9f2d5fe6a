#!/usr/bin/env bash
# install_test.sh - cmake --install into a temporary prefix, moved elsewhere
# afterwards, then a service of its own served from the installed files
# only: kestrel-toolkit installs the toolkit, the example hello.sql and
# kestrel.app make the service, lighttpd runs the installed kestrel with the
# example lighttpd-cgi.conf on HTTP_PORT and kestrel-fcgi with the example
# lighttpd-fastcgi.conf on HTTP_PORT + 1.
# usage: install_test.sh BUILD_DIR HTTP_PORT PG_PORT   (run by ctest, fixture "pg")
set -uo pipefail
[ $# -eq 3 ] || { sed -n '2,9p' "$0" >&2; exit 2; }
build=$1 http_port=$2 pg_port=$3
db=kestrel_install owner=install_shop password=install-pw
# The cluster's administrator logs on with the password pg_cluster keeps.
export PGPASSFILE=/tmp/kestrel-pg-$pg_port.pgpass
work=$(mktemp -d)
chmod 755 "$work"
prefix=$work/moved
examples=$prefix/share/doc/kestrel/examples
trap 'lighttpd_stop; rm -rf "$work"' EXIT

passed=0
failed=0
ok() { passed=$((passed + 1)); }
fail() {
    failed=$((failed + 1))
    echo "FAIL $*"
}
lighttpd_stop() {
    local pidfile
    for pidfile in "$work"/lighttpd-*.pid; do
        [ -f "$pidfile" ] && kill "$(cat "$pidfile")" 2>/dev/null
    done
    return 0
}
admin() {
    PGOPTIONS="-c client_min_messages=warning" psql -X -q -v ON_ERROR_STOP=1 \
        -h "/tmp/kestrel-pg-$pg_port" -p "$pg_port" -U postgres "$@"
}

cmake --install "$build" --prefix "$work/staged" >/dev/null || { echo "install failed"; exit 1; }
mv "$work/staged" "$prefix"
for file in bin/kestrel bin/kestrel-fcgi bin/kestrel-passwd bin/kestrel-toolkit \
    share/kestrel/sql/01_schemas.sql share/kestrel/sql/20_timing_report.sql \
    share/doc/kestrel/README.md share/doc/kestrel/deploy.md share/doc/kestrel/toolkit.md \
    share/doc/kestrel/examples/kestrel.app share/doc/kestrel/examples/kestrel-fcgi.service \
    share/doc/kestrel/examples/apache-cgi.conf share/doc/kestrel/examples/nginx-fastcgi.conf; do
    [ -s "$prefix/$file" ] && ok || fail "not installed: $file"
done
for program in kestrel kestrel-fcgi kestrel-passwd kestrel-toolkit; do
    [ -x "$prefix/bin/$program" ] && ok || fail "not executable: $program"
done

admin -d postgres <<SQL >/dev/null
select pg_terminate_backend(pid) from pg_stat_activity where datname = '$db';
drop database if exists $db;
do \$\$ begin
    if not exists (select 1 from pg_roles where rolname = '$owner') then
        create role $owner login;
    end if;
end \$\$;
alter role $owner password '$password';
create database $db;
SQL
conninfo="host=/tmp/kestrel-pg-$pg_port port=$pg_port dbname=$db user=postgres"
# The installed installer, with no hint where the source tree is.
(cd / && env -u KESTREL_SQL_DIR "$prefix/bin/kestrel-toolkit" install "$conninfo") && ok ||
    fail "kestrel-toolkit install"
"$prefix/bin/kestrel-toolkit" service "$conninfo" "$owner" && ok || fail "kestrel-toolkit service"
admin -d "$db" -c "set role $owner" -f "$examples/hello.sql" >/dev/null && ok ||
    fail "hello.sql"

mkdir -p "$work/log" "$work/htdocs"
sed -e "s#owa_user=demo#owa_user=$owner#" -e "s#owa_password=demo-pw#owa_password=$password#" \
    -e "s#host=/var/run/postgresql dbname=kestrel_demo#host=/tmp/kestrel-pg-$pg_port port=$pg_port dbname=$db#" \
    -e "s#/var/log/kestrel#$work/log#" -e "s#demo\.timing#$owner.timing#" \
    "$examples/kestrel.app" >"$work/kestrel.app"
# serve NAME PORT: lighttpd on PORT with the installed example NAME.conf.
serve() {
    local name=$1 port=$2
    sed -e "s#/usr/local/bin/#$prefix/bin/#" -e "s#/etc/kestrel/kestrel.app#$work/kestrel.app#" \
        -e "s#/run/kestrel/#$work/#" "$examples/$name.conf" >"$work/$name.conf"
    cat >"$work/lighttpd-$name.conf" <<CONF
server.bind = "127.0.0.1"
server.port = $port
server.document-root = "$work/htdocs"
server.pid-file = "$work/$name.pid"
server.errorlog = "$work/log/$name.log"
include "$work/$name.conf"
CONF
    lighttpd -f "$work/lighttpd-$name.conf" || { fail "lighttpd with $name.conf"; return; }
    for _ in $(seq 100); do
        curl -s -o /dev/null "http://127.0.0.1:$port/" && break
        sleep 0.05
    done
    local page
    page=$(curl -s --max-time 20 "http://127.0.0.1:$port/demo/owa/hello?name=Ada")
    [[ $page == *"<h1>Hello, Ada</h1>"* ]] && ok || fail "$name: hello page: $page"
    page=$(curl -s --max-time 20 "http://127.0.0.1:$port/demo/owa/hello?name=%3Cb%3E")
    [[ $page == *"Hello, &lt;b&gt;"* ]] && ok || fail "$name: escaped hello page: $page"
}
serve lighttpd-cgi "$http_port"
serve lighttpd-fastcgi "$((http_port + 1))"

admin -d postgres -c "drop database $db" >/dev/null
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
