// args_pg_fixture.hpp - integration tests of the argument list: a session
// logged on as the service owner through the production backend, a client
// whose body is a chosen text, and [DBAUTH] entries chosen per test.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "args/body_io.hpp"
#include "db/errors.hpp"
#include "db/session.hpp"
#include "frame/wrb_state.hpp"
#include "pg/pg_fixture.hpp"

namespace kestrel::test {

class args_pg_test : public pg_fixture {
  protected:
    body_io* client = nullptr;
    std::filesystem::path dir;  // scratch: application file, logs, uploads
    bool logged_on = false;

    void SetUp() override {
        pg_fixture::SetUp();
        use_app_service(ctx);
        auto io = std::make_unique<body_io>();
        client = io.get();
        wrb().begin_request(nullptr, std::move(io));
        wrb().set_environment({});
        wrb().clientcxp = &ctx;
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir = std::filesystem::temp_directory_path() /
              ("kestrel-pg-args-" + std::to_string(::getpid()) + "-" + info->name());
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        wrb().ows_logfile = dir.string() + "/";
        set_config({});
        ASSERT_TRUE(Logon(ctx, nullptr, nullptr)) << oerr_lda(ctx);
        logged_on = true;
    }

    void TearDown() override {
        end_request(true);
        wrb().begin_request(nullptr, nullptr);
        wrb().clientcxp = nullptr;
        wrb().forget_config();
        std::filesystem::remove_all(dir);
        pg_fixture::TearDown();
    }

    // Commits (or rolls back) and logs off, as the end of exec does.
    void end_request(bool rollback) {
        if (logged_on) {
            Logoff(ctx, rollback);
            logged_on = false;
        }
    }

    void set_config(const std::vector<std::string>& entries) {
        const auto appfile = dir / "kestrel.app";
        std::ofstream out(appfile);
        out << "[DBAUTH]\n"
            << "debugPath = " << dir.string() << "/\n";
        for (const std::string& e : entries) {
            out << e << "\n";
        }
        out.close();
        wrb().ows_appfile = appfile.string();
        wrb().forget_config();
    }

    void post_multipart(const std::string& body, const std::string& boundary) {
        wrb().set_environment({"REQUEST_METHOD=POST",
                               "CONTENT_TYPE=multipart/form-data; boundary=" + boundary,
                               "CONTENT_LENGTH=" + std::to_string(body.size())});
        client->body = body;
        client->offset = 0;
    }

    static std::string hex(const std::string& bytes) {
        std::string out;
        char digits[3];
        for (const char c : bytes) {
            std::snprintf(digits, sizeof digits, "%02x", static_cast<unsigned char>(c));
            out += digits;
        }
        return out;
    }

    static std::string table(const char* name) { return std::string(app_user) + "." + name; }
};

}  // namespace kestrel::test
