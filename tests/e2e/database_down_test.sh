#!/usr/bin/env bash
# database_down_test.sh - a stopped database answers 503 with Retry-After and
# the logon's own reason, logged once per request; once it is back, pages
# are served again. Stops the test cluster, so ctest runs it alone.
# usage: database_down_test.sh HTTP_PORT PG_PORT DBNAME
#        (KESTREL_TEST_PG_DIR: the cluster, KESTREL_E2E_SITE: the site)
set -uo pipefail
[ $# -eq 3 ] && [ -n "${KESTREL_TEST_PG_DIR:-}" ] && [ -n "${KESTREL_E2E_SITE:-}" ] ||
    { sed -n '2,7p' "$0" >&2; exit 2; }
http_port=$1 pg_port=$2
base=http://127.0.0.1:$http_port
pg_cluster=$(cd "$(dirname "$0")/../../scripts/lib" && pwd)/pg_cluster
log=$KESTREL_E2E_SITE/log/demo.err
work=$(mktemp -d)
passed=0
failed=0

restart_cluster() { "$pg_cluster" start "$KESTREL_TEST_PG_DIR" "$pg_port" >/dev/null; }
trap 'restart_cluster; rm -rf "$work"' EXIT

check() {
    if eval "$2"; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAIL [$1] status=$status"
        head -c 600 "$work/body"
        echo
    fi
}

fetch() {
    status=$(curl -s -g --max-time 20 -D "$work/headers" -o "$work/body" -w '%{http_code}' "$1")
    headers=$(tr -d '\r' <"$work/headers")
    body=$(cat "$work/body")
}

logged() { grep -c "^Unable to Logon For This Service$" "$log" 2>/dev/null; }

"$pg_cluster" stop "$KESTREL_TEST_PG_DIR" "$pg_port" >/dev/null
before=$(logged)
for _ in 1 2 3; do
    fetch "$base/demo/owa/hello"
    check "503 while stopped" '[ "$status" = 503 ]'
    check "Retry-After" '[[ $headers == *"Retry-After: 30"* ]]'
    check "page text" '[[ $body == *"Unable to Logon For This Service"* ]]'
done
check "one log entry per failure" '[ "$(logged)" = "$((before + 3))" ]'
check "the database's reason is logged" 'grep -q "kestrel-pg-$pg_port" "$log"'

restart_cluster
fetch "$base/demo/owa/hello"
check "served again" '[ "$status" = 200 ] && [[ $body == *"Hello, "* ]]'

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
