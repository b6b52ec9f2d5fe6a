// libpq_floor.cpp - the floors of a CGI request that reaches the database: a
// CGI program that logs on exactly as kestrel does (the first service block
// of the application file named by OWS_APPFILE), logs off and prints what it
// got. Under /floor/ it runs "select 1"; under /cold/ it does the least work
// of the hello page (call, page fetch, commit) in the fresh backend. bench/run
// measures both beside kestrel, through the same web server, so that
// kestrel's own share of a request shows as a ratio.
#include <libpq-fe.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <string_view>

namespace {

struct connection_closer {
    void operator()(PGconn* c) const noexcept { PQfinish(c); }
};
struct result_clearer {
    void operator()(PGresult* r) const noexcept { PQclear(r); }
};

// owa_user, owa_password and owa_connect_string of the first block.
std::map<std::string, std::string> first_service(const char* appfile) {
    std::map<std::string, std::string> keys;
    std::ifstream in(appfile);
    std::string line;
    int blocks = 0;
    while (std::getline(in, line) && blocks < 2) {
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos) {
            continue;
        }
        const std::string key = line.substr(0, eq);
        blocks += key == "owa_service" ? 1 : 0;
        if (blocks == 1 && !keys.contains(key)) {
            keys[key] = line.substr(eq + 1);
        }
    }
    return keys;
}

// A libpq keyword value in single quotes.
std::string quoted(const std::string& value) {
    std::string out = "'";
    for (const char c : value) {
        if (c == '\'' || c == '\\') {
            out += '\\';
        }
        out += c;
    }
    return out + "'";
}

int answer(const char* status, const char* text) {
    std::printf("Status: %s\nContent-type: text/plain\n\n%s\n", status, text);
    return 0;
}

// The hello page in one transaction; the page carries its own header.
int hello_page(PGconn* conn) {
    const std::unique_ptr<PGresult, result_clearer> begun(PQexec(conn, "BEGIN"));
    const std::unique_ptr<PGresult, result_clearer> called(PQexec(conn, "CALL demo.hello()"));
    if (PQresultStatus(called.get()) != PGRES_COMMAND_OK) {
        return answer("500 Call failed", PQerrorMessage(conn));
    }
    const std::unique_ptr<PGresult, result_clearer> page(
        PQexec(conn, "SELECT piece FROM owa.get_page_chunk(65536)"));
    if (PQresultStatus(page.get()) != PGRES_TUPLES_OK || PQntuples(page.get()) != 1) {
        return answer("500 Fetch failed", PQerrorMessage(conn));
    }
    const std::unique_ptr<PGresult, result_clearer> committed(PQexec(conn, "COMMIT"));
    std::fwrite(PQgetvalue(page.get(), 0, 0), 1, PQgetlength(page.get(), 0, 0), stdout);
    return 0;
}

}  // namespace

int main() {
    const char* appfile = std::getenv("OWS_APPFILE");
    if (appfile == nullptr) {
        return answer("500 No application file", "OWS_APPFILE is not set");
    }
    auto keys = first_service(appfile);
    const std::string conninfo = keys["owa_connect_string"] + " user=" + quoted(keys["owa_user"]) +
                                 " password=" + quoted(keys["owa_password"]);
    const std::unique_ptr<PGconn, connection_closer> conn(PQconnectdb(conninfo.c_str()));
    if (PQstatus(conn.get()) != CONNECTION_OK) {
        return answer("500 No connection", PQerrorMessage(conn.get()));
    }
    const char* script = std::getenv("SCRIPT_NAME");
    if (script != nullptr && std::string_view(script).starts_with("/cold/")) {
        return hello_page(conn.get());
    }
    const std::unique_ptr<PGresult, result_clearer> r(PQexec(conn.get(), "select 1"));
    if (PQresultStatus(r.get()) != PGRES_TUPLES_OK) {
        return answer("500 Query failed", PQerrorMessage(conn.get()));
    }
    return answer("200 OK", PQgetvalue(r.get(), 0, 0));
}
