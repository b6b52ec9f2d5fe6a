// error_codes.cpp - SQLSTATE to return code, and error texts.
#include "db_interface/postgres/error_codes.hpp"

#include "db_interface/client.hpp"

namespace kestrel::db::pg {
namespace {

struct known_state {
    std::string_view sqlstate;
    int code;
};

constexpr known_state known_states[] = {
    {"28P01", invalid_logon},         {"28000", invalid_logon},
    {"42P01", no_such_table},         {"42883", call_does_not_compile},
    {"42725", call_does_not_compile}, {"42601", call_does_not_compile},
    {"P0002", no_data_found},         {"22021", invalid_text},
    {"57P01", connection_lost},
};

}  // namespace

std::string field(const PGresult* r, int code) {
    const char* value = PQresultErrorField(r, code);
    return value != nullptr ? value : "";
}

namespace {

// A fixed fold of the five characters: the same state always gives the
// same code, and codes stay clear of those with a meaning of their own.
int folded_code(std::string_view sqlstate) {
    unsigned hash = 0;
    for (const char c : sqlstate) {
        hash = hash * 36 + static_cast<unsigned char>(c);
    }
    return 30000 + static_cast<int>(hash % 2700);
}

}  // namespace

int code_for_sqlstate(std::string_view sqlstate) {
    for (const auto& known : known_states) {
        if (known.sqlstate == sqlstate) {
            return known.code;
        }
    }
    if (sqlstate.starts_with("08") || sqlstate.empty()) {
        return connection_lost;
    }
    return folded_code(sqlstate);
}

int code_for_error(std::string_view sqlstate, std::string_view context) {
    const int code = code_for_sqlstate(sqlstate);
    if (code == call_does_not_compile && !context.empty()) {
        return folded_code(sqlstate);
    }
    return code;
}

std::string error_text(const PGresult* r) {
    if (r == nullptr) {
        return standard_message(connection_lost);
    }
    std::string severity = field(r, PG_DIAG_SEVERITY);
    std::string text =
        (severity.empty() ? "ERROR" : severity) + ":  " + field(r, PG_DIAG_MESSAGE_PRIMARY);
    const std::string sqlstate = field(r, PG_DIAG_SQLSTATE);
    if (!sqlstate.empty()) {
        text += " (SQLSTATE " + sqlstate + ")";
    }
    if (const std::string detail = field(r, PG_DIAG_MESSAGE_DETAIL); !detail.empty()) {
        text += "\nDETAIL:  " + detail;
    }
    if (const std::string hint = field(r, PG_DIAG_MESSAGE_HINT); !hint.empty()) {
        text += "\nHINT:  " + hint;
    }
    if (const std::string query = field(r, PG_DIAG_INTERNAL_QUERY); !query.empty()) {
        text += "\nQUERY:  " + query;
        if (const std::string at = field(r, PG_DIAG_INTERNAL_POSITION); !at.empty()) {
            text += "\nPOSITION:  " + at;
        }
    } else if (const std::string at = field(r, PG_DIAG_STATEMENT_POSITION); !at.empty()) {
        text += "\nPOSITION:  " + at;
    }
    if (const std::string context = field(r, PG_DIAG_CONTEXT); !context.empty()) {
        text += "\nCONTEXT:  " + context;
    }
    return text;
}

std::string standard_message(int code) {
    switch (code) {
        case 0:
            return "normal, successful completion";
        case no_such_table:
            return "table or view does not exist";
        case no_data_found:
            return "no data found";
        case invalid_logon:
            return "invalid username/password; logon denied";
        case call_does_not_compile:
            return "the call does not compile";
        case no_such_routine:
            return "no such procedure or function";
        case value_too_long:
            return "a bound value is too long";
        case no_statement:
            return "no statement parsed";
        case not_all_bound:
            return "not all variables bound";
        case not_logged_on:
            return "not logged on";
        case too_many_rows:
            return "exact fetch returns more than requested number of rows";
        case connection_lost:
            return "the connection to the database was lost";
        case cannot_connect:
            return "could not connect to the database";
        case invalid_text:
            return "a value is not valid text in the database encoding";
        default:
            return "database error " + std::to_string(code);
    }
}

}  // namespace kestrel::db::pg
