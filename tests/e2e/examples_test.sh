#!/usr/bin/env bash
# examples_test.sh - the reference application (sql/examples, service
# "tracker") end to end: each page's body must equal its expected file in
# sql/examples/expected byte for byte; nothing is normalised (the seed data
# and the pages use fixed dates). Also the POST handler's redirect.
# usage: examples_test.sh HTTP_PORT PG_PORT DBNAME   (run by ctest, fixture "web")
#        KESTREL_EXAMPLES_WRITE=1 examples_test.sh ...  rewrites the expected files
set -uo pipefail
[ $# -eq 3 ] || { sed -n '2,7p' "$0" >&2; exit 2; }
http_port=$1 pg_port=$2 db=$3
base=http://127.0.0.1:$http_port/tracker/owa
expected=$(cd "$(dirname "$0")/../../sql/examples/expected" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0

sql() {
    PGPASSFILE=/tmp/kestrel-pg-$pg_port.pgpass psql -X -q -t -A -h "/tmp/kestrel-pg-$pg_port" -p "$pg_port" -U postgres -d "$db" -c "$1"
}

# page NAME STATUS PATH [curl options...]: the body of PATH against NAME.html.
page() {
    local name=$1 want=$2 path=$3
    shift 3
    local status
    status=$(curl -s -g --max-time 20 -o "$work/$name.html" -w '%{http_code}' "$@" "$base/$path")
    if [ "$status" != "$want" ]; then
        echo "FAIL [$name] status $status, expected $want"
        failed=$((failed + 1))
    fi
    if [ -n "${KESTREL_EXAMPLES_WRITE:-}" ]; then
        cp "$work/$name.html" "$expected/$name.html"
    elif ! cmp -s "$work/$name.html" "$expected/$name.html"; then
        echo "FAIL [$name] body differs from sql/examples/expected/$name.html:"
        diff "$expected/$name.html" "$work/$name.html" | head -20
        failed=$((failed + 1))
    fi
}

page task_list 200 "tracker.task_list"
page task_list_due_page2 200 "tracker.task_list?p_sort=due&p_page=2"
page task_list_bad_sort 200 "tracker.task_list?p_sort=id;drop%20table%20x&p_page=9"
page task_view 200 "tracker.task_view?p_id=2"
page task_view_missing 404 "tracker.task_view?p_id=99"
page task_form 200 "tracker.task_form"
page prefs 200 "tracker.prefs" -H "Cookie: theme=blue; other=1; theme=dark%20mode"
page prefs_set 200 "tracker.prefs?p_theme=a%20b"
page flexible 200 "!tracker.search?b=2&a=1&weird.name=%3Cx%3E&a=3"
page alias 200 "tasks/2"
page alias_text 200 "tasks/3?format=text"
page alias_bad 404 "tasks/x%3Cy"

# The preference cookie goes out as a header line of the page.
cookie=$(curl -s --max-time 20 -D - -o /dev/null "$base/tracker.prefs?p_theme=a%20b" | tr -d '\r' |
    grep -i '^Set-Cookie:')
if [ "$cookie" != "Set-Cookie: theme=a%20b; path=/tracker" ]; then
    echo "FAIL [prefs_set] cookie header '$cookie'"
    failed=$((failed + 1))
fi

# The create form posted: a redirect to the list, the task stored with its
# date from the three selects.
location=$(curl -s --max-time 20 -o /dev/null -w '%{http_code} %{redirect_url}' \
    --data 'p_title=Ported+%3Ctask%3E&p_owner=bob&p_priority=2&p_due=24&p_due=DEC&p_due=2026&p_urgent=yes' \
    "$base/tracker.task_save")
stored=$(sql "select owner || priority || due from tracker.tasks where title = 'Ported <task>'")
sql "delete from tracker.tasks where title = 'Ported <task>'" >/dev/null
if [ "$location" != "302 $base/tracker.task_list?p_sort=id" ] || [ "$stored" != "bob12026-12-24" ]; then
    echo "FAIL [task_save] got '$location' and '$stored'"
    failed=$((failed + 1))
fi

[ "$failed" -eq 0 ] && echo "examples: all pages as expected" && exit 0
echo "examples: $failed failure(s)"
exit 1
