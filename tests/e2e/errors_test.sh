#!/usr/bin/env bash
# errors_test.sh - failures end to end: each status with its page, secrets
# kept out of pages and logs, the database's context, a commit refused at
# the end, a cut download and (FastCGI with the failure injector) a process
# that survives std::bad_alloc, and the roads that write or stream data with
# their Nth database call failing.
# usage: errors_test.sh HTTP_PORT PG_PORT DBNAME   (KESTREL_E2E_SITE: the site)
set -uo pipefail
[ $# -eq 3 ] && [ -n "${KESTREL_E2E_SITE:-}" ] || { sed -n '2,7p' "$0" >&2; exit 2; }
http_port=$1 pg_port=$2 db=$3
base=http://127.0.0.1:$http_port
logs=$KESTREL_E2E_SITE/log
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source "$(dirname "$0")/e2e_checks.sh"

log_has() { grep -rqF -- "$1" "$logs" && ok || fail "no log has: $1"; }
logs_lack() { ! grep -rqF -- "$1" "$logs" && ok || fail "a log has: $1"; }

current="404 for a typo, logged"
fetch "$base/demo/owa/helo_e2e_typo"
expect_status 404
expect_equal "$body" "URL Not Found"
log_has "URL Not Found: no procedure, document or file named 'helo_e2e_typo'"

current="404 for a missing document"
fetch "$base/demo/owai/no_such_e2e.txt"
expect_status 404
expect_body_has "no data found"

current="400 for a field name that is no identifier"
fetch "$base/demo/owa/sign_guestbook" --data 'mess%22age=x'
expect_status 400
expect_body_has "is not a valid argument name"

current="500 for a procedure exception"
fetch "$base/demo/owa/sign_and_fail?message=e2e-errors"
expect_status 500
expect_header_has "Content-Type: text/plain"
expect_body_has "the guestbook is closed today"

current="credentials, cookies and password fields are hidden"
fetch "$base/demo/owa/sign_in" -u e2euser:e2e-basic-pw -H 'Cookie: session=e2e-cookie-value' \
    --data 'username=ada&password=e2e-field-pw'
expect_status 500
expect_body_has "sign-in is closed for ada"
expect_body_has "HTTP_AUTHORIZATION=(hidden)"
expect_body_has "HTTP_COOKIE=(hidden)"
expect_body_has $'password:\n   (hidden)'
basic=$(printf 'e2euser:e2e-basic-pw' | base64)
for secret in "$basic" e2e-basic-pw e2e-cookie-value e2e-field-pw; do
    expect_body_lacks "$secret"
    logs_lack "$secret"
done
log_has "sign-in is closed for ada"

current="the context of a failure three calls deep"
fetch "$base/demo/owa/price_order?quantity=abc"
expect_status 500
expect_body_has "(SQLSTATE 22P02)"
expect_body_has "CONTEXT:  PL/pgSQL function parse_quantity(text) line 3 at RETURN"
expect_body_has "PL/pgSQL function price_line(text) line 3 at RETURN"
expect_body_lacks "VARIABLES IN FORM NOT IN PROCEDURE"
log_has "PL/pgSQL function parse_quantity(text) line 3 at RETURN"

current="a missing routine inside the procedure is no form mismatch"
fetch "$base/demo/owa/call_missing"
expect_status 500
expect_body_has "(SQLSTATE 42883)"
expect_body_has "CONTEXT:  PL/pgSQL function call_missing() line 3 at PERFORM"
expect_body_lacks "VARIABLES IN FORM NOT IN PROCEDURE"

current="a call that does not match still gets the mismatch report"
fetch "$base/demo/owa/form_echo?b=2"
expect_status 500
expect_body_has $'\nVARIABLES IN FORM NOT IN PROCEDURE: \nNON-DEFAULT VARIABLES IN PROCEDURE NOT IN FORM: a\n'

current="the commit decides"
id=$(( ($$ % 100000) + 1000 ))
fetch "$base/demo/owa/save_order?id=$id&customer=99"
expect_status 500
expect_body_lacks "saved"
expect_body_has "violates foreign key constraint"
expect_equal "$(sql "select count(*) from demo.orders where id = $id")" 0
log_has "violates foreign key constraint"
fetch "$base/demo/owa/save_order?id=$((id + 1))&customer=1"
expect_status 200
expect_body_has "Order $((id + 1)) saved."
expect_equal "$(sql "select count(*) from demo.orders where id = $((id + 1))")" 1

current="a download cut in the middle is short for the client"
# A 64 MiB file behind a row (served by tracker, from its filedir), read
# slowly; it shrinks while it is sent.
big=$KESTREL_E2E_SITE/files/cut-e2e.bin
truncate -s 64M "$big"
sql "insert into demo.image (name, mime_type, img_size, image)
     values ('e2e-cut.bin', 'application/octet-stream', -1, convert_to('$big', 'UTF8'))
     on conflict (name) do update set img_size = -1, image = excluded.image" >/dev/null
curl -s --limit-rate 2M --max-time 60 -D "$work/cut_headers" -o "$work/cut_body" \
    "$base/tracker/owai/e2e-cut.bin" &
reader=$!
sleep 1
truncate -s 0 "$big"
wait "$reader"
expect_equal "$?" 18 # curl: the transfer ended before the announced length
headers=$(tr -d '\r' <"$work/cut_headers")
expect_header_has "Content-Length: 67108864"
received=$(stat -c %s "$work/cut_body")
[ "$received" -lt 67108864 ] && ok || fail "received all $received bytes"
log_has "changed while it was sent"
rm -f "$big"

if [ "${KESTREL_E2E_MODE:-}" = fastcgi ] && [ -n "${KESTREL_E2E_FAULT_SHIM:-}" ]; then
    current="a FastCGI process survives std::bad_alloc"
    shim=${KESTREL_E2E_FAULT_SHIM#*=}
    program=$(cd "$(dirname "$shim")/../.." && pwd)/src/kestrel-fcgi
    pids=$(pgrep -f -x -- "$program" | sort | tr '\n' ' ')
    fetch "$base/demo/owa/kestrel_fault_bad_alloc"
    expect_status 500
    expect_body_has "Unexpected failure: std::bad_alloc"
    for _ in 1 2 3 4; do
        fetch "$base/demo/owa/hello"
        expect_status 200
    done
    expect_equal "$(pgrep -f -x -- "$program" | sort | tr '\n' ' ')" "$pids"
    log_has "Unexpected failure: std::bad_alloc"

    # For N = 1, 2, ... the Nth statement (or piece of COPY data) of a
    # request fails, until a request runs to its end untouched. A failure
    # may end the request or be one the request gets over (its timing log);
    # either way an upload's row stays exactly when the page says it is
    # stored, and the kept sessions serve the next requests, whichever
    # process takes them, without committing anything half-done.
    countdown=$KESTREL_E2E_SITE/conf/kestrel_fault_at
    head -c 4321 /dev/urandom >"$work/small.bin"
    documents() { sql "select count(*) from demo.wwv_document where doc_size = 4321"; }
    for road in upload download include; do
        current="the Nth database call of the $road road fails"
        untouched=no
        for n in $(seq 80); do
            before=$(documents)
            echo "$n" >"$countdown"
            case $road in
            upload) fetch "$base/demo/owa/upload_received" -F title=fault -F "first=@$work/small.bin" ;;
            download) fetch "$base/demo/owai/welcome.txt" ;;
            include) fetch "$base/demo/owa/docs/include.html?name=Ada" ;;
            esac
            if [ -f "$countdown" ]; then
                untouched=yes
                rm -f "$countdown"
                expect_status 200
            fi
            want=$before
            [ "$road" = upload ] && [ "$status" = 200 ] && [[ $body == *", 4321 bytes"* ]] &&
                want=$((before + 1))
            for _ in 1 2 3; do
                fetch "$base/demo/owa/hello"
                expect_body_has "Hello, world"
            done
            expect_equal "N=$n: $(documents) documents" "N=$n: $want documents"
            [ "$untouched" = no ] || break
        done
        expect_equal "$road ran untouched: $untouched" "$road ran untouched: yes"
    done
fi

finish
