// pg_fixture.hpp - base of the integration tests: each test gets a fresh
// database on the private test cluster, cloned from a template that has the
// toolkit installed (scripts/toolkit install) and the objects of the service
// owner app_user (scripts/toolkit service), plus a second connection for
// checking what the code under test did.
//
//   class MyTest : public kestrel::test::pg_fixture {};
//   TEST_F(MyTest, Works) {
//       ctx.services = {...};                 // use conninfo(), app_user, app_password
//       ...                                   // run gateway code on ctx
//       EXPECT_EQ(scalar("select count(*) from app.wwv_document"), "1");
//   }
//
// The cluster is the one ctest starts for the fixture "pg" (socket
// /tmp/kestrel-pg-PORT; PORT from KESTREL_TEST_PG_PORT in the environment,
// else the build's cache value). Tests may run in parallel processes.
#pragma once

#include <gtest/gtest.h>
#include <libpq-fe.h>

#include <optional>
#include <string>
#include <vector>

#include "frame/request_ctx.hpp"

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

class pg_fixture : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // "host=... port=... dbname=<the test database>": no user, no password,
    // as owa_connect_string would hold it.
    std::string conninfo() const;
    const std::string& database() const { return database_; }

    // A request context whose service 0 logs on as app_user to this
    // database through the production backend (nothing is connected yet).
    void use_app_service(request_ctx& ctx) const;

    // On the second connection (superuser, autocommit): fails the test on error.
    void exec(const std::string& sql);
    std::vector<pg_row> query(const std::string& sql);
    // First column of the first row; "<null>" for NULL, "<none>" without rows.
    std::string scalar(const std::string& sql);

    request_ctx ctx;

  private:
    std::string database_;
    PGconn* check_ = nullptr;
};

}  // namespace kestrel::test
