// args_fixture.hpp - a request context for argument-list tests: the
// recording database double, a client whose request body is a chosen text
// (served in reads of a chosen size), an application file with chosen
// [DBAUTH] entries and a chosen CGI environment.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "args/body_io.hpp"
#include "args/multipart_body.hpp"
#include "frame/request_ctx.hpp"
#include "frame/wrb_state.hpp"
#include "support/recording_client.hpp"

namespace kestrel::test {

class args_test : public ::testing::Test {
  protected:
    request_ctx ctx;
    recording_client* db = nullptr;
    body_io* client = nullptr;
    std::filesystem::path dir;  // per-test scratch directory (logs, uploads)

    void SetUp() override {
        auto owned = std::make_unique<recording_client>();
        db = owned.get();
        ctx.db = std::move(owned);
        auto io = std::make_unique<body_io>();
        client = io.get();
        wrb().begin_request(nullptr, std::move(io));
        wrb().set_environment({});
        wrb().clientcxp = &ctx;
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir = std::filesystem::temp_directory_path() /
              ("kestrel-args-" + std::to_string(::getpid()) + "-" + info->name());
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        wrb().ows_logfile = dir.string() + "/";
        set_config({});
        ctx.args.clear();
        ctx.arg_unique_count = 0;
        ctx.services.clear();
        service_entry shop;
        shop.owa_service = "shop";
        shop.owa_user = "webuser";
        ctx.services.push_back(shop);
        ctx.service_index = 0;
        ctx.service_name = "shop";
        ctx.service_type = "/owa/";
    }

    void TearDown() override {
        wrb().begin_request(nullptr, nullptr);
        wrb().clientcxp = nullptr;
        wrb().forget_config();
        std::filesystem::remove_all(dir);
    }

    // The [DBAUTH] section of the application file; the trace log goes to
    // the scratch directory.
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

    void set_env(const std::vector<std::string>& entries) { wrb().set_environment(entries); }

    // A multipart POST of body with the given content type.
    void post_multipart(const std::string& body, const std::string& content_type,
                        std::vector<std::string> more_env = {}) {
        more_env.push_back("REQUEST_METHOD=POST");
        more_env.push_back("CONTENT_TYPE=" + content_type);
        more_env.push_back("CONTENT_LENGTH=" + std::to_string(body.size()));
        set_env(more_env);
        client->body = body;
    }

    std::vector<std::pair<std::string, std::string>> pairs() const {
        std::vector<std::pair<std::string, std::string>> out;
        for (const arg_pair& p : ctx.args) {
            out.emplace_back(std::string(p.name), std::string(p.value));
        }
        return out;
    }
};

}  // namespace kestrel::test
