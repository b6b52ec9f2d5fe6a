// pg_fixture.cpp - fresh databases on the private test cluster; see
// pg_fixture.hpp. The template is built once per toolkit version, under an
// advisory lock, by the same command a site uses (scripts/toolkit).
#include "pg/pg_fixture.hpp"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "db/errors.hpp"
#include "db/query.hpp"
#include "db/session.hpp"

#ifndef KESTREL_TEST_PG_PORT
#define KESTREL_TEST_PG_PORT 54329
#endif

namespace kestrel::test {
namespace {

constexpr const char* template_name = "kestrel_template";
constexpr long long template_lock = 7301;

struct conn_deleter {
    void operator()(PGconn* c) const noexcept { PQfinish(c); }
};
using owned_conn = std::unique_ptr<PGconn, conn_deleter>;

owned_conn connect_super(const std::string& dbname) {
    owned_conn conn(PQconnectdb(cluster_conninfo(dbname).c_str()));
    if (PQstatus(conn.get()) != CONNECTION_OK) {
        throw std::runtime_error("test cluster: " + std::string(PQerrorMessage(conn.get())) +
                                 " (is the ctest fixture pg running?)");
    }
    PQsetNoticeProcessor(
        conn.get(), [](void*, const char*) {}, nullptr);
    return conn;
}

std::string run(PGconn* conn, const std::string& sql) {
    PGresult* r = PQexec(conn, sql.c_str());
    const ExecStatusType status = PQresultStatus(r);
    std::string value;
    if (status == PGRES_TUPLES_OK && PQntuples(r) > 0 && PQnfields(r) > 0) {
        value = PQgetvalue(r, 0, 0);
    }
    const std::string error = PQresultErrorMessage(r);
    PQclear(r);
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
        throw std::runtime_error(sql + ": " + error);
    }
    return value;
}

// value quoted as a literal, or with PQescapeIdentifier as an identifier.
std::string literal(PGconn* conn, const std::string& value,
                    char* (*escape)(PGconn*, const char*, std::size_t) = PQescapeLiteral) {
    char* quoted = escape(conn, value.c_str(), value.size());
    std::string text(quoted);
    PQfreemem(quoted);
    return text;
}

// Changes to the toolkit make a new template: a hash of its files, in
// install order.
std::string toolkit_fingerprint() {
    std::vector<std::filesystem::path> files;
    for (const auto& entry :
         std::filesystem::directory_iterator(std::string(KESTREL_SOURCE_DIR) + "/sql")) {
        if (entry.path().extension() == ".sql") {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    std::uint64_t hash = 1469598103934665603ULL;
    for (const auto& file : files) {
        std::ifstream in(file, std::ios::binary);
        std::stringstream content;
        content << in.rdbuf();
        for (const char c : file.filename().string() + content.str()) {
            hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
        }
    }
    return "toolkit " + std::to_string(hash);
}

void shell(const std::string& command) {
    if (std::system(command.c_str()) != 0) {
        throw std::runtime_error("failed: " + command);
    }
}

std::string shell_quote(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

void build_template(PGconn* admin, const std::string& fingerprint) {
    run(admin, std::string("DROP DATABASE IF EXISTS ") + template_name + " WITH (FORCE)");
    run(admin, std::string("CREATE DATABASE ") + template_name);
    const std::string toolkit = std::string(KESTREL_SOURCE_DIR) + "/scripts/toolkit";
    const std::string target = shell_quote(cluster_conninfo(template_name));
    shell(toolkit + " install " + target);
    shell(toolkit + " service " + target + " " + app_user);
    run(admin,
        std::string("COMMENT ON DATABASE ") + template_name + " IS " + literal(admin, fingerprint));
}

// Under the lock: the template exists and matches the toolkit's files.
void ensure_template() {
    static bool done = false;
    if (done) {
        return;
    }
    owned_conn admin = connect_super("postgres");
    run(admin.get(), "SELECT pg_advisory_lock(" + std::to_string(template_lock) + ")");
    ensure_role(app_user, app_password);
    const std::string fingerprint = toolkit_fingerprint();
    const std::string current =
        run(admin.get(), std::string("SELECT coalesce(shobj_description(oid, 'pg_database'), '') "
                                     "FROM pg_database WHERE datname = '") +
                             template_name + "'");
    if (current != fingerprint) {
        build_template(admin.get(), fingerprint);
    }
    run(admin.get(), "SELECT pg_advisory_unlock(" + std::to_string(template_lock) + ")");
    done = true;
}

}  // namespace

int cluster_port() {
    if (const char* port = std::getenv("KESTREL_TEST_PG_PORT"); port != nullptr && *port != '\0') {
        return std::atoi(port);
    }
    return KESTREL_TEST_PG_PORT;
}

std::string cluster_conninfo(const std::string& dbname) {
    const std::string port = std::to_string(cluster_port());
    return "host=/tmp/kestrel-pg-" + port + " port=" + port + " passfile=/tmp/kestrel-pg-" + port +
           ".pgpass user=postgres dbname=" + dbname;
}

void ensure_role(const std::string& name, const std::string& password) {
    owned_conn admin = connect_super("postgres");
    const std::string role = literal(admin.get(), name, PQescapeIdentifier);
    const std::string exists = run(
        admin.get(), "SELECT count(*) FROM pg_roles WHERE rolname = " + literal(admin.get(), name));
    // Roles are shared by all test databases; concurrent creators may race.
    if (exists == "0") {
        try {
            run(admin.get(), "CREATE ROLE " + role + " LOGIN");
        } catch (const std::runtime_error&) {
        }
    }
    run(admin.get(), "ALTER ROLE " + role + " PASSWORD " + literal(admin.get(), password));
}

void pg_fixture::SetUp() {
    ensure_template();
    static std::atomic<int> counter{0};
    database_ = "kt_" + std::to_string(getpid()) + "_" + std::to_string(counter++);
    owned_conn admin = connect_super("postgres");
    run(admin.get(), "DROP DATABASE IF EXISTS " + database_ + " WITH (FORCE)");
    run(admin.get(), "CREATE DATABASE " + database_ + " TEMPLATE " + template_name);
    check_ = PQconnectdb(cluster_conninfo(database_).c_str());
    ASSERT_EQ(PQstatus(check_), CONNECTION_OK) << PQerrorMessage(check_);

    begin(ctx);
    const std::string port = std::to_string(cluster_port());
    service_entry service;
    service.owa_service = "app";
    service.owa_user = app_user;
    service.owa_password = app_password;
    service.owa_connect_string = "host=/tmp/kestrel-pg-" + port + " port=" + port +
                                 " dbname=" + database_;  // as owa_connect_string holds it
    config->services = {service};
    ctx.service_name = "app";
    ASSERT_TRUE(Logon(ctx, nullptr, nullptr)) << oerr_lda(ctx);
}

void pg_fixture::TearDown() {
    config->reuse_connection = false;
    Logoff(ctx, true);
    end();
    ctx.db.reset();  // closes the session under test
    if (check_ != nullptr) {
        PQfinish(check_);
        check_ = nullptr;
    }
    if (!database_.empty()) {
        owned_conn admin = connect_super("postgres");
        run(admin.get(), "DROP DATABASE IF EXISTS " + database_ + " WITH (FORCE)");
    }
}

void pg_fixture::next_request(bool rollback) {
    Logoff(ctx, rollback);
    ASSERT_TRUE(Logon(ctx, nullptr, nullptr)) << oerr_lda(ctx);
}

std::string pg_fixture::selected(std::string_view query, db::statement_kind kind) {
    std::array<char, 4000> buffer{};
    const int rc = select_into(ctx, {kind, query}, buffer);
    EXPECT_EQ(rc, 0) << query << ": " << oerr_cda(ctx);
    return rc == 0 ? buffer.data() : "<failed>";
}

void pg_fixture::exec(const std::string& sql) {
    PGresult* r = PQexec(check_, sql.c_str());
    const ExecStatusType status = PQresultStatus(r);
    EXPECT_TRUE(status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK)
        << sql << ": " << PQresultErrorMessage(r);
    PQclear(r);
}

std::vector<pg_row> pg_fixture::query(const std::string& sql) {
    std::vector<pg_row> rows;
    PGresult* r = PQexec(check_, sql.c_str());
    EXPECT_EQ(PQresultStatus(r), PGRES_TUPLES_OK) << sql << ": " << PQresultErrorMessage(r);
    for (int i = 0; i < PQntuples(r); ++i) {
        pg_row row;
        for (int j = 0; j < PQnfields(r); ++j) {
            row.push_back(PQgetisnull(r, i, j) != 0
                              ? std::nullopt
                              : std::optional<std::string>(PQgetvalue(r, i, j)));
        }
        rows.push_back(std::move(row));
    }
    PQclear(r);
    return rows;
}

std::string pg_fixture::scalar(const std::string& sql) {
    const auto rows = query(sql);
    if (rows.empty() || rows[0].empty()) {
        return "<none>";
    }
    return rows[0][0].value_or("<null>");
}

std::string hex(std::string_view bytes) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string out;
    for (const char c : bytes) {
        out += digits[(static_cast<unsigned char>(c) >> 4) & 0xf];
        out += digits[static_cast<unsigned char>(c) & 0xf];
    }
    return out;
}

}  // namespace kestrel::test
