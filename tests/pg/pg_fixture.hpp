// pg_fixture.hpp - base of the integration tests: each test gets a fresh
// database on the private test cluster, cloned from a template that has the
// toolkit installed (scripts/toolkit install) and the objects of the service
// owner app_user (scripts/toolkit service), plus a second connection for
// checking what the code under test did; gateway code runs on a session
// logged on as app_user, inside one request's state.
//
// The cluster is the one ctest starts for the fixture "pg" (socket
// /tmp/kestrel-pg-PORT; PORT from KESTREL_TEST_PG_PORT in the environment,
// else the build's cache value). Tests may run in parallel processes.
#pragma once

#include <gtest/gtest.h>
#include <libpq-fe.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "frame/request_ctx.hpp"
#include "support/request_fixture.hpp"

namespace kestrel::test {

using pg_row = std::vector<std::optional<std::string>>;

// The service owner every test database has: a login role with a password
// (scram-sha-256), owner of the schema app_user with img_seq, image,
// wwv_document and timing.
inline constexpr const char* app_user = "kestrel_app";
inline constexpr const char* app_password = "app secret";

// Cluster access as the superuser (trust on the socket).
std::string cluster_conninfo(const std::string& dbname);
int cluster_port();

// Creates (or updates the password of) a login role; names and passwords may
// hold any character.
void ensure_role(const std::string& name, const std::string& password);

// A request of the service "app" on a session logged on as app_user through
// the production backend, inside one request's state; the session is rolled
// back and closed at the end unless the test ended it.
class pg_fixture : public ::testing::Test, public request_state {
  protected:
    void SetUp() override;
    void TearDown() override;

    const std::string& database() const { return database_; }

    // Logs off (commit or rollback) and on again, as two requests would.
    void next_request(bool rollback = false);
    // The single value a query selects on the session under test; fails the
    // test on error.
    std::string selected(std::string_view query,
                         db::statement_kind kind = db::statement_kind::written);

    // On the second connection (superuser, autocommit): fails the test on error.
    void exec(const std::string& sql);
    std::vector<pg_row> query(const std::string& sql);
    // First column of the first row; "<null>" for NULL, "<none>" without rows.
    std::string scalar(const std::string& sql);

    request_ctx ctx{config};

  private:
    std::string database_;
    PGconn* check_ = nullptr;
};

// Hex digits of bytes, as encode(..., 'hex') gives them.
std::string hex(std::string_view bytes);

}  // namespace kestrel::test
