# pgbench_script.awk - turns the statements of one request, as PostgreSQL
# logged them (log_statement = all), into a pgbench script: the statements
# of the last request of the process PID, from its last "BEGIN" on (alone or
# opening a batch), with the logged parameter values written in place of
# $1, $2, ...
# usage: awk -v pid=PID -f pgbench_script.awk server.log
# POSIX awk (mawk included).

# Splits a logged parameter list ($1 = 'a', $2 = NULL, ...) into values[].
function parse_parameters(text,    i, n, c, value, in_quote) {
    n = 0
    i = 1
    while (i <= length(text)) {
        if (substr(text, i, 1) != "$") {
            i++
            continue
        }
        n = substr(text, i + 1) + 0
        i = index(substr(text, i), "= ") + i + 1
        if (substr(text, i, 4) == "NULL") {
            values[n] = "NULL"
            i += 4
            continue
        }
        value = "'"
        i++
        while (i <= length(text)) {
            c = substr(text, i, 1)
            if (c == "'" && substr(text, i + 1, 1) == "'") {
                value = value "''"
                i += 2
                continue
            }
            if (c == "'") {
                break
            }
            value = value c
            i++
        }
        values[n] = value "'"
        i++
    }
    return n
}

# The statement with $n replaced by values[n], highest n first so that $1
# never eats the start of $10.
function substitute(text, n,    k, pos, out, marker) {
    for (k = n; k >= 1; k--) {
        marker = "$" k
        out = ""
        while ((pos = index(text, marker)) > 0) {
            if (substr(text, pos + length(marker), 1) ~ /[0-9]/) {
                out = out substr(text, 1, pos + length(marker) - 1)
            } else {
                out = out substr(text, 1, pos - 1) values[k]
            }
            text = substr(text, pos + length(marker))
        }
        text = out text
    }
    return text
}

function flush_statement() {
    if (!pending) {
        return
    }
    pending = 0
    count++
    statements[count] = current
    if (current ~ /^BEGIN(;|$)/) {
        first = count
    }
    current = ""
}

BEGIN {
    pending = 0
    current = ""
    count = 0
    first = 1
    own = 0
}

# A new log line: LOG of a statement, DETAIL of its parameters, or other.
/^[0-9][0-9][0-9][0-9]-/ {
    own = index($0, "[" pid "]") > 0
    if (!own) {
        next
    }
    if (match($0, / LOG:  (execute [^:]*|statement): /)) {
        flush_statement()
        current = substr($0, RSTART + RLENGTH)
        pending = 1
        next
    }
    if (match($0, / DETAIL:  parameters: /) && pending) {
        current = substitute(current, parse_parameters(substr($0, RSTART + RLENGTH)))
        flush_statement()
        next
    }
    flush_statement()
    next
}

# Continuation lines of a multi-line statement start with a tab.
/^\t/ {
    if (own && pending) {
        current = (current == "" ? "" : current "\n") substr($0, 2)
    }
}

END {
    flush_statement()
    for (k = first; k <= count; k++) {
        print statements[k] ";"
    }
}
