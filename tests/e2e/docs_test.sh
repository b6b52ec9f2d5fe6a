#!/usr/bin/env bash
# docs_test.sh - stored documents, gzip downloads and include files end to
# end: lighttpd -> kestrel -> PostgreSQL, on the demo site (its svXXXX.cfg
# maps /docs/ to sql/demo/docs).
# usage: docs_test.sh HTTP_PORT PG_PORT DBNAME   (run by ctest, fixture "web")
set -uo pipefail
[ $# -eq 3 ] || { sed -n '2,5p' "$0" >&2; exit 2; }
http_port=$1 pg_port=$2 db=$3
base=http://127.0.0.1:$http_port
docs=$(cd "$(dirname "$0")/../../sql/demo/docs" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source "$(dirname "$0")/e2e_checks.sh"

# ---- helpers ---------------------------------------------------------------

sha_of_file() { sha256sum <"$1" | cut -d' ' -f1; }
stored_sha() { sql "select encode(sha256(image), 'hex') from demo.image where name = '$1'"; }
# The FNAME of a gzip file: the text from byte 10 to the first zero byte.
gzip_name() { tail -c +11 "$1" | head -c 300 | tr '\0' '\n' | head -1; }

expect_gzip_of() { # expect_gzip_of SHA NAME: the body is a gzip file of those bytes and name
    gzip -t "$work/body" 2>/dev/null && ok || fail "body is no valid gzip file"
    expect_equal "$(gzip -dc "$work/body" 2>/dev/null | sha256sum | cut -d' ' -f1)" "$1"
    expect_equal "$(gzip_name "$work/body")" "$2"
}
count() { grep -o -- "$1" "$work/body" | wc -l; }

# ---- stored documents ------------------------------------------------------

# A binary document of several pieces (the default piece is 64 KiB).
sql "delete from demo.image where name = 'e2e-binary.bin';
     insert into demo.image (name, mime_type, img_size, image)
     select 'e2e-binary.bin', 'application/pdf', 0,
            decode(string_agg(md5(i::text), '' order by i), 'hex')
     from generate_series(1, 20000) as i;" >/dev/null

begin_case "stored document as stored, with its type"
fetch "$base/demo/owai/welcome.txt"
expect_status 200
expect_header_has "Content-Type: text/plain"
expect_equal "$(sha_of_file "$work/body")" "$(stored_sha welcome.txt)"
fetch "$base/demo/owai/e2e-binary.bin"
expect_header_has "Content-Type: application/pdf"
expect_equal "$(wc -c <"$work/body")" 320000
expect_equal "$(sha_of_file "$work/body")" "$(stored_sha e2e-binary.bin)"

begin_case "the gzip road decompresses to the stored bytes"
fetch "$base/demo/owaigz/welcome.txt.gz"
expect_status 200
expect_header_has "Content-Type: application/x-gzip"
expect_gzip_of "$(stored_sha welcome.txt)" welcome.txt
fetch "$base/demo/owaigz/e2e-binary.bin.gz"
expect_gzip_of "$(stored_sha e2e-binary.bin)" e2e-binary.bin

begin_case "a row holding a path serves that file, from the service's filedir only"
# The file lies in tracker's filedir, and only the lighttpd sites (the ones
# that say where they are) map tracker.
if [ -n "${KESTREL_E2E_SITE:-}" ]; then
    fetch "$base/tracker/owai/notes-by-path.txt"
    expect_status 200
    expect_header_has "Content-Type: text/plain"
    expect_equal "$(sha_of_file "$work/body")" "$(sha_of_file "$docs/notes.txt")"
fi
fetch "$base/demo/owai/notes-by-path.txt"
expect_body_has "No directory set in demo_filedir"

begin_case "a missing name under /owai/ answers the database's message"
fetch "$base/demo/owai/no-such-document.txt"
expect_header_has "Content-Type: text/plain"
expect_body_has "no data found"
fetch "$base/demo/owaigz/no-such-document.txt.gz"
expect_body_has "no data found"

begin_case "a name that is no procedure is served as the stored document"
fetch "$base/demo/owa/welcome.txt"
expect_status 200
expect_equal "$(sha_of_file "$work/body")" "$(stored_sha welcome.txt)"

# ---- HTTP semantics of documents --------------------------------------------

header_value() { sed -n "s/^$1: //Ip" <<<"$headers" | head -1; }
# expect_length N: the announced length. Apache's CGI and proxy roads pass
# the body on chunked and drop the length; the byte checks still count.
expect_length() {
    if [ -z "$(header_value content-length)" ] && [[ ${headers,,} == *"transfer-encoding: chunked"* ]]; then
        ok
        return
    fi
    expect_header_has "Content-Length: $1"
}
# stored_slice_sha FIRST COUNT: the sha256 of those bytes of e2e-binary.bin.
stored_slice_sha() {
    sql "select encode(sha256(substring(image from $(($1 + 1)) for $2)), 'hex')
         from demo.image where name = 'e2e-binary.bin'"
}

begin_case "documents carry their length and validators; a current copy gets 304"
doc=$base/demo/owai/e2e-binary.bin
fetch "$doc"
expect_status 200
expect_length "320000"
expect_header_has "Accept-Ranges: bytes"
expect_header_has "Cache-Control: no-cache"
etag=$(header_value etag)
modified=$(header_value last-modified)
[[ $etag == \"*\" && $modified == *GMT ]] && ok || fail "ETag '$etag', Last-Modified '$modified'"
fetch "$doc" -H "If-None-Match: $etag"
expect_status 304
expect_equal "$(wc -c <"$work/body")" 0
expect_header_has "ETag: $etag"
fetch "$doc" -H "If-Modified-Since: $modified"
expect_status 304
fetch "$doc" -H "If-None-Match: \"another\"" -H "If-Modified-Since: $modified"
expect_status 200
expect_equal "$(wc -c <"$work/body")" 320000
# An update, even of the type alone, is a new version.
sql "update demo.image set mime_type = 'application/pdf' where name = 'e2e-binary.bin'" >/dev/null
fetch "$doc" -H "If-None-Match: $etag"
expect_status 200
[ "$(header_value etag)" != "$etag" ] && ok || fail "the ETag did not change with the update"

begin_case "HEAD sends the headers only"
fetch "$doc" --head
expect_status 200
# Apache's CGI and proxy roads drop the length of a HEAD answer too.
length=$(header_value content-length)
[ -z "$length" ] || expect_equal "$length" 320000
expect_equal "$(sed -n '/^\r\?$/,$p' "$work/body" | tr -d '\r\n' | wc -c)" 0

begin_case "a Range gets 206 with exactly those bytes: first, middle and last"
# first-last, middle ranges across one and several piece boundaries, first- and
# -suffix.
for row in 0-99:0:100 100000-165535:100000:65536 100000-299999:100000:200000 319990-:319990:10 -1000:319000:1000; do
    IFS=: read -r range first count <<<"$row"
    fetch "$doc" -H "Range: bytes=$range"
    expect_status 206
    expect_header_has "Content-Range: bytes $first-$((first + count - 1))/320000"
    expect_length "$count"
    expect_equal "$(sha_of_file "$work/body")" "$(stored_slice_sha "$first" "$count")"
done

begin_case "unsatisfiable ranges get 416; several ranges, or a stale If-Range, the whole"
fetch "$doc" -H "Range: bytes=320000-"
expect_status 416
expect_header_has "Content-Range: bytes */320000"
fetch "$doc" -H "Range: bytes=0-1,5-6"
expect_status 200
expect_equal "$(sha_of_file "$work/body")" "$(stored_sha e2e-binary.bin)"
fetch "$doc" -H "Range: bytes=0-9" -H "If-Range: \"stale\""
expect_status 200
expect_equal "$(wc -c <"$work/body")" 320000

begin_case "the gzip road says Vary and still decompresses to the stored bytes"
fetch "$base/demo/owaigz/e2e-binary.bin.gz" -H "Range: bytes=0-9"
expect_header_has "Vary: Accept-Encoding"
expect_gzip_of "$(stored_sha e2e-binary.bin)" e2e-binary.bin

# ---- downloads from procedures ------------------------------------------------

begin_case "a procedure answers with a stored document as an attachment"
fetch "$base/demo/owa/download_welcome"
expect_status 200
expect_header_has "Content-Type: text/plain"
expect_header_has 'Content-Disposition: attachment; filename="welcome.txt"'
expect_length "$(sql "select octet_length(image) from demo.image where name = 'welcome.txt'")"
expect_equal "$(sha_of_file "$work/body")" "$(stored_sha welcome.txt)"
fetch "$base/demo/owa/download_welcome" -H "If-None-Match: $(header_value etag)"
expect_status 304

begin_case "a procedure answers with bytes it computed, under a UTF-8 file name"
fetch "$base/demo/owa/orders_csv?rows=2"
expect_status 200
expect_header_has "Content-Type: text/csv"
expect_header_has "Content-Disposition: attachment; filename=\"commandes _t_.csv\"; filename*=UTF-8''commandes%20%C3%A9t%C3%A9.csv"
expect_equal "$(cat "$work/body")" "$(printf 'order,customer\n1,Zo\xc3\xab O'"'"'Brien\n2,Zo\xc3\xab O'"'"'Brien')"
fetch "$base/demo/owa/orders_csv?rows=2" -H "Range: bytes=0-4"
expect_status 206
expect_equal "$(cat "$work/body")" "order"

# Large on the lighttpd sites, where the byte count matters most; smaller
# behind the other servers to keep the suite short.
mib=4
[ -z "${KESTREL_E2E_SITE:-}" ] || mib=100
begin_case "a procedure download of $mib MiB arrives byte-exact"
# Not through fetch: the body stays in its file.
status=$(curl -s -g --max-time 90 -D "$work/headers" -o "$work/body" -w '%{http_code}' \
    "$base/demo/owa/download_sample?mib=$mib")
headers=$(tr -d '\r' <"$work/headers")
body=
expect_status 200
expect_length "$((mib * 1048576))"
expect_header_has "filename=\"sample-${mib}mib.bin\""
expect_equal "$(sha_of_file "$work/body")" "$(sql "select encode(sha256(demo.sample_bytes($mib)), 'hex')")"

# ---- the include road ------------------------------------------------------

begin_case "an include file with two blocks and a placeholder"
fetch "$base/demo/owa/docs/include.html?name=Ada"
expect_status 200
expect_header_has "Content-Type: text/html"
expect_body_has "<h1>An include file</h1>"
expect_body_has "First block: this text comes from the database, logged on as demo.</p>"
expect_body_has "Hello, Ada!</p>"
expect_body_lacks "<ORACLE"
expect_body_lacks "</ORACLE"
expect_body_lacks "Content-type"
expect_body_has "</html>"
fetch "$base/demo/owa/docs/include.html"
expect_body_has "Hello, stranger!"

begin_case "a placeholder value reaches the block only as a literal"
sql "insert into demo.image (name, mime_type, img_size, image)
     values ('e2e-canary', 'text/plain', 1, 'x') on conflict (name) do nothing" >/dev/null
fetch "$base/demo/owa/docs/include.html" -G \
    --data-urlencode "name=x'); delete from demo.image where name = 'e2e-canary'; perform htp.prn('<b>'); --"
expect_status 200
expect_body_has "Hello, x'); delete from demo.image where name = 'e2e-canary'; perform htp.prn('&lt;b&gt;'); --!"
expect_equal "$(sql "select count(*) from demo.image where name = 'e2e-canary'")" 1

begin_case "a block with a syntax error yields one error line and the rest of the file"
fetch "$base/demo/owa/docs/errors.html"
expect_status 200
expect_equal "$(count '<pre><b>')" 1
expect_body_has "SQLSTATE 42601"
expect_body_has "<p>The end of the file.</p>"

begin_case "other files through the include road"
fetch "$base/demo/owa/docs/notes.txt"
expect_status 200
expect_header_has "Content-Type: text/plain"
expect_equal "$(sha_of_file "$work/body")" "$(sha_of_file "$docs/notes.txt")"
fetch "$base/demo/owa/docs/data.csv"
expect_header_has "Content-Type: text/csv"
expect_equal "$(sha_of_file "$work/body")" "$(sha_of_file "$docs/data.csv")"

begin_case "data.csv.gz is data.csv compressed on the fly"
fetch "$base/demo/owa/docs/data.csv.gz"
expect_status 200
expect_header_has "Content-Type: application/x-gzip"
expect_gzip_of "$(sha_of_file "$docs/data.csv")" data.csv

begin_case "missing files answer 404"
for path in docs/none.html docs/none.txt docs/none.csv.gz; do
    fetch "$base/demo/owa/$path"
    expect_status 404
    expect_body_has "URL Not Found"
done

# ---- nothing outside the mapped directories ---------------------------------

begin_case "paths that leave the mapped directories are refused"
# The web server itself refuses these before they reach the gateway, each
# in its own words: 400, 403 or 404.
for path in ../../etc/passwd docs/../../../../etc/passwd "docs/..%2f..%2f..%2f..%2fetc%2fpasswd"; do
    fetch "$base/demo/owa/$path" --path-as-is
    [[ $status == 40[034] ]] && ok || fail "status $status, expected a refusal"
    expect_body_lacks "root:"
done
# Encoded twice, the dots reach the gateway, which decodes the path once more.
up=$(printf '%%252e%%252e/%.0s' 1 2 3 4 5 6 7 8)
for path in "docs/${up}etc/passwd" "${up}etc/passwd" \
    "docs/..%252f..%252f..%252f..%252f..%252f..%252f..%252f..%252fetc%252fpasswd"; do
    fetch "$base/demo/owa/$path" --path-as-is
    expect_status 404
    expect_body_has "URL Not Found"
    expect_body_lacks "root:"
done

begin_case "unmapped paths answer 404"
for path in etc/passwd etc/hostname.txt "tmp/x.html" "sql/demo/docs/notes.txt"; do
    fetch "$base/demo/owa/$path"
    expect_status 404
    expect_body_has "URL Not Found"
    expect_body_lacks "root:"
done

begin_case "the service objects of an older installer become one document store"
# The two tables as the installer made them before, with rows in both and
# one name in both. Roles are the cluster's: one per suite database.
owner=upgrade_$db
sql "drop schema if exists $owner cascade;
     drop role if exists $owner;
     create role $owner;
     create schema $owner authorization $owner;
     create sequence $owner.img_seq;
     create table $owner.image (name text primary key, mime_type text, img_size integer,
                                image bytea);
     create table $owner.wwv_document (name text primary key, mime_type text,
                                       doc_size integer, content bytea);
     insert into $owner.image values ('logo.svg', 'image/svg+xml', 3, 'svg'),
                                     ('both.txt', 'text/plain', 5, 'image'),
                                     ('same.txt', 'text/plain', 4, 'same');
     insert into $owner.wwv_document values ('U0000001.pdf', 'application/pdf', 3, 'pdf'),
                                            ('both.txt', 'text/plain', 6, 'upload'),
                                            ('same.txt', 'text/plain', 4, 'same');
     grant select, insert on $owner.image to public;" >/dev/null
documents="select name || '|' || img_size || '|' || convert_from(image, 'UTF8')
           || '|' || (last_updated is not null) from $owner.image order by name"
for run in first again; do
    sql "select owa.create_service('$owner')" >/dev/null 2>"$work/warnings"
    if [ $run = first ]; then
        grep -q "kept in $owner.image_conflicts" "$work/warnings" && ok ||
            fail "the set-aside row is not reported"
    fi
    expect_equal "$(sql "$documents")" "U0000001.pdf|3|pdf|true
both.txt|6|upload|true
logo.svg|3|svg|true
same.txt|4|same|true"
    expect_equal "$(sql "select string_agg(name || '|' || convert_from(image, 'UTF8'), ',')
                         from $owner.image_conflicts")" "both.txt|image"
    expect_equal "$(sql "select relkind from pg_class
                         where oid = '$owner.image'::regclass")" v
    expect_equal "$(sql "select has_table_privilege('pg_monitor', '$owner.image', 'select')
                                and has_table_privilege('pg_monitor', '$owner.image', 'insert')")" t
done
begin_case "writing a document's content moves its last_updated, through the view too"
stamp() { sql "select last_updated from $owner.image where name = 'logo.svg'"; }
before=$(stamp)
sql "update $owner.image set file_name = 'logo.svg' where name = 'logo.svg'" >/dev/null
expect_equal "$(stamp)" "$before"
sql "update $owner.image set image = 'new' where name = 'logo.svg'" >/dev/null
expect_equal "$(sql "select last_updated > '$before' from $owner.image where name = 'logo.svg'")" t
sql "drop schema $owner cascade; drop role $owner" >/dev/null

sql "delete from demo.image where name in ('e2e-binary.bin', 'e2e-canary')" >/dev/null
finish
