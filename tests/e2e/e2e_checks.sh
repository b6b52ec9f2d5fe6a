# e2e_checks.sh - what every end-to-end suite checks with: one request
# (fetch), one query (sql), a pass or a failure with its context, and the
# expect_* checks. Sourced by the suites after they set work (a scratch
# directory), pg_port and db; a suite ends with finish.
# shellcheck shell=bash

passed=0
failed=0
current=

begin_case() { current=$1; }

# fetch URL [curl options...]: status, headers, body (also in $work/body,
# NUL bytes dropped from $body) and curl's exit code of one request.
fetch() {
    local url=$1
    : >"$work/body"  # a body-less answer leaves no file of its own
    shift
    status=$(curl -s -g --max-time 20 -D "$work/headers" -o "$work/body" -w '%{http_code}' \
        "$@" "$url")
    curl_rc=$?
    headers=$(tr -d '\r' <"$work/headers")
    body=$(tr -d '\0' <"$work/body")
}

# sql TEXT: the rows of one statement in the suite's database, unaligned.
sql() {
    PGOPTIONS="-c client_min_messages=warning" PGPASSFILE=/tmp/kestrel-pg-$pg_port.pgpass psql -X -q -t -A -v ON_ERROR_STOP=1 \
        -h "/tmp/kestrel-pg-$pg_port" -p "$pg_port" -U postgres -d "$db" -c "$1"
}

ok() { passed=$((passed + 1)); }
fail() {
    failed=$((failed + 1))
    echo "FAIL [$current] $*"
    echo "  status: $status"
    echo "  body (first lines):"
    head -c 800 "$work/body" | tr -d '\0' | sed 's/^/    /'
    echo
}

expect_status() { [ "$status" = "$1" ] && ok || fail "status $status, expected $1"; }
expect_body_has() { [[ $body == *"$1"* ]] && ok || fail "body lacks: $1"; }
expect_body_lacks() { [[ $body != *"$1"* ]] && ok || fail "body has: $1"; }
expect_header_has() { [[ ${headers,,} == *"${1,,}"* ]] && ok || fail "headers lack: $1"; }
expect_header_lacks() { [[ ${headers,,} != *"${1,,}"* ]] && ok || fail "headers have: $1"; }
expect_equal() { [ "$1" = "$2" ] && ok || fail "got '$1', expected '$2'"; }

# The suite's verdict: the count line, and success only without a failure.
finish() {
    echo "$passed passed, $failed failed"
    [ "$failed" -eq 0 ]
}
