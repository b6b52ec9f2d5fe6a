#!/usr/bin/env bash
# restart_test.sh - a database restart between two requests: every session
# the gateway kept is gone, and the next requests must log on again rather
# than show an error page. Restarts the test cluster, so ctest runs it alone.
# usage: restart_test.sh HTTP_PORT PG_PORT DBNAME   (KESTREL_TEST_PG_DIR: the cluster)
set -uo pipefail
[ $# -eq 3 ] && [ -n "${KESTREL_TEST_PG_DIR:-}" ] || { sed -n '2,6p' "$0" >&2; exit 2; }
http_port=$1 pg_port=$2
base=http://127.0.0.1:$http_port
pg_cluster=$(cd "$(dirname "$0")/../../scripts/lib" && pwd)/pg_cluster
passed=0
failed=0

check_hello() {
    local what=$1 body
    shift
    body=$(curl -s -g --max-time 20 -w ' status=%{http_code}' "$@")
    if [[ $body == *"Hello, "*" status=200" ]]; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAIL [$what] $(head -c 400 <<<"$body")"
    fi
}

requests() {
    local what=$1
    for _ in 1 2 3; do
        check_hello "$what" "$base/demo/owa/hello"
        check_hello "$what" "$base/demo_auth/owa/hello" -u webuser:webpass
    done
}

requests "before the restart"
"$pg_cluster" stop "$KESTREL_TEST_PG_DIR" "$pg_port" >/dev/null
"$pg_cluster" start "$KESTREL_TEST_PG_DIR" "$pg_port" >/dev/null
requests "after the restart"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
